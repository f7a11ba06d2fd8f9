// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/wave_buffer.h"

#include <algorithm>
#include <new>
#include <utility>

#include "core/reading_settings.h"

namespace solvari {
namespace {

std::uint8_t* DefaultAllocator(std::size_t nBytes) {
  return new (std::nothrow) std::uint8_t[nBytes];
}

}  // namespace

CWaveBuffer::CWaveBuffer(std::unique_ptr<IWaveOutDevice> pWaveOut,
                         std::unique_ptr<IWaveInDevice> pWaveIn, IProfileStore* pProfile,
                         IWaveMessageSink* pMessages)
    : m_pWaveOut(std::move(pWaveOut)),
      m_pWaveIn(std::move(pWaveIn)),
      m_pProfile(pProfile),
      m_pMessages(pMessages),
      m_pAlloc(DefaultAllocator) {}

CWaveBuffer::~CWaveBuffer() {
  if (m_bOutOpen) CloseOutput();
  if (m_bInOpen) CloseInput();
  FreeData();
}

// A device may read (or, recording, write) the block from a successful play
// or start until it is closed; nothing may release, replace or write the
// block in that time, so whoever does stops and closes the device first.
void CWaveBuffer::StopDevices() {
  if (m_bOutLocked) CloseOutput();
  if (m_bInLocked) CloseInput();
}

void CWaveBuffer::SetAllocator(DataAllocator pAlloc) {
  m_pAlloc = pAlloc ? pAlloc : DefaultAllocator;
}

const void* CWaveBuffer::AllocData(std::uint32_t nBytes) {
  if (m_hData) FreeData();
  m_dwDataSize = 0;
  m_hData.reset(m_pAlloc(nBytes));
  m_nCapacity = m_hData ? nBytes : 0;
  return m_hData.get();
}

void CWaveBuffer::FreeData() {
  if (!m_hData) return;
  StopDevices();
  m_hData.reset();
  m_nCapacity = 0;
  m_nLocks = 0;
}

int CWaveBuffer::IsReady() const { return (m_hData && m_bOK) ? 1 : 0; }

std::uint8_t* CWaveBuffer::LockData() {
  if (!m_hData) return nullptr;
  ++m_nLocks;
  return m_hData.get();
}

void CWaveBuffer::UnlockData() {
  if (m_hData && m_nLocks > 0) --m_nLocks;
}

int CWaveBuffer::GetBitsPerSample() const { return m_format.wBitsPerSample; }

int CWaveBuffer::GetChannels() const { return m_format.nChannels; }

std::uint32_t CWaveBuffer::GetSampleCount() const {
  const std::uint32_t nBytesPerSample = m_format.wBitsPerSample / 8u;
  if (nBytesPerSample == 0 || m_format.nChannels == 0) return 0;
  return m_dwDataSize / nBytesPerSample / m_format.nChannels;
}

void CWaveBuffer::FillFormat(std::uint32_t nSamplesPerSec, std::uint32_t nBitsPerSample,
                             std::uint32_t nChannels) {
  m_format.wFormatTag = kWaveFormatPcm;
  m_format.nChannels = static_cast<std::uint16_t>(nChannels);
  m_format.nSamplesPerSec = nSamplesPerSec;
  m_format.nAvgBytesPerSec = (nSamplesPerSec * nBitsPerSample * nChannels) >> 3;
  m_format.nBlockAlign = static_cast<std::uint16_t>((nBitsPerSample * nChannels) >> 3);
  m_format.wBitsPerSample = static_cast<std::uint16_t>(nBitsPerSample);
  m_format.cbSize = 0;
}

// ---- output -----------------------------------------------------------------

int CWaveBuffer::OpenOutput(IWaveNotify* pNotify, std::uint32_t nSamplesPerSec,
                            std::uint32_t nBitsPerSample, std::uint32_t nChannels) {
  if (m_bOutOpen) CloseOutput();
  FillFormat(nSamplesPerSec, nBitsPerSample, nChannels);
  const int nDevice =
      m_pProfile ? m_pProfile->GetProfileInt(settings::kWavConfig, settings::kWavOutDevice, -1)
                 : -1;
  if (!m_pWaveOut) return kWaveNoDriver;
  const int nResult = m_pWaveOut->Open(m_format, nDevice, pNotify);
  m_bOutOpen = nResult == kWaveNoError;
  return nResult;
}

int CWaveBuffer::Play(std::uint32_t nOffset, std::uint32_t nBytes) {
  // The lock is taken before the device is asked for anything and kept, also
  // on failure; CloseOutput releases it.
  if (!m_bOutLocked && LockData()) m_bOutLocked = true;
  if (!m_bOutOpen || !m_bOutLocked) return 0;
  // Never hand the device bytes outside the block.
  if (nOffset > m_nCapacity || nBytes > m_nCapacity - nOffset) return 0;
  // A last byte that is half a sample is left out: devices take whole frames.
  nBytes -= nBytes % std::max<std::uint32_t>(1, m_format.nBlockAlign);
  return m_pWaveOut->Write(m_hData.get() + nOffset, nBytes) == kWaveNoError ? 1 : 0;
}

bool CWaveBuffer::GetOutputClock(WaveClock* pClock) {
  return m_bOutOpen && m_pWaveOut->GetClock(pClock);
}

void CWaveBuffer::WantOutputClockAt(std::int64_t nBufferUs) {
  if (m_bOutOpen) m_pWaveOut->WantClockAt(nBufferUs);
}

void CWaveBuffer::DropOutputPrefetch() {
  if (m_pWaveOut) m_pWaveOut->DropPrefetch();
}

bool CWaveBuffer::PrefetchOutput(const std::uint8_t* pData, std::uint32_t nBytes) {
  if (!m_bOutOpen) return false;
  nBytes -= nBytes % std::max<std::uint32_t>(1, m_format.nBlockAlign);
  return m_pWaveOut->Prefetch(pData, nBytes);
}

int CWaveBuffer::PlayRange(std::uint32_t nStart, std::uint32_t nEnd) {
  // A reversed range is refused like one outside the block.
  if (nEnd < nStart) return Play(m_nCapacity, 1);
  return Play(nStart, nEnd - nStart);
}

int CWaveBuffer::PlayFirst(std::uint32_t nBytes) { return Play(0, nBytes); }

int CWaveBuffer::PlayAll() { return Play(0, m_dwDataSize); }

int CWaveBuffer::PlayFrom(std::uint32_t nOffset, std::uint32_t nBytes) {
  return Play(nOffset, nBytes);
}

int CWaveBuffer::ResetOutput() {
  if (!m_bOutOpen) return kWaveInvalidHandle;
  return m_pWaveOut->Reset();
}

void CWaveBuffer::CloseOutput() {
  if (m_bOutOpen) {
    // A close refused while a buffer is still queued stops the device and
    // tries once more.
    if (m_pWaveOut->Close() != kWaveNoError) {
      m_pWaveOut->Reset();
      m_pWaveOut->Close();
    }
    m_bOutOpen = false;
  }
  if (m_bOutLocked) {
    m_bOutLocked = false;
    UnlockData();
  }
}

// ---- input ------------------------------------------------------------------

int CWaveBuffer::OpenInput(IWaveNotify* pNotify, std::uint32_t nSamplesPerSec,
                           std::uint32_t nBitsPerSample, std::uint32_t nChannels) {
  if (m_bInOpen) CloseInput();
  FillFormat(nSamplesPerSec, nBitsPerSample, nChannels);
  const int nDevice =
      m_pProfile ? m_pProfile->GetProfileInt(settings::kWavConfig, settings::kWavInDevice, -1) : -1;
  if (!m_pWaveIn) return kWaveNoDriver;
  const int nResult = m_pWaveIn->Open(m_format, nDevice, pNotify);
  m_bInOpen = nResult == kWaveNoError;
  return nResult;
}

int CWaveBuffer::StartRecording(double dSeconds, std::uint32_t a, std::uint32_t b,
                                std::uint32_t c) {
  std::uint8_t* pData = LockData();
  const double dBytes = static_cast<double>(a) * b * c * dSeconds * 0.125;
  int nResult = kWaveError;
  if (!m_bInOpen) {
    nResult = kWaveInvalidHandle;
  } else if (!pData) {
    nResult = kWaveNoMemory;
  } else if (m_bInLocked) {
    nResult = kWaveStillPlaying;  // one buffer at a time
  } else if (!(dBytes >= 0) || dBytes > m_nCapacity) {
    nResult = kWaveError;  // the block cannot hold that much, or nonsense
  } else {
    nResult = m_pWaveIn->Prepare(pData, static_cast<std::uint32_t>(dBytes));
  }
  if (nResult != kWaveNoError) {
    const char* pText = ResultText(nResult);
    if (pText && m_pMessages) m_pMessages->ShowMessage(pText);
    UnlockData();
    return 1;
  }
  if (m_pWaveIn->AddBuffer() != kWaveNoError) {
    UnlockData();
    return 2;
  }
  if (m_pWaveIn->Start() != kWaveNoError) {
    m_pWaveIn->Unprepare();
    UnlockData();
    return 3;
  }
  m_bInLocked = true;
  m_bHasData = 1;
  return 0;
}

int CWaveBuffer::StopRecording() {
  if (!m_bInOpen) {
    m_dwRecorded = 0;
    return kWaveInvalidHandle;
  }
  std::uint32_t nSamples = 0;
  m_dwRecorded = m_pWaveIn->GetPosition(&nSamples) == kWaveNoError ? nSamples : 0;
  return m_pWaveIn->Reset();
}

const char* CWaveBuffer::ResultText(int nResult) {
  switch (nResult) {
    case kWaveInvalidHandle:
      return "pecified device handle is invalid.";
    case kWaveNoDriver:
      return "No device driver is present.";
    case kWaveNoMemory:
      return "Unable to allocate or lock memory.";
    default:
      return nullptr;
  }
}

std::uint32_t CWaveBuffer::GetInputPosition() {
  std::uint32_t nSamples = 0;
  if (!m_bInOpen || m_pWaveIn->GetPosition(&nSamples) != kWaveNoError) return 0;
  return nSamples;
}

void CWaveBuffer::UseRecordedData() {
  const std::uint64_t nBytes =
      std::uint64_t{m_dwRecorded} * std::max<std::uint16_t>(1, m_format.nBlockAlign);
  m_dwDataSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(nBytes, m_nCapacity));
}

void CWaveBuffer::CloseInput() {
  if (m_bInOpen) {
    m_pWaveIn->Unprepare();
    if (m_pWaveIn->Close() != kWaveNoError) {
      m_pWaveIn->Reset();
      m_pWaveIn->Close();
    }
    m_bInOpen = false;
  }
  if (m_bInLocked) {
    m_bInLocked = false;
    UnlockData();
  }
}

// ---- files ------------------------------------------------------------------

int CWaveBuffer::ReadData(std::FILE* pFile, std::int32_t nBytes) {
  if (!pFile || nBytes < 0 || !m_hData) return 0;
  const auto n = static_cast<std::uint32_t>(nBytes);
  if (n > m_nCapacity) return 0;  // never read past the block
  StopDevices();
  std::uint8_t* pData = LockData();
  const std::size_t nRead = n ? std::fread(pData, 1, n, pFile) : 0;
  UnlockData();
  if (nRead != n) return 0;
  m_dwDataSize = n;
  m_bHasData = 1;
  return 1;
}

int CWaveBuffer::WriteData(std::FILE* pFile) {
  if (!pFile || !m_hData || m_dwDataSize > m_nCapacity) return 0;
  const std::uint8_t* pData = LockData();
  const std::size_t nWritten = m_dwDataSize ? std::fwrite(pData, 1, m_dwDataSize, pFile) : 0;
  UnlockData();
  return nWritten == m_dwDataSize ? 1 : 0;
}

}  // namespace solvari

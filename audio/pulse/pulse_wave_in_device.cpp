// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/pulse/pulse_wave_in_device.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>

#include "audio/pulse/pulse_connection.h"

namespace solvari {
namespace {

// The server hands the recording over in pieces this long, so that a level
// meter sees what was just said.
constexpr std::uint64_t kFragmentUs = 20'000;

}  // namespace

CPulseWaveInDevice::CPulseWaveInDevice(IEventPoster* pPoster) : m_pPoster(pPoster) {
  CPulseConnection::Hooks hooks;
  hooks.dropping = [this] { DropStream(); };
  // The server went away in the middle of a take: it ends with what came.
  hooks.lost = [this] { ReturnBuffer(); };
  m_pConnection = std::make_unique<CPulseConnection>("phone", false, std::move(hooks));
}

CPulseWaveInDevice::~CPulseWaveInDevice() {
  m_pAlive.reset();  // whatever is still posted is dropped
  m_pConnection->Close();
}

int CPulseWaveInDevice::Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) {
  if (m_bOpen) return kWaveAllocated;
  pa_sample_spec sampleFormat;
  if (!PulseSampleSpec(format, &sampleFormat)) return kWaveBadFormat;
  CPulseConnection::CLock lock(*m_pConnection);
  if (!m_pConnection->Ready()) return kWaveNoDriver;
  std::string source;
  if (const int r = m_pConnection->FindDevice(true, nDevice, &source)) return r;
  m_format = format;
  m_strSource = source;
  m_pNotify = pNotify;
  m_bOpen = true;
  return kWaveNoError;
}

int CPulseWaveInDevice::Prepare(std::uint8_t* pData, std::uint32_t nBytes) {
  if (!m_bOpen) return kWaveInvalidHandle;
  CPulseConnection::CLock lock(*m_pConnection);
  if (m_bAdded) return kWaveStillPlaying;
  m_pData = pData;
  m_nBytes = nBytes;
  m_nRecorded = 0;
  return kWaveNoError;
}

int CPulseWaveInDevice::AddBuffer() {
  if (!m_bOpen || !m_pData) return kWaveInvalidHandle;
  CPulseConnection::CLock lock(*m_pConnection);
  if (m_bAdded) return kWaveStillPlaying;
  m_bAdded = true;
  return kWaveNoError;
}

int CPulseWaveInDevice::Start() {
  if (!m_bOpen) return kWaveInvalidHandle;
  CPulseConnection::CLock lock(*m_pConnection);
  if (!m_bAdded) return kWaveError;
  DropStream();
  if (!m_pConnection->Ready()) return kWaveNoDriver;
  pa_sample_spec sampleFormat;
  if (!PulseSampleSpec(m_format, &sampleFormat)) return kWaveBadFormat;
  m_pStream = pa_stream_new(m_pConnection->Context(), "Solvari", &sampleFormat, nullptr);
  if (!m_pStream) return kWaveNoDriver;
  pa_buffer_attr attr;
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
  attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kFragmentUs, &sampleFormat));
  pa_stream_set_state_callback(m_pStream, &OnStreamState, this);
  pa_stream_set_read_callback(m_pStream, &OnStreamRead, this);
  if (pa_stream_connect_record(m_pStream, m_strSource.empty() ? nullptr : m_strSource.c_str(),
                               &attr, PA_STREAM_ADJUST_LATENCY) < 0) {
    DropStream();
    return kWaveNoDriver;
  }
  return kWaveNoError;
}

int CPulseWaveInDevice::Unprepare() {
  if (!m_bOpen) return kWaveInvalidHandle;
  CPulseConnection::CLock lock(*m_pConnection);
  if (m_bAdded) return kWaveStillPlaying;
  m_pData = nullptr;
  m_nBytes = 0;
  return kWaveNoError;
}

int CPulseWaveInDevice::GetPosition(std::uint32_t* pSamples) {
  if (!m_bOpen) return kWaveInvalidHandle;
  CPulseConnection::CLock lock(*m_pConnection);
  // Bytes below this position are written and stay as they are.
  *pSamples = m_nRecorded / std::max<std::uint32_t>(1, m_format.nBlockAlign);
  return kWaveNoError;
}

int CPulseWaveInDevice::Reset() {
  if (!m_bOpen) return kWaveInvalidHandle;
  CPulseConnection::CLock lock(*m_pConnection);
  DropStream();
  ReturnBuffer();
  return kWaveNoError;
}

int CPulseWaveInDevice::Close() {
  if (!m_bOpen) return kWaveInvalidHandle;
  CPulseConnection::CLock lock(*m_pConnection);
  if (m_bAdded) return kWaveStillPlaying;
  DropStream();
  m_pData = nullptr;
  m_nBytes = 0;
  m_bOpen = false;
  return kWaveNoError;
}

// ---- the library's thread -------------------------------------------------------

void CPulseWaveInDevice::OnStreamState(pa_stream* pStream, void* pThis) {
  auto* self = static_cast<CPulseWaveInDevice*>(pThis);
  if (!PA_STREAM_IS_GOOD(pa_stream_get_state(pStream))) self->ReturnBuffer();
  self->m_pConnection->Signal();
}

void CPulseWaveInDevice::OnStreamRead(pa_stream* pStream, std::size_t, void* pThis) {
  auto* self = static_cast<CPulseWaveInDevice*>(pThis);
  const void* pData = nullptr;
  std::size_t nBytes = 0;
  while (pa_stream_readable_size(pStream) > 0) {
    if (pa_stream_peek(pStream, &pData, &nBytes) < 0 || nBytes == 0) break;
    self->Take(pData, nBytes);  // null: a hole in the recording, taken as silence
    pa_stream_drop(pStream);
  }
}

void CPulseWaveInDevice::Take(const void* pData, std::size_t nBytes) {
  if (!m_bAdded || !m_pData) return;
  const std::size_t n = std::min<std::size_t>(nBytes, m_nBytes - m_nRecorded);
  if (pData) {
    std::memcpy(m_pData + m_nRecorded, pData, n);
  } else {
    // Silence of the format: 8-bit samples are unsigned.
    std::memset(m_pData + m_nRecorded, m_format.wBitsPerSample == 8 ? 0x80 : 0, n);
  }
  m_nRecorded += static_cast<std::uint32_t>(n);
  if (m_nRecorded >= m_nBytes) ReturnBuffer();  // full: the take ends here
}

// ---- with the lock held ---------------------------------------------------------

void CPulseWaveInDevice::DropStream() {
  if (!m_pStream) return;
  pa_stream_set_state_callback(m_pStream, nullptr, nullptr);
  pa_stream_set_read_callback(m_pStream, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_pStream))) pa_stream_disconnect(m_pStream);
  pa_stream_unref(m_pStream);
  m_pStream = nullptr;
}

void CPulseWaveInDevice::ReturnBuffer() {
  if (!m_bAdded) return;
  m_bAdded = false;
  if (!m_pPoster) return;
  std::weak_ptr<int> alive = m_pAlive;
  m_pPoster->Post([this, alive] {
    if (alive.expired()) return;
    if (m_pNotify) m_pNotify->OnWimData();
  });
}

}  // namespace solvari

#include "app/title_sound.h"

#include <QApplication>
#include <QFile>
#include <QtEndian>
#include <cstring>

namespace solvari::app {

namespace {

quint32 U32(const char* p) { return qFromLittleEndian<quint32>(p); }
quint16 U16(const char* p) { return qFromLittleEndian<quint16>(p); }

}  // namespace

bool ParseWav(const QByteArray& bytes, WavSound* pSound) {
  const qsizetype n = bytes.size();
  const char* p = bytes.constData();
  if (n < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) return false;
  bool bFormat = false;
  WavSound sound;
  qsizetype pos = 12;
  while (pos + 8 <= n) {
    const char* chunk = p + pos;
    const quint32 nSize = U32(chunk + 4);
    const qsizetype nBody = pos + 8;
    const qsizetype nAvail = n - nBody;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (nSize < 16 || nAvail < 16) return false;
      const quint16 wTag = U16(chunk + 8);
      sound.nChannels = U16(chunk + 10);
      sound.nSamplesPerSec = static_cast<int>(U32(chunk + 12));
      sound.nBitsPerSample = U16(chunk + 22);
      if (wTag != 1) return false;  // PCM only
      bFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!bFormat) return false;
      const qsizetype nTake = std::min<qsizetype>(nSize, nAvail);
      sound.pcm = bytes.mid(nBody, nTake);
      break;
    }
    if (nSize > static_cast<quint64>(nAvail)) break;
    pos = nBody + nSize + (nSize & 1);
  }
  if (!bFormat || (sound.nBitsPerSample != 8 && sound.nBitsPerSample != 16)) return false;
  if (sound.nChannels < 1 || sound.nChannels > 2) return false;
  if (sound.nSamplesPerSec < 1000 || sound.nSamplesPerSec > 192000) return false;
  const int nBlock = sound.nChannels * sound.nBitsPerSample / 8;
  sound.pcm.truncate(sound.pcm.size() - sound.pcm.size() % nBlock);
  if (sound.pcm.isEmpty()) return false;
  *pSound = std::move(sound);
  return true;
}

CTitleSound::CTitleSound(std::unique_ptr<IWaveOutDevice> pDevice) : m_pDevice(std::move(pDevice)) {}

CTitleSound::~CTitleSound() {
  if (m_bOpen) {
    m_pDevice->Reset();
    m_pDevice->Close();
  }
  m_pDevice.reset();  // before the sound it may still read
}

void CTitleSound::Play(const QString& strPath) {
  if (m_bPlaying) return;
  QFile file(strPath);
  WavSound sound;
  if (!file.open(QIODevice::ReadOnly) || !ParseWav(file.readAll(), &sound)) {
    QApplication::beep();
    return;
  }
  if (!m_pDevice) return;
  if (m_bOpen) {
    m_pDevice->Close();
    m_bOpen = false;
  }
  WaveFormat format{};
  format.wFormatTag = kWaveFormatPcm;
  format.nChannels = static_cast<std::uint16_t>(sound.nChannels);
  format.nSamplesPerSec = static_cast<std::uint32_t>(sound.nSamplesPerSec);
  format.wBitsPerSample = static_cast<std::uint16_t>(sound.nBitsPerSample);
  format.nBlockAlign = static_cast<std::uint16_t>(sound.nChannels * sound.nBitsPerSample / 8);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  // No sound output: nothing to hear, and nothing to say about it.
  if (m_pDevice->Open(format, -1, this) != kWaveNoError) return;
  m_bOpen = true;
  m_pcm = std::move(sound.pcm);
  if (m_pDevice->Write(reinterpret_cast<const std::uint8_t*>(m_pcm.constData()),
                       static_cast<std::uint32_t>(m_pcm.size())) != kWaveNoError) {
    m_pDevice->Close();
    m_bOpen = false;
    return;
  }
  m_bPlaying = true;
}

int CTitleSound::MsUntilHeard() {
  if (!m_bPlaying) return -1;
  WaveClock clock;
  // Until the output has said where it is, the sound is still on its way.
  if (!m_pDevice->GetClock(&clock)) return 1;
  const std::int64_t nUs = clock.nBufferStartUs - clock.nHeardUs;
  return nUs <= 0 ? 0 : static_cast<int>((nUs + 999) / 1000);
}

void CTitleSound::OnWomDone() {
  m_bPlaying = false;
  if (m_bOpen) {
    m_pDevice->Close();
    m_bOpen = false;
  }
}

}  // namespace solvari::app

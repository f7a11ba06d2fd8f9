// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/title_sound.h"

#include <QApplication>
#include <QFile>
#include <string>

#include "audio/wav_file.h"

namespace solvari::app {

bool ParseWav(const QByteArray& bytes, WavSound* pSound) {
  WavFile wav;
  std::string why;
  if (!solvari::ParseWav(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                         static_cast<std::size_t>(bytes.size()), &wav, &why)) {
    return false;
  }
  if (wav.nFormatTag != kWavFormatPcm) return false;
  if (wav.nBitsPerSample != 8 && wav.nBitsPerSample != 16) return false;
  if (wav.nChannels < 1 || wav.nChannels > 2) return false;
  if (wav.nSamplesPerSec < 1000 || wav.nSamplesPerSec > 192000) return false;
  // What the file holds of a data chunk that says it is longer, in whole frames.
  const std::size_t nBlock = wav.nChannels * wav.nBitsPerSample / 8;
  const std::size_t nPcm = wav.data.size() - wav.data.size() % nBlock;
  if (nPcm == 0) return false;
  pSound->nChannels = wav.nChannels;
  pSound->nSamplesPerSec = static_cast<int>(wav.nSamplesPerSec);
  pSound->nBitsPerSample = wav.nBitsPerSample;
  pSound->pcm =
      QByteArray(reinterpret_cast<const char*>(wav.data.data()), static_cast<qsizetype>(nPcm));
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

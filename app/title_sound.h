// SPDX-License-Identifier: GPL-3.0-or-later
// The title sound: a .wav file played asynchronously.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

#include "audio/wave_device.h"

namespace solvari::app {

// The sound part of a RIFF/WAVE file: PCM with 8 or 16 bits per sample.
struct WavSound {
  int nChannels = 0;
  int nSamplesPerSec = 0;
  int nBitsPerSample = 0;
  QByteArray pcm;
};

// Reads a .wav file's bytes with the program's one reader (audio/wav_file.h);
// false when it is not plain PCM with 8 or 16 bits, 1 or 2 channels and a
// sensible rate, or has no sound. A data chunk longer than the file is cut to
// what the file holds: the title plays what there is.
bool ParseWav(const QByteArray& bytes, WavSound* pSound);

class ITitleSound {
 public:
  virtual ~ITitleSound() = default;
  // Starts playing the file and returns at once; a file that is missing or
  // not a playable .wav gives the system's beep instead.
  virtual void Play(const QString& strPath) = 0;
  // How long until the sound's first sample is heard: > 0 ms to wait, 0 when
  // it is heard, -1 when no sound is coming (or nothing can tell).
  virtual int MsUntilHeard() { return -1; }
};

// Plays the title sound through a wave-output device of its own, as one
// buffer; it goes on by itself after the title window hides and is heard to
// its last sample. The player belongs to the frame.
class CTitleSound : public ITitleSound, private IWaveNotify {
 public:
  explicit CTitleSound(std::unique_ptr<IWaveOutDevice> pDevice);
  ~CTitleSound() override;

  // A sound still playing goes on; the title plays once.
  void Play(const QString& strPath) override;
  int MsUntilHeard() override;
  bool IsPlaying() const { return m_bPlaying; }

 private:
  void OnWomDone() override;

  std::unique_ptr<IWaveOutDevice> m_pDevice;
  QByteArray m_pcm;  // read by the device until its done notification
  bool m_bOpen = false;
  bool m_bPlaying = false;
};

}  // namespace solvari::app

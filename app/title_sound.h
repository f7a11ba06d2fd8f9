// The title sound: a .wav file played asynchronously. The PCM of the file is
// written whole to a QAudioSink in push mode, which plays it out to its last
// sample; the sound goes on by itself after the title window hides. The
// player belongs to the frame, so it lives as long as the program.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QAudioSink;
class QAudioFormat;

class QIODevice;
class QTimer;

namespace solvari::app {

// The sound part of a RIFF/WAVE file: PCM with 8 or 16 bits per sample.
struct WavSound {
  int nChannels = 0;
  int nSamplesPerSec = 0;
  int nBitsPerSample = 0;
  QByteArray pcm;
};

// Parses a .wav file's bytes; false when it is not plain PCM with 8 or 16
// bits, 1 or 2 channels and a sensible rate, or has no sound. A data chunk
// longer than the file is cut to what the file holds.
bool ParseWav(const QByteArray& bytes, WavSound* pSound);

class ITitleSound {
 public:
  virtual ~ITitleSound() = default;
  // Starts playing the file and returns at once; a file that is missing or
  // not a playable .wav gives the system's beep instead.
  virtual void Play(const QString& strPath) = 0;
};

class CTitleSound : public QObject, public ITitleSound {
 public:
  CTitleSound();
  ~CTitleSound() override;

  void Play(const QString& strPath) override;
  bool IsPlaying() const { return m_pSink != nullptr; }

 private:
  void Stop();
  void PushMore();

  std::unique_ptr<QAudioSink> m_pSink;
  QIODevice* m_pIo = nullptr;
  QByteArray m_pcm;
  qsizetype m_nWritten = 0;
  bool m_bStarting = false;
  QTimer* m_pFeed = nullptr;
};

}  // namespace solvari::app

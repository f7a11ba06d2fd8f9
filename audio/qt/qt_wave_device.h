// The wave devices over Qt Multimedia: QAudioSink for output, QAudioSource
// for input. They run on the user-interface thread and post their
// notifications to it.
#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>

#include "audio/wave_device.h"

class QAudioSink;
class QAudioSource;
class QIODevice;

namespace solvari {

// Plays one buffer in push mode: the whole buffer is written to the sink's
// own device at once, and the buffer is done on the sink's final IdleState,
// when the sound server has played it out. A reset stops at once. After a
// close the stream keeps running for a moment, so that the next buffer
// follows without a cut or a gap. The done
// notification is posted (queued to the thread that created the device), once
// per buffer; notifications still on their way when the device is destroyed
// are dropped.
class CQtWaveOutDevice : public IWaveOutDevice {
 public:
  CQtWaveOutDevice();
  ~CQtWaveOutDevice() override;

  // nDevice -1 is the default output, n >= 0 the n-th of
  // QMediaDevices::audioOutputs(); kWaveNoDriver without any output (no sound
  // server), kWaveBadDeviceId for another number, kWaveBadFormat for a sample
  // size other than 8, 16 or 32 bits.
  int Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) override;
  int Write(const std::uint8_t* pData, std::uint32_t nBytes) override;
  int Reset() override;
  int Close() override;
  // Qt does not say when a sample is heard: the clock counts from the write.
  bool GetClock(WaveClock* pClock) override;

 private:
  void OnStateChanged();
  void StopIdleStream();
  void DisposeSink();
  void PostDone();

  QObject m_context;  // owner of the posted notifications
  QAudioDevice m_device;
  QAudioFormat m_format;
  QAudioSink* m_pSink = nullptr;  // owned; kept from buffer to buffer
  QIODevice* m_pIo = nullptr;     // the sink's own device while its stream runs
  QTimer m_idleStop;              // stops a stream that has nothing more to play
  IWaveNotify* m_pNotify = nullptr;
  bool m_bOpen = false;
  bool m_bQueued = false;   // a buffer is playing; its done is still owed
  bool m_bWriting = false;  // inside start() and write(): states there are not the end
  QElapsedTimer m_clock;
  std::int64_t m_nWrittenAtUs = -1;  // when the last buffer was written
  std::int64_t m_nLengthUs = 0;      // and how long it plays
};

// Records into one buffer from a QAudioSource in push mode; the buffer is
// returned (OnWimData posted) when it is full or reset.
class CQtWaveInDevice : public IWaveInDevice {
 public:
  CQtWaveInDevice();
  ~CQtWaveInDevice() override;

  int Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) override;
  int Prepare(std::uint8_t* pData, std::uint32_t nBytes) override;
  int AddBuffer() override;
  int Start() override;
  int Unprepare() override;
  int GetPosition(std::uint32_t* pSamples) override;
  int Reset() override;
  int Close() override;

 private:
  void OnReadyRead();
  void StopSource();
  void ReturnBuffer();

  QObject m_context;
  QAudioDevice m_device;
  QAudioFormat m_format;
  QAudioSource* m_pSource = nullptr;  // owned; kept from recording to recording
  QIODevice* m_pIo = nullptr;
  IWaveNotify* m_pNotify = nullptr;
  std::uint8_t* m_pData = nullptr;
  std::uint32_t m_nBytes = 0;
  std::uint32_t m_nRecorded = 0;
  std::uint32_t m_nBlockAlign = 1;
  bool m_bOpen = false;
  bool m_bAdded = false;  // the buffer is with the device; its OnWimData is owed
};

}  // namespace solvari

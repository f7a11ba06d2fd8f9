#include "audio/qt/qt_wave_device.h"

#include <QAudioSink>
#include <QAudioSource>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
#include <algorithm>

namespace solvari {
namespace {

// Finds the device: -1 the default one, n >= 0 the n-th of the list.
int PickDevice(bool bOutput, int nDevice, QAudioDevice* pDevice) {
  const QList<QAudioDevice> devices =
      bOutput ? QMediaDevices::audioOutputs() : QMediaDevices::audioInputs();
  if (nDevice == -1) {
    *pDevice = bOutput ? QMediaDevices::defaultAudioOutput() : QMediaDevices::defaultAudioInput();
    if (pDevice->isNull() && !devices.isEmpty()) *pDevice = devices.front();
    return pDevice->isNull() ? kWaveNoDriver : kWaveNoError;
  }
  if (devices.isEmpty()) return kWaveNoDriver;
  if (nDevice < 0 || nDevice >= devices.size()) return kWaveBadDeviceId;
  *pDevice = devices[nDevice];
  return kWaveNoError;
}

int MakeFormat(const WaveFormat& wf, QAudioFormat* pFormat) {
  if (wf.wFormatTag != kWaveFormatPcm || wf.nChannels == 0 || wf.nSamplesPerSec == 0) {
    return kWaveBadFormat;
  }
  switch (wf.wBitsPerSample) {
    case 8:
      pFormat->setSampleFormat(QAudioFormat::UInt8);
      break;
    case 16:
      pFormat->setSampleFormat(QAudioFormat::Int16);
      break;
    case 32:
      pFormat->setSampleFormat(QAudioFormat::Int32);
      break;
    default:
      return kWaveBadFormat;
  }
  pFormat->setSampleRate(static_cast<int>(wf.nSamplesPerSec));
  pFormat->setChannelCount(wf.nChannels);
  return kWaveNoError;
}

void Post(QObject* pContext, IWaveNotify* pNotify, void (IWaveNotify::*pHandler)()) {
  if (!pNotify) return;
  QMetaObject::invokeMethod(
      pContext, [pNotify, pHandler] { (pNotify->*pHandler)(); }, Qt::QueuedConnection);
}

}  // namespace

// How long a played-out stream stays ready for the next buffer.
constexpr int kIdleStopMs = 1500;

// ---- output -----------------------------------------------------------------

CQtWaveOutDevice::CQtWaveOutDevice() {
  m_idleStop.setSingleShot(true);
  m_idleStop.setInterval(kIdleStopMs);
  QObject::connect(&m_idleStop, &QTimer::timeout, &m_context, [this] { StopIdleStream(); });
}

CQtWaveOutDevice::~CQtWaveOutDevice() {
  m_bQueued = false;  // whatever is still posted goes with m_context
  DisposeSink();
}

int CQtWaveOutDevice::Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) {
  if (m_bOpen) return kWaveAllocated;
  QAudioFormat qFormat;
  if (const int r = MakeFormat(format, &qFormat)) return r;
  QAudioDevice device;
  if (const int r = PickDevice(true, nDevice, &device)) return r;
  if (m_pSink && (device != m_device || qFormat != m_format)) DisposeSink();
  m_device = device;
  m_format = qFormat;
  m_pNotify = pNotify;
  m_bOpen = true;
  return kWaveNoError;
}

int CQtWaveOutDevice::Write(const std::uint8_t* pData, std::uint32_t nBytes) {
  if (!m_bOpen) return kWaveInvalidHandle;
  if (m_bQueued) return kWaveStillPlaying;
  if (nBytes == 0) {
    // Nothing to play: the buffer is done at once.
    PostDone();
    return kWaveNoError;
  }
  // One sink serves every buffer of the same device and format: destroying a
  // QAudioSink runs the event loop, which must not happen inside a handler.
  if (!m_pSink) {
    m_pSink = new QAudioSink(m_device, m_format);
    QObject::connect(m_pSink, &QAudioSink::stateChanged, &m_context,
                     [this](QAudio::State) { OnStateChanged(); });
  }
  m_idleStop.stop();

  // start() reports IdleState synchronously, and the first write ActiveState;
  // neither is the end of the buffer. A stream that has played out an earlier
  // buffer is still running: the new buffer follows the old one's last
  // samples without a new stream, so nothing is cut and no gap opens.
  m_bWriting = true;
  if (!m_pIo || m_pSink->state() == QAudio::StoppedState) {
    m_pIo = m_pSink->start();
    if (m_pIo && m_pSink->error() != QAudio::NoError) m_pIo = nullptr;
  }
  std::uint32_t nWritten = 0;
  while (m_pIo && nWritten < nBytes) {
    const qint64 n = m_pIo->write(reinterpret_cast<const char*>(pData) + nWritten,
                                  static_cast<qint64>(nBytes - nWritten));
    if (n <= 0) break;
    nWritten += static_cast<std::uint32_t>(n);
  }
  const bool bOk = m_pIo && nWritten == nBytes && m_pSink->state() != QAudio::StoppedState;
  if (!bOk) {
    m_pSink->stop();
    m_pIo = nullptr;
  }
  m_bWriting = false;
  if (!bOk) return kWaveError;
  m_bQueued = true;
  if (!m_clock.isValid()) m_clock.start();
  m_nWrittenAtUs = m_clock.nsecsElapsed() / 1000;
  m_nLengthUs = static_cast<std::int64_t>(nBytes) * 1'000'000 /
                std::max<std::int64_t>(1, m_format.bytesForDuration(1'000'000));
  // The sink may already have finished (or failed) while we were writing.
  OnStateChanged();
  return kWaveNoError;
}

void CQtWaveOutDevice::OnStateChanged() {
  if (m_bWriting || !m_bQueued || !m_pSink) return;
  // The current state, not the signal's: a late signal of an earlier buffer
  // must not end this one. IdleState after the write: everything written has
  // been played out. StoppedState: a reset, or the sound server went away.
  const QAudio::State state = m_pSink->state();
  if (state == QAudio::IdleState || state == QAudio::StoppedState) {
    m_bQueued = false;
    PostDone();
  }
}

int CQtWaveOutDevice::Reset() {
  if (!m_bOpen) return kWaveInvalidHandle;
  if (m_pSink) m_pSink->stop();  // emits StoppedState inside the call: the done is posted
  m_pIo = nullptr;
  if (m_bQueued) {
    m_bQueued = false;
    PostDone();
  }
  return kWaveNoError;
}

int CQtWaveOutDevice::Close() {
  if (!m_bOpen) return kWaveInvalidHandle;
  if (m_bQueued) return kWaveStillPlaying;
  m_bOpen = false;
  // The last few milliseconds of the buffer may still be on their way to the
  // speaker, and the next phrase usually follows at once: the stream is
  // stopped only when nothing has been played for a while.
  if (m_pSink) m_idleStop.start();
  return kWaveNoError;
}

bool CQtWaveOutDevice::GetClock(WaveClock* pClock) {
  if (m_nWrittenAtUs < 0) return false;
  pClock->nHeardUs = m_clock.nsecsElapsed() / 1000;
  pClock->nBufferStartUs = m_nWrittenAtUs;
  pClock->nEndUs = m_nWrittenAtUs + m_nLengthUs;
  return true;
}

void CQtWaveOutDevice::StopIdleStream() {
  if (m_bOpen && m_bQueued) return;
  if (m_pSink) m_pSink->stop();
  m_pIo = nullptr;
}

void CQtWaveOutDevice::DisposeSink() {
  m_idleStop.stop();
  if (!m_pSink) return;
  QObject::disconnect(m_pSink, nullptr, &m_context, nullptr);
  m_pSink->stop();
  m_pIo = nullptr;
  // Its destructor runs the event loop: let the loop itself destroy it.
  if (QCoreApplication::instance()) {
    m_pSink->deleteLater();
  } else {
    delete m_pSink;
  }
  m_pSink = nullptr;
}

void CQtWaveOutDevice::PostDone() { Post(&m_context, m_pNotify, &IWaveNotify::OnWomDone); }

// ---- input ------------------------------------------------------------------

CQtWaveInDevice::CQtWaveInDevice() = default;

CQtWaveInDevice::~CQtWaveInDevice() {
  m_bAdded = false;
  StopSource();
  if (m_pSource) {
    if (QCoreApplication::instance()) {
      m_pSource->deleteLater();  // its destructor runs the event loop
    } else {
      delete m_pSource;
    }
  }
}

int CQtWaveInDevice::Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) {
  if (m_bOpen) return kWaveAllocated;
  QAudioFormat qFormat;
  if (const int r = MakeFormat(format, &qFormat)) return r;
  QAudioDevice device;
  if (const int r = PickDevice(false, nDevice, &device)) return r;
  if (m_pSource && (device != m_device || qFormat != m_format)) {
    m_pSource->deleteLater();
    m_pSource = nullptr;
  }
  m_device = device;
  m_format = qFormat;
  m_nBlockAlign = std::max<std::uint32_t>(1, format.nBlockAlign);
  m_pNotify = pNotify;
  m_bOpen = true;
  return kWaveNoError;
}

int CQtWaveInDevice::Prepare(std::uint8_t* pData, std::uint32_t nBytes) {
  if (!m_bOpen) return kWaveInvalidHandle;
  if (m_bAdded) return kWaveStillPlaying;
  m_pData = pData;
  m_nBytes = nBytes;
  m_nRecorded = 0;
  return kWaveNoError;
}

int CQtWaveInDevice::AddBuffer() {
  if (!m_bOpen || !m_pData) return kWaveInvalidHandle;
  if (m_bAdded) return kWaveStillPlaying;
  m_bAdded = true;
  return kWaveNoError;
}

int CQtWaveInDevice::Start() {
  if (!m_bOpen) return kWaveInvalidHandle;
  if (!m_bAdded) return kWaveError;
  StopSource();
  if (!m_pSource) m_pSource = new QAudioSource(m_device, m_format);
  m_pIo = m_pSource->start();
  if (!m_pIo || m_pSource->error() != QAudio::NoError) {
    StopSource();
    return kWaveError;
  }
  QObject::connect(m_pIo, &QIODevice::readyRead, &m_context, [this] { OnReadyRead(); });
  return kWaveNoError;
}

void CQtWaveInDevice::OnReadyRead() {
  if (!m_pIo) return;
  if (m_bAdded && m_nRecorded < m_nBytes) {
    const qint64 n = m_pIo->read(reinterpret_cast<char*>(m_pData) + m_nRecorded,
                                 static_cast<qint64>(m_nBytes - m_nRecorded));
    if (n > 0) m_nRecorded += static_cast<std::uint32_t>(n);
  }
  if (m_bAdded && m_nRecorded >= m_nBytes) {
    StopSource();
    ReturnBuffer();
  }
}

int CQtWaveInDevice::Unprepare() {
  if (!m_bOpen) return kWaveInvalidHandle;
  if (m_bAdded) return kWaveStillPlaying;
  m_pData = nullptr;
  m_nBytes = 0;
  return kWaveNoError;
}

int CQtWaveInDevice::GetPosition(std::uint32_t* pSamples) {
  if (!m_bOpen) return kWaveInvalidHandle;
  // What the source holds already counts as recorded: take it first, so that
  // a stop keeps the last samples and a level meter sees the newest ones.
  OnReadyRead();
  *pSamples = m_nRecorded / m_nBlockAlign;
  return kWaveNoError;
}

int CQtWaveInDevice::Reset() {
  if (!m_bOpen) return kWaveInvalidHandle;
  StopSource();
  ReturnBuffer();
  return kWaveNoError;
}

int CQtWaveInDevice::Close() {
  if (!m_bOpen) return kWaveInvalidHandle;
  if (m_bAdded) return kWaveStillPlaying;
  StopSource();
  m_pData = nullptr;
  m_bOpen = false;
  return kWaveNoError;
}

void CQtWaveInDevice::StopSource() {
  if (m_pIo) QObject::disconnect(m_pIo, nullptr, &m_context, nullptr);
  m_pIo = nullptr;
  if (m_pSource) m_pSource->stop();
}

void CQtWaveInDevice::ReturnBuffer() {
  if (!m_bAdded) return;
  m_bAdded = false;
  Post(&m_context, m_pNotify, &IWaveNotify::OnWimData);
}

}  // namespace solvari

#include "app/title_sound.h"

#include <QApplication>
#include <QAudioFormat>
#include <QAudioSink>
#include <QFile>
#include <QMediaDevices>
#include <QTimer>
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

CTitleSound::CTitleSound() {
  m_pFeed = new QTimer(this);
  m_pFeed->setInterval(20);
  connect(m_pFeed, &QTimer::timeout, this, [this] { PushMore(); });
}

CTitleSound::~CTitleSound() { Stop(); }

void CTitleSound::Stop() {
  m_pFeed->stop();
  if (m_pSink) {
    m_pSink->disconnect(this);
    m_pSink->stop();
    m_pSink.reset();
  }
  m_pIo = nullptr;
  m_pcm.clear();
  m_nWritten = 0;
}

void CTitleSound::Play(const QString& strPath) {
  Stop();
  QFile file(strPath);
  WavSound sound;
  if (!file.open(QIODevice::ReadOnly) || !ParseWav(file.readAll(), &sound)) {
    QApplication::beep();
    return;
  }
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) return;  // no sound output: nothing to hear
  QAudioFormat format;
  format.setSampleRate(sound.nSamplesPerSec);
  format.setChannelCount(sound.nChannels);
  format.setSampleFormat(sound.nBitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
  m_pSink = std::make_unique<QAudioSink>(device, format);
  m_pcm = std::move(sound.pcm);
  connect(m_pSink.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
    // start() reports an IdleState of its own; the end is the IdleState that
    // comes once everything has been written and played out.
    if (m_bStarting || state != QAudio::IdleState || m_nWritten < m_pcm.size()) return;
    // The last milliseconds are still with the sound server: let them play.
    QTimer::singleShot(250, this, [this] {
      if (m_pSink && m_pSink->state() != QAudio::ActiveState && m_nWritten >= m_pcm.size()) Stop();
    });
  });
  m_bStarting = true;
  m_pIo = m_pSink->start();
  m_bStarting = false;
  if (!m_pIo || m_pSink->error() != QAudio::NoError) {
    Stop();
    return;
  }
  PushMore();
}

// Writes what the sink takes now; the rest follows on the feed timer.
void CTitleSound::PushMore() {
  if (!m_pSink || !m_pIo) return;
  while (m_nWritten < m_pcm.size()) {
    const qint64 n = m_pIo->write(m_pcm.constData() + m_nWritten, m_pcm.size() - m_nWritten);
    if (n <= 0) break;
    m_nWritten += n;
  }
  if (m_nWritten < m_pcm.size()) {
    if (!m_pFeed->isActive()) m_pFeed->start();
  } else {
    m_pFeed->stop();
  }
}

}  // namespace solvari::app

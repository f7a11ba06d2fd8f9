// Stand-ins for the frame's services: a simulated clock for the timers, a
// wave-output device that plays nothing, a stub file dialog, recorded
// message boxes and title sounds, and small .bmp and voice files.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "app/title_sound.h"
#include "audio/wave_device.h"
#include "core/sequencer_platform.h"

namespace solvari::app::test {

// Timers on a simulated clock: Advance moves it and fires what falls due, in
// order of due time, calling the handler with the program's ids.
class CFakeTimers : public ITimerService {
 public:
  std::function<void(unsigned)> handler;

  void SetTimer(unsigned nIDEvent, unsigned nElapse) override {
    m_pending[nIDEvent] = {m_nNow + nElapse, nElapse};
  }
  void KillTimer(unsigned nIDEvent) override { m_pending.erase(nIDEvent); }
  bool IsPending(unsigned nIDEvent) const { return m_pending.count(nIDEvent) != 0; }
  long Now() const { return m_nNow; }

  void Advance(long nMs) {
    const long nEnd = m_nNow + nMs;
    for (;;) {
      unsigned nNext = 0;
      long nDue = nEnd + 1;
      for (const auto& [nId, t] : m_pending)
        if (t.nDue < nDue) nDue = t.nDue, nNext = nId;
      if (nDue > nEnd) break;
      m_nNow = nDue;
      // Like a window timer it stays armed until killed.
      m_pending[nNext].nDue = nDue + std::max<long>(1, m_pending[nNext].nInterval);
      if (handler) handler(nNext);
    }
    m_nNow = nEnd;
  }

 private:
  struct Timer {
    long nDue;
    long nInterval;
  };
  std::map<unsigned, Timer> m_pending;
  long m_nNow = 0;
};

// What a device did, kept outside it so that a test can look after the frame
// (and with it the device) is gone.
struct DeviceLog {
  std::vector<std::string> calls;
  int nDonesDelivered = 0;
};

// A wave-output device that "plays" until the test finishes the buffer.
// Done notifications are posted through a context object owned by the
// device, so that ones still queued when it goes are dropped.
class CFakeWaveOut : public IWaveOutDevice {
 public:
  explicit CFakeWaveOut(DeviceLog* pLog, int nOpenResult = kWaveNoError)
      : m_pLog(pLog), m_nOpenResult(nOpenResult) {}
  ~CFakeWaveOut() override { m_pLog->calls.push_back("destroyed"); }

  int Open(const WaveFormat&, int, IWaveNotify* pNotify) override {
    m_pLog->calls.push_back("open");
    if (m_nOpenResult != kWaveNoError) return m_nOpenResult;
    m_pNotify = pNotify;
    return kWaveNoError;
  }
  int Write(const std::uint8_t* pData, std::uint32_t nBytes) override {
    m_pLog->calls.push_back("write");
    m_bQueued = true;
    if (bTakesPrefetch) written.assign(pData, pData + nBytes);
    return kWaveNoError;
  }
  // With bTakesPrefetch a buffer handed ahead is taken and kept.
  bool Prefetch(const std::uint8_t* pData, std::uint32_t nBytes) override {
    if (!bTakesPrefetch) return false;
    m_pLog->calls.push_back("prefetch");
    prefetched.assign(pData, pData + nBytes);
    return true;
  }
  void DropPrefetch() override { prefetched.clear(); }
  bool bTakesPrefetch = false;
  std::vector<std::uint8_t> prefetched;
  std::vector<std::uint8_t> written;
  int Reset() override {
    m_pLog->calls.push_back("reset");
    if (m_bQueued) PostDone();
    return kWaveNoError;
  }
  int Close() override {
    m_pLog->calls.push_back("close");
    if (m_bQueued) return kWaveStillPlaying;
    m_pNotify = nullptr;
    return kWaveNoError;
  }
  // The voice has played to its end.
  void Finish() {
    if (m_bQueued) PostDone();
  }

 private:
  void PostDone() {
    m_bQueued = false;
    IWaveNotify* pNotify = m_pNotify;
    DeviceLog* pLog = m_pLog;
    QMetaObject::invokeMethod(
        &m_context,
        [pNotify, pLog] {
          ++pLog->nDonesDelivered;
          pNotify->OnWomDone();
        },
        Qt::QueuedConnection);
  }

  DeviceLog* m_pLog;
  int m_nOpenResult;
  IWaveNotify* m_pNotify = nullptr;
  bool m_bQueued = false;
  QObject m_context;
};

class CStubPictureDialog : public IPictureDialog {
 public:
  Result next;
  int nRuns = 0;
  Result Run(QWidget*) override {
    ++nRuns;
    return next;
  }
};

class CRecordedMessages : public IMessageBoxes {
 public:
  QStringList texts;
  std::vector<QMessageBox::Icon> icons;
  void Show(QWidget*, const QString& strText, QMessageBox::Icon icon) override {
    texts << strText;
    icons.push_back(icon);
  }
};

class CRecordedSound : public ITitleSound {
 public:
  QStringList played;
  void Play(const QString& strPath) override { played << strPath; }
};

// A 24-bit .bmp file of the size, or (bBad) a file that is not a bitmap.
void WriteBmp(const QString& strPath, int nWidth, int nHeight);
void WriteBytes(const QString& strPath, const QByteArray& bytes);

}  // namespace solvari::app::test

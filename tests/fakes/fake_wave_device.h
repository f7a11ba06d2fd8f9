// SPDX-License-Identifier: GPL-3.0-or-later
// Fake wave devices for every test: they record what they are asked for and
// "play" until the test finishes the buffer. A done notification goes
// through the poster the test gives (the event loop it runs), or waits for
// DeliverDone; one still on its way when the device goes is dropped, as the
// program's devices drop theirs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/wave_device.h"

namespace solvari::test {

// What a device did and is told to do, kept outside it so that a test can
// look after the device is gone.
struct DeviceLog {
  std::vector<std::string> calls;
  int nOpenResult = 0;
  int nWriteResult = 0;
  int nCloseResult = -1;  // -1: refuse while queued, else succeed; other: that code, once
  int nDevice = -2;
  WaveFormat format{};
  const std::uint8_t* pData = nullptr;
  std::uint32_t nBytes = 0;
  bool bOpen = false;
  bool bQueued = false;
  int nPendingDone = 0;     // done notifications waiting for DeliverDone
  int nDonesDelivered = 0;  // done notifications that reached their target
  IWaveNotify* pNotify = nullptr;
  // Where done notifications are posted; without it they wait for DeliverDone.
  std::function<void(std::function<void()>)> post;
  // A device with a clock reports this one.
  bool bClock = false;
  WaveClock clock;
};

class CFakeWaveOut : public IWaveOutDevice {
 public:
  explicit CFakeWaveOut(DeviceLog* pLog) : m_pLog(pLog) {}
  CFakeWaveOut(DeviceLog* pLog, int nOpenResult) : m_pLog(pLog) {
    m_pLog->nOpenResult = nOpenResult;
  }
  ~CFakeWaveOut() override { m_pLog->calls.push_back("destroyed"); }

  int Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) override {
    m_pLog->calls.push_back("open");
    m_pLog->format = format;
    m_pLog->nDevice = nDevice;
    if (m_pLog->nOpenResult != 0) return m_pLog->nOpenResult;
    m_pLog->pNotify = pNotify;
    m_pLog->bOpen = true;
    return 0;
  }
  int Write(const std::uint8_t* pData, std::uint32_t nBytes) override {
    m_pLog->calls.push_back("write");
    m_pLog->pData = pData;
    m_pLog->nBytes = nBytes;
    if (!m_pLog->bOpen) return kWaveInvalidHandle;
    if (m_pLog->bQueued) return kWaveStillPlaying;
    if (m_pLog->nWriteResult != 0) return m_pLog->nWriteResult;
    m_pLog->bQueued = true;
    if (bTakesPrefetch) written.assign(pData, pData + nBytes);
    return 0;
  }
  int Reset() override {
    m_pLog->calls.push_back("reset");
    Finish();
    return 0;
  }
  int Close() override {
    m_pLog->calls.push_back("close");
    if (m_pLog->nCloseResult == -1 && m_pLog->bQueued) return kWaveStillPlaying;
    if (m_pLog->nCloseResult > 0) {
      const int n = m_pLog->nCloseResult;
      m_pLog->nCloseResult = -1;  // refuses once
      return n;
    }
    m_pLog->bOpen = false;
    return 0;
  }
  bool GetClock(WaveClock* pClock) override {
    if (!m_pLog->bClock) return false;
    *pClock = m_pLog->clock;
    return true;
  }
  // With bTakesPrefetch a buffer handed ahead is taken and kept.
  bool Prefetch(const std::uint8_t* pData, std::uint32_t nBytes) override {
    if (!bTakesPrefetch) return false;
    m_pLog->calls.push_back("prefetch");
    prefetched.assign(pData, pData + nBytes);
    return true;
  }
  void DropPrefetch() override { prefetched.clear(); }

  // The queued buffer has played to its end: its done notification is posted.
  void Finish() {
    if (!m_pLog->bQueued) return;
    m_pLog->bQueued = false;
    if (!m_pLog->post) {
      ++m_pLog->nPendingDone;
      return;
    }
    DeviceLog* pLog = m_pLog;
    IWaveNotify* pNotify = pLog->pNotify;
    std::weak_ptr<int> alive = m_pAlive;
    pLog->post([pLog, pNotify, alive] {
      if (alive.expired() || pNotify == nullptr) return;
      ++pLog->nDonesDelivered;
      pNotify->OnWomDone();
    });
  }

  bool bTakesPrefetch = false;
  std::vector<std::uint8_t> prefetched;
  std::vector<std::uint8_t> written;

 private:
  DeviceLog* m_pLog;
  std::shared_ptr<int> m_pAlive = std::make_shared<int>(0);
};

// The natural end of the queued buffer, for a device the test no longer holds.
inline void FinishPlaying(DeviceLog& log) {
  if (log.bQueued) {
    log.bQueued = false;
    ++log.nPendingDone;
  }
}

// Delivers the done notifications that wait, as the event loop would.
inline int DeliverDone(DeviceLog& log) {
  const int n = log.nPendingDone;
  for (; log.nPendingDone > 0; --log.nPendingDone) {
    ++log.nDonesDelivered;
    log.pNotify->OnWomDone();
  }
  return n;
}

struct InputLog {
  std::vector<std::string> calls;
  int nPrepareResult = 0, nAddResult = 0, nStartResult = 0, nPositionResult = 0;
  std::uint32_t nPosition = 0;
  std::uint8_t* pData = nullptr;
  std::uint32_t nBytes = 0;
  int nDevice = -2;
};

class CFakeWaveIn : public IWaveInDevice {
 public:
  explicit CFakeWaveIn(InputLog* pLog) : m_pLog(pLog) {}
  int Open(const WaveFormat&, int nDevice, IWaveNotify*) override {
    m_pLog->calls.push_back("open");
    m_pLog->nDevice = nDevice;
    return 0;
  }
  int Prepare(std::uint8_t* pData, std::uint32_t nBytes) override {
    m_pLog->calls.push_back("prepare");
    m_pLog->pData = pData;
    m_pLog->nBytes = nBytes;
    return m_pLog->nPrepareResult;
  }
  int AddBuffer() override { return Log("add", m_pLog->nAddResult); }
  int Start() override { return Log("start", m_pLog->nStartResult); }
  int Unprepare() override { return Log("unprepare", 0); }
  int GetPosition(std::uint32_t* pSamples) override {
    *pSamples = m_pLog->nPosition;
    return Log("position", m_pLog->nPositionResult);
  }
  int Reset() override { return Log("reset", 0); }
  int Close() override { return Log("close", 0); }

 private:
  int Log(const char* pName, int nResult) {
    m_pLog->calls.push_back(pName);
    return nResult;
  }
  InputLog* m_pLog;
};

}  // namespace solvari::test

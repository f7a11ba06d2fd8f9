// Fake wave devices: they record what the wave buffer asks for and deliver
// the done notification only when the test runs the "event loop".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/wave_device.h"

namespace solvari::test {

struct DeviceLog {
  std::vector<std::string> calls;
  int nOpenResult = 0;
  int nWriteResult = 0;
  int nCloseResult = -1;  // -1: refuse while queued, else succeed; other: that code
  int nDevice = -2;
  WaveFormat format{};
  const std::uint8_t* pData = nullptr;
  std::uint32_t nBytes = 0;
  bool bOpen = false;
  bool bQueued = false;
  int nPendingDone = 0;
  IWaveNotify* pNotify = nullptr;
};

class CFakeWaveOut : public IWaveOutDevice {
 public:
  explicit CFakeWaveOut(DeviceLog* pLog) : m_pLog(pLog) {}
  ~CFakeWaveOut() override { m_pLog->calls.push_back("destroyed"); }
  int Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) override {
    m_pLog->calls.push_back("open");
    m_pLog->format = format;
    m_pLog->nDevice = nDevice;
    m_pLog->pNotify = pNotify;
    if (m_pLog->nOpenResult == 0) m_pLog->bOpen = true;
    return m_pLog->nOpenResult;
  }
  int Write(const std::uint8_t* pData, std::uint32_t nBytes) override {
    m_pLog->calls.push_back("write");
    m_pLog->pData = pData;
    m_pLog->nBytes = nBytes;
    if (!m_pLog->bOpen) return kWaveInvalidHandle;
    if (m_pLog->bQueued) return kWaveStillPlaying;
    if (m_pLog->nWriteResult == 0) m_pLog->bQueued = true;
    return m_pLog->nWriteResult;
  }
  int Reset() override {
    m_pLog->calls.push_back("reset");
    if (m_pLog->bQueued) {
      m_pLog->bQueued = false;
      ++m_pLog->nPendingDone;
    }
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

 private:
  DeviceLog* m_pLog;
};

// The natural end of the queued buffer.
inline void FinishPlaying(DeviceLog& log) {
  if (log.bQueued) {
    log.bQueued = false;
    ++log.nPendingDone;
  }
}

// Delivers the posted notifications, as the event loop would.
inline int DeliverDone(DeviceLog& log) {
  const int n = log.nPendingDone;
  for (; log.nPendingDone > 0; --log.nPendingDone) log.pNotify->OnWomDone();
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

// SPDX-License-Identifier: GPL-3.0-or-later
// The platform services of the browser: the frame's timers and the event
// poster over the page's own timeouts, the profile store over localStorage
// and the wave-output device over Web Audio. Each is a thin bridge to a few
// functions of the page (web/site/solvari.js); nothing here blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "audio/wave_device.h"
#include "core/profile_store.h"
#include "core/sequencer_platform.h"

namespace solvari::web {

// Timers by id, each one-shot, over setTimeout.
class CWebTimers : public ITimerService {
 public:
  explicit CWebTimers(std::function<void(unsigned)> onTimer) : m_onTimer(std::move(onTimer)) {}
  ~CWebTimers() override;
  void SetTimer(unsigned nIDEvent, unsigned nElapse) override;
  void KillTimer(unsigned nIDEvent) override;

 private:
  static void Fire(void* pUser);
  struct Pending {
    CWebTimers* pOwner;
    unsigned nId;
    long nHandle;
  };
  std::function<void(unsigned)> m_onTimer;
  std::map<unsigned, Pending*> m_pending;
};

// Posted work runs from a zero timeout, after the handler running now.
class CWebPoster : public IEventPoster {
 public:
  void Post(std::function<void()> fn) override;
};

// "Section/Key" items of localStorage, so the settings keep the program's
// own sections, keys and defaults.
class CLocalStorageProfile : public IProfileStore {
 public:
  int GetProfileInt(const std::string& section, const std::string& key, int nDefault) override;
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def) override;
  bool WriteProfileInt(const std::string& section, const std::string& key, int nValue) override;
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override;
};

// The output over Web Audio. Each buffer is scheduled on the audio
// context's clock right after the one before it, and the one handed ahead
// is scheduled as soon as it is handed, so that it follows without a seam.
// The heard position comes from the context's output timestamp; a buffer is
// done when its last sample has been heard.
class CWebWaveOut : public IWaveOutDevice {
 public:
  CWebWaveOut();
  ~CWebWaveOut() override;
  int Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) override;
  int Write(const std::uint8_t* pData, std::uint32_t nBytes) override;
  int Reset() override;
  int Close() override;
  bool GetClock(WaveClock* pClock) override;
  bool Prefetch(const std::uint8_t* pData, std::uint32_t nBytes) override;
  void DropPrefetch() override;

  // The device's news, from the page: a check of the current buffer's end
  // (nGeneration: the arming it answers; an outdated one is ignored).
  static void OnEndCheck(int nDevice, unsigned nGeneration);

 private:
  struct Scheduled {
    int nSource = 0;  // the page's handle of the buffer source, 0 for none
    double dStart = 0;
    double dEnd = 0;
  };
  Scheduled Schedule(const std::uint8_t* pData, std::uint32_t nBytes, double dAt);
  void ArmEndCheck();
  void CheckEnd();
  void CancelEndCheck();
  void Done();

  bool m_bOpen = false;
  std::uint32_t m_nRate = 11025;
  IWaveNotify* m_pNotify = nullptr;
  Scheduled m_current;  // the buffer queued by Write (nSource 0: none)
  double m_dLastEnd = 0;
  Scheduled m_ahead;  // the buffer handed ahead
  std::vector<std::uint8_t> m_aheadBytes;
  long m_nEndCheck = 0;           // the page's timer for the end check, 0 for none
  unsigned m_nEndGeneration = 0;  // which arming a check belongs to
  double m_dPollSince = -1;       // when the last milliseconds began to be polled (ms)
  int m_nId;
};

}  // namespace solvari::web

// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/web_platform.h"

#include <emscripten.h>
#include <emscripten/eventloop.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace solvari::web {

// --- the page's side ------------------------------------------------------------------

// clang-format off
EM_JS(int, js_storage_get, (const char* pszKey, char* pOut, int nOut), {
  let v = null;
  try { v = window.localStorage.getItem(UTF8ToString(pszKey)); } catch (e) { v = null; }
  if (v === null) return -1;
  return stringToUTF8(v, pOut, nOut) >= 0 ? lengthBytesUTF8(v) : -1;
});
EM_JS(int, js_storage_set, (const char* pszKey, const char* pszValue), {
  try {
    window.localStorage.setItem(UTF8ToString(pszKey), UTF8ToString(pszValue));
    return 1;
  } catch (e) { return 0; }
});
EM_JS(int, js_audio_open, (int nRate), { return SolvariAudio.open(nRate); });
EM_JS(int, js_audio_schedule, (const std::uint8_t* pData, int nBytes, int nRate, double dAt,
                               double* pStart), {
  return SolvariAudio.schedule(HEAP16.subarray(pData >> 1, (pData >> 1) + (nBytes >> 1)), nRate,
                               dAt, pStart);
});
EM_JS(void, js_audio_stop, (int nSource), { SolvariAudio.stop(nSource); });
EM_JS(double, js_audio_heard, (), { return SolvariAudio.heardTime(); });
EM_JS(double, js_audio_now, (), { return SolvariAudio.contextTime(); });
EM_JS(void, js_audio_soon, (int nDevice, unsigned nGeneration), {
  SolvariAudio.soon(nDevice, nGeneration);
});
// clang-format on

// --- timers and posted work -----------------------------------------------------------

CWebTimers::~CWebTimers() {
  for (auto& [id, p] : m_pending) {
    emscripten_clear_timeout(p->nHandle);
    delete p;
  }
}

void CWebTimers::SetTimer(unsigned nIDEvent, unsigned nElapse) {
  KillTimer(nIDEvent);
  auto* p = new Pending{this, nIDEvent, 0};
  p->nHandle = emscripten_set_timeout(&CWebTimers::Fire, nElapse, p);
  m_pending[nIDEvent] = p;
}

void CWebTimers::KillTimer(unsigned nIDEvent) {
  const auto it = m_pending.find(nIDEvent);
  if (it == m_pending.end()) return;
  emscripten_clear_timeout(it->second->nHandle);
  delete it->second;
  m_pending.erase(it);
}

void CWebTimers::Fire(void* pUser) {
  auto* p = static_cast<Pending*>(pUser);
  CWebTimers* pOwner = p->pOwner;
  const unsigned nId = p->nId;
  // One-shot: gone before its handler runs, which may arm it again.
  pOwner->m_pending.erase(nId);
  delete p;
  pOwner->m_onTimer(nId);
}

void CWebPoster::Post(std::function<void()> fn) {
  auto* p = new std::function<void()>(std::move(fn));
  emscripten_set_timeout(
      [](void* pUser) {
        std::unique_ptr<std::function<void()>> f(static_cast<std::function<void()>*>(pUser));
        (*f)();
      },
      0, p);
}

// --- the settings ----------------------------------------------------------------------

namespace {

std::string StorageKey(const std::string& section, const std::string& key) {
  return section + "/" + key;
}

bool ReadItem(const std::string& key, std::string* pValue) {
  std::vector<char> buf(256);
  for (;;) {
    const int n = js_storage_get(key.c_str(), buf.data(), static_cast<int>(buf.size()));
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) < buf.size()) {
      pValue->assign(buf.data(), static_cast<std::size_t>(n));
      return true;
    }
    buf.resize(static_cast<std::size_t>(n) + 1);
  }
}

}  // namespace

int CLocalStorageProfile::GetProfileInt(const std::string& section, const std::string& key,
                                        int nDefault) {
  std::string v;
  if (!ReadItem(StorageKey(section, key), &v)) return nDefault;
  // As the program's own store reads a number: leading digits, else the default.
  char* pEnd = nullptr;
  const long n = std::strtol(v.c_str(), &pEnd, 10);
  if (pEnd == v.c_str()) return nDefault;
  return static_cast<int>(std::clamp<long>(n, INT32_MIN, INT32_MAX));
}

std::string CLocalStorageProfile::GetProfileString(const std::string& section,
                                                   const std::string& key, const std::string& def) {
  std::string v;
  return ReadItem(StorageKey(section, key), &v) ? v : def;
}

bool CLocalStorageProfile::WriteProfileInt(const std::string& section, const std::string& key,
                                           int nValue) {
  return WriteProfileString(section, key, std::to_string(nValue));
}

bool CLocalStorageProfile::WriteProfileString(const std::string& section, const std::string& key,
                                              const std::string& value) {
  return js_storage_set(StorageKey(section, key).c_str(), value.c_str()) != 0;
}

// --- the sound --------------------------------------------------------------------------

namespace {

// What the page starts a buffer this far ahead of the context's time at
// least: a few render quanta, so that its first sample is not cut.
constexpr double kLeadSeconds = 0.03;

std::map<int, CWebWaveOut*>& Devices() {
  static std::map<int, CWebWaveOut*> devices;
  return devices;
}

}  // namespace

CWebWaveOut::CWebWaveOut() {
  static int nNext = 0;
  m_nId = ++nNext;
  Devices()[m_nId] = this;
}

CWebWaveOut::~CWebWaveOut() {
  CancelEndCheck();
  if (m_current.nSource) js_audio_stop(m_current.nSource);
  if (m_ahead.nSource) js_audio_stop(m_ahead.nSource);
  Devices().erase(m_nId);
}

int CWebWaveOut::Open(const WaveFormat& format, int /*nDevice*/, IWaveNotify* pNotify) {
  if (m_bOpen) return kWaveAllocated;
  if (format.wFormatTag != kWaveFormatPcm || format.nChannels != 1 || format.wBitsPerSample != 16 ||
      format.nSamplesPerSec == 0)
    return kWaveBadFormat;
  if (!js_audio_open(static_cast<int>(format.nSamplesPerSec))) return kWaveNoDriver;
  m_nRate = format.nSamplesPerSec;
  m_pNotify = pNotify;
  m_bOpen = true;
  return kWaveNoError;
}

CWebWaveOut::Scheduled CWebWaveOut::Schedule(const std::uint8_t* pData, std::uint32_t nBytes,
                                             double dAt) {
  Scheduled s;
  double dStart = 0;
  s.nSource = js_audio_schedule(pData, static_cast<int>(nBytes & ~1u), static_cast<int>(m_nRate),
                                dAt, &dStart);
  s.dStart = dStart;
  s.dEnd = dStart + static_cast<double>(nBytes / 2) / m_nRate;
  return s;
}

int CWebWaveOut::Write(const std::uint8_t* pData, std::uint32_t nBytes) {
  if (!m_bOpen) return kWaveInvalidHandle;
  if (m_current.nSource) return kWaveStillPlaying;
  if (m_ahead.nSource && m_aheadBytes.size() == nBytes &&
      (nBytes == 0 || std::memcmp(m_aheadBytes.data(), pData, nBytes) == 0)) {
    // Handed ahead and already on its way, right after the buffer before.
    m_current = m_ahead;
    m_ahead = {};
    m_aheadBytes.clear();
  } else {
    DropPrefetch();
    const double dAt = std::max(js_audio_now() + kLeadSeconds, m_dLastEnd);
    m_current = Schedule(pData, nBytes, dAt);
    if (!m_current.nSource) return kWaveNoMemory;
  }
  m_dLastEnd = m_current.dEnd;
  ArmEndCheck();
  return kWaveNoError;
}

bool CWebWaveOut::Prefetch(const std::uint8_t* pData, std::uint32_t nBytes) {
  if (!m_bOpen || !m_current.nSource) return false;
  DropPrefetch();
  m_ahead = Schedule(pData, nBytes, m_current.dEnd);
  if (!m_ahead.nSource) return false;
  m_aheadBytes.assign(pData, pData + nBytes);
  return true;
}

void CWebWaveOut::DropPrefetch() {
  if (m_ahead.nSource) js_audio_stop(m_ahead.nSource);
  m_ahead = {};
  m_aheadBytes.clear();
}

// A browser's timer fires a millisecond or two late, and one armed from
// inside another with less than 4 ms to go waits at least 4 ms: the end is
// aimed at a little early by a timer, and its last milliseconds are polled
// from task to task, so that the next phrase's first character is lit when
// its first sample is heard.
namespace {
constexpr double kPollMs = 3.0;        // the last stretch, polled
constexpr double kPollLimitMs = 20.0;  // a clock that stands still is not polled longer
}  // namespace

void CWebWaveOut::CancelEndCheck() {
  if (m_nEndCheck) emscripten_clear_timeout(m_nEndCheck);
  m_nEndCheck = 0;
  ++m_nEndGeneration;  // a poll on its way is outdated
  m_dPollSince = -1;
}

void CWebWaveOut::ArmEndCheck() {
  CancelEndCheck();
  if (m_current.nSource) CheckEnd();
}

void CWebWaveOut::CheckEnd() {
  const double dLeftMs = (m_current.dEnd - js_audio_heard()) * 1000.0;
  if (dLeftMs <= 0) {
    // From the page's own timer or task, not from inside a call of the
    // device: told at once. Posted, the notice would wait for one more of
    // the browser's timers, and the next phrase's first character with it.
    CancelEndCheck();
    m_current = {};
    if (m_pNotify) m_pNotify->OnWomDone();  // last: the device may be gone after it
    return;
  }
  if (dLeftMs <= kPollMs) {
    const double dNow = emscripten_get_now();
    if (m_dPollSince < 0) m_dPollSince = dNow;
    if (dNow - m_dPollSince < kPollLimitMs) {
      js_audio_soon(m_nId, m_nEndGeneration);
      return;
    }
    // The clock stands still (a context the browser has suspended): from
    // here on by timers, as many as it takes.
  } else {
    m_dPollSince = -1;
  }
  const int nId = m_nId;
  m_nEndCheck = emscripten_set_timeout(
      [](void* pUser) {
        const auto it = Devices().find(static_cast<int>(reinterpret_cast<std::intptr_t>(pUser)));
        if (it == Devices().end()) return;
        it->second->m_nEndCheck = 0;
        it->second->CheckEnd();
      },
      std::max(1.0, dLeftMs - kPollMs + 1.0),
      reinterpret_cast<void*>(static_cast<std::intptr_t>(nId)));
}

void CWebWaveOut::OnEndCheck(int nDevice, unsigned nGeneration) {
  const auto it = Devices().find(nDevice);
  if (it == Devices().end() || it->second->m_nEndGeneration != nGeneration ||
      !it->second->m_current.nSource)
    return;
  it->second->CheckEnd();
}

void CWebWaveOut::Done() {
  CancelEndCheck();
  m_current = {};
  // Posted, never delivered from inside a call of the device.
  IWaveNotify* pNotify = m_pNotify;
  const int nId = m_nId;
  CWebPoster().Post([pNotify, nId] {
    if (Devices().count(nId) && pNotify) pNotify->OnWomDone();
  });
}

int CWebWaveOut::Reset() {
  if (!m_bOpen) return kWaveInvalidHandle;
  DropPrefetch();
  if (m_current.nSource) {
    js_audio_stop(m_current.nSource);
    m_dLastEnd = 0;
    Done();
  }
  return kWaveNoError;
}

int CWebWaveOut::Close() {
  if (!m_bOpen) return kWaveInvalidHandle;
  if (m_current.nSource) return kWaveStillPlaying;
  m_bOpen = false;
  m_pNotify = nullptr;
  return kWaveNoError;
}

bool CWebWaveOut::GetClock(WaveClock* pClock) {
  if (!m_bOpen || (!m_current.nSource && m_dLastEnd == 0)) return false;
  const double dStart = m_current.nSource ? m_current.dStart : m_dLastEnd;
  const double dEnd = m_current.nSource ? m_current.dEnd : m_dLastEnd;
  pClock->nHeardUs = static_cast<std::int64_t>(js_audio_heard() * 1e6);
  pClock->nBufferStartUs = static_cast<std::int64_t>(dStart * 1e6);
  pClock->nEndUs = static_cast<std::int64_t>(dEnd * 1e6);
  return true;
}

}  // namespace solvari::web

// The page's poll of a buffer's last milliseconds.
extern "C" EMSCRIPTEN_KEEPALIVE void solvari_audio_end_check(int nDevice, unsigned nGeneration) {
  solvari::web::CWebWaveOut::OnEndCheck(nDevice, nGeneration);
}

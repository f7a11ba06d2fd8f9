// SPDX-License-Identifier: GPL-3.0-or-later
// The connection to the sound server that each device of this folder runs
// on: PulseAudio's threaded main loop (the library's own thread) and one
// context on it, connected anew when the server went away or stopped
// answering. Every wait on the server is bounded, and so is the teardown:
// nothing here ever waits for the server to answer before it lets go.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_mainloop_api;
struct pa_defer_event;
struct pa_sample_spec;

namespace solvari {

struct WaveFormat;

// The server's sample format for a PCM format of 8, 16 or 32 bits; false
// for any other.
bool PulseSampleSpec(const WaveFormat& format, pa_sample_spec* pSpec);

class CPulseConnection {
 public:
  // How long Ready and FindDevice wait for the server; a working local
  // server answers in a millisecond.
  static constexpr std::int64_t kWaitUs = 300'000;

  struct Hooks {
    // With the lock held, just before the context is let go (a new one
    // replaces it, or the connection ends): whatever runs on it goes first.
    std::function<void()> dropping;
    // On the library's thread: the context failed (the server went away).
    std::function<void()> lost;
  };

  // Starts the library's thread; with bConnectNow the context connects at
  // once, on that thread (the caller does not wait for the client's set-up
  // either), else at the first Ready. pszRole is the
  // stream role the server sees ("music", "phone"...).
  CPulseConnection(const char* pszRole, bool bConnectNow, Hooks hooks);
  // Lets the context go without a word to the server and ends the thread.
  // The owner calls Close in its own destructor, while what the hooks
  // touch is still there; a second call does nothing.
  void Close();
  ~CPulseConnection() { Close(); }
  CPulseConnection(const CPulseConnection&) = delete;
  CPulseConnection& operator=(const CPulseConnection&) = delete;

  // Whether the library's thread could be started at all.
  bool IsUsable() const { return m_pLoop != nullptr; }
  pa_threaded_mainloop* Loop() const { return m_pLoop; }
  pa_context* Context() const { return m_pContext; }
  pa_mainloop_api* Api() const;

  // Holds the loop's lock for a scope (the library's thread takes it too).
  // Every call below, and every call into the library on this context,
  // needs it.
  class CLock {
   public:
    explicit CLock(const CPulseConnection& connection);
    ~CLock();
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

   private:
    pa_threaded_mainloop* m_pLoop;
  };

  // The context, connected anew if it failed or was marked suspect, and
  // given up to kWaitUs to become ready; false without a ready context.
  bool Ready();
  // The server stopped answering on this context: the next Ready connects
  // anew.
  void MarkSuspect() { m_bSuspect = true; }
  // Waits, with the lock held, until done() holds or nTimeoutUs have gone
  // by; returns done().
  bool WaitFor(const std::function<bool()>& done, std::int64_t nTimeoutUs);
  // Wakes a WaitFor (from the library's thread).
  void Signal();
  // The name of device nDevice: "" for -1 (the server's default), else the
  // n-th sink (or source that is not a sink's monitor) of the server's
  // list. 0 (kWaveNoError) when found, kWaveBadDeviceId for a number the
  // list does not have, kWaveNoDriver when the server does not answer or
  // has no such device at all.
  int FindDevice(bool bSource, int nDevice, std::string* pName);

  // The library's clock, in microseconds.
  static std::int64_t NowUs();

 private:
  static void OnContextState(pa_context* pContext, void* pThis);
  static void OnConnectSoon(pa_mainloop_api* pApi, pa_defer_event* pEvent, void* pThis);
  bool Connect();
  void Disconnect();

  std::string m_strRole;
  Hooks m_hooks;
  pa_threaded_mainloop* m_pLoop = nullptr;
  pa_defer_event* m_pConnectSoon = nullptr;  // the connection asked for, not yet begun
  pa_context* m_pContext = nullptr;
  bool m_bSuspect = false;
};

}  // namespace solvari

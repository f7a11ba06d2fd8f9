// SPDX-License-Identifier: GPL-3.0-or-later
// The wave-output device over PulseAudio's client library (PipeWire's pulse
// service speaks the same protocol). One playback stream serves buffer after
// buffer: a buffer handed ahead (Prefetch) follows the one playing without a
// seam, and the server's timing reports tell when each sample is heard, so
// that a buffer's done notification comes when its last sample has been
// heard. The library's own thread runs the stream (CPulseConnection);
// notifications reach the user-interface thread through the event poster.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/wave_device.h"

struct pa_stream;
struct pa_time_event;
struct pa_mainloop_api;

namespace solvari {

class CGaplessOutput;
class CPulseConnection;

class CPulseWaveOutDevice : public IWaveOutDevice {
 public:
  // nOutputDelayMs: delay after the server's reported latency that the
  // system cannot know (a television, an amplifier); may be negative. The
  // poster must outlive the device. The connection to the server starts at
  // once, in the background.
  CPulseWaveOutDevice(IEventPoster* pPoster, int nOutputDelayMs = 0);
  // Lets the stream and the connection go without waiting for the server;
  // a done still owed is never delivered.
  ~CPulseWaveOutDevice() override;
  CPulseWaveOutDevice(const CPulseWaveOutDevice&) = delete;
  CPulseWaveOutDevice& operator=(const CPulseWaveOutDevice&) = delete;

  // nDevice -1 is the server's default sink, n >= 0 the n-th sink of the
  // server's list. kWaveNoDriver without a server, kWaveBadDeviceId for a
  // number the list does not have, kWaveBadFormat for a sample size other
  // than 8, 16 or 32 bits. Never waits longer than a moment for the server.
  int Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) override;
  int Write(const std::uint8_t* pData, std::uint32_t nBytes) override;
  int Reset() override;
  int Close() override;
  bool GetClock(WaveClock* pClock) override;
  void WantClockAt(std::int64_t nBufferUs) override;
  bool Prefetch(const std::uint8_t* pData, std::uint32_t nBytes) override;
  void DropPrefetch() override;

  // Whether the library's thread could be started at all.
  bool IsUsable() const;

 private:
  class CStream;
  static void OnStreamState(pa_stream* pStream, void* pThis);
  static void OnStreamWrite(pa_stream* pStream, std::size_t nBytes, void* pThis);
  static void OnCheckTimer(struct pa_mainloop_api*, pa_time_event*, const struct timeval*,
                           void* pThis);

  bool CreateStream(const WaveFormat& format, const std::string& sink);
  void DropStream();
  void PostDone();
  void GiveUp();

  IEventPoster* m_pPoster;
  std::int64_t m_nDelayUs;
  std::shared_ptr<int> m_pAlive = std::make_shared<int>(0);  // posted events check it

  pa_stream* m_pStream = nullptr;
  pa_time_event* m_pCheck = nullptr;
  std::int64_t m_nCheckAtUs = -1;  // when m_pCheck fires; -1 while it is not set
  std::unique_ptr<CStream> m_pPcm;
  std::unique_ptr<CGaplessOutput> m_pOutput;

  WaveFormat m_format{};
  std::string m_strSink;
  bool m_bOpen = false;
  bool m_bBroken = false;  // the stream failed or was given up: the next Open makes a new one
  IWaveNotify* m_pNotify = nullptr;
  // Closed first in the destructor: its end drops the stream.
  std::unique_ptr<CPulseConnection> m_pConnection;
};

}  // namespace solvari

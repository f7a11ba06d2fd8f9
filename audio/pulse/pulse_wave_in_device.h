// SPDX-License-Identifier: GPL-3.0-or-later
// The wave-input device over PulseAudio's client library, beside the output
// device and on the same kind of connection (CPulseConnection): a record
// stream, made at Start, writes what it hears into the one buffer handed
// over, from the library's thread, until the buffer is full, reset or
// closed. The buffer's return (OnWimData) is posted to the user-interface
// thread through the event poster, once per buffer added: when it is full,
// when it is reset, or when the server goes away in the middle of a take.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/wave_device.h"

struct pa_stream;

namespace solvari {

class CPulseConnection;

class CPulseWaveInDevice : public IWaveInDevice {
 public:
  // The poster must outlive the device. The device connects to the server
  // at its first Open.
  explicit CPulseWaveInDevice(IEventPoster* pPoster);
  // Lets the stream and the connection go without waiting for the server;
  // a return still owed is never delivered.
  ~CPulseWaveInDevice() override;
  CPulseWaveInDevice(const CPulseWaveInDevice&) = delete;
  CPulseWaveInDevice& operator=(const CPulseWaveInDevice&) = delete;

  // nDevice -1 is the server's default source, n >= 0 the n-th source that
  // is not a sink's monitor. kWaveNoDriver without a server, kWaveBadDeviceId
  // for a number the list does not have, kWaveBadFormat for a sample size
  // other than 8, 16 or 32 bits, kWaveAllocated when already open. Never
  // waits longer than a moment for the server.
  int Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) override;
  int Prepare(std::uint8_t* pData, std::uint32_t nBytes) override;
  int AddBuffer() override;
  // Starts the record stream; kWaveNoDriver when the server has gone.
  int Start() override;
  int Unprepare() override;
  int GetPosition(std::uint32_t* pSamples) override;
  int Reset() override;
  int Close() override;

 private:
  static void OnStreamState(pa_stream* pStream, void* pThis);
  static void OnStreamRead(pa_stream* pStream, std::size_t nBytes, void* pThis);

  void Take(const void* pData, std::size_t nBytes);
  void DropStream();
  void ReturnBuffer();

  IEventPoster* m_pPoster;
  std::shared_ptr<int> m_pAlive = std::make_shared<int>(0);  // posted events check it

  WaveFormat m_format{};
  std::string m_strSource;
  pa_stream* m_pStream = nullptr;
  IWaveNotify* m_pNotify = nullptr;
  std::uint8_t* m_pData = nullptr;
  std::uint32_t m_nBytes = 0;
  std::uint32_t m_nRecorded = 0;  // bytes written into the buffer; under the lock
  bool m_bOpen = false;
  bool m_bAdded = false;  // the buffer is with the device; its OnWimData is owed
  // Closed first in the destructor: its end drops the stream.
  std::unique_ptr<CPulseConnection> m_pConnection;
};

}  // namespace solvari

// SPDX-License-Identifier: GPL-3.0-or-later
// One PCM sound in memory, its format, and the wave devices that play it as
// one buffer (or record into it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "audio/wave_device.h"
#include "core/profile_store.h"

namespace solvari {

class CWaveBuffer {
 public:
  // Allocates a data block; returns null on failure. The block is released
  // with delete[], so a replacement must allocate with new[] (nothrow).
  using DataAllocator = std::uint8_t* (*)(std::size_t nBytes);

  // The devices are owned; either may be null (opening it then fails with
  // kWaveNoDriver). The profile store gives "WAV Config" / "WavOutDevice" and
  // "WavInDevice" (default -1); it and the message sink must outlive the
  // buffer and may be null.
  CWaveBuffer(std::unique_ptr<IWaveOutDevice> pWaveOut, std::unique_ptr<IWaveInDevice> pWaveIn,
              IProfileStore* pProfile, IWaveMessageSink* pMessages = nullptr);
  // Stops and closes an open device before the data block is released.
  ~CWaveBuffer();
  CWaveBuffer(const CWaveBuffer&) = delete;
  CWaveBuffer& operator=(const CWaveBuffer&) = delete;

  // The data block. Replacing or releasing it first stops and closes a
  // device that may use it.
  const void* AllocData(std::uint32_t nBytes);  // the new block, null on failure
  void FreeData();
  int IsReady() const;       // 1 when a block is held and the object is usable
  std::uint8_t* LockData();  // takes one lock; null when no block is held
  void UnlockData();         // releases one lock if a block is held
  int GetBitsPerSample() const;
  int GetChannels() const;
  std::uint32_t GetSampleCount() const;  // 0 for a format below 8 bits or without channels
  const void* GetDataHandle() const { return m_hData.get(); }

  // Input half.
  int OpenInput(IWaveNotify* pNotify, std::uint32_t nSamplesPerSec, std::uint32_t nBitsPerSample,
                std::uint32_t nChannels);
  // Records dSeconds × a × b × c ÷ 8 bytes into the block: 0 recording,
  // 1 the buffer could not be prepared, 2 not added, 3 not started.
  int StartRecording(double dSeconds, std::uint32_t a, std::uint32_t b, std::uint32_t c);
  int StopRecording();
  void CloseInput();
  // Samples recorded so far while recording (the device's position), 0
  // when no input is open.
  std::uint32_t GetInputPosition();
  // Makes the recording playable: m_dwDataSize becomes the bytes of the
  // m_dwRecorded samples that StopRecording saved, within the block.
  void UseRecordedData();
  // The message a device result code shows, null for codes without one.
  static const char* ResultText(int nResult);
  int HasData() const { return m_bHasData; }

  // Output half. OpenOutput returns 0 when the device is open, else the
  // device's code. The play operations return 1 when the buffer was queued
  // (exactly one OnWomDone follows), else 0; each takes the block's play
  // lock, which CloseOutput releases.
  int OpenOutput(IWaveNotify* pNotify, std::uint32_t nSamplesPerSec, std::uint32_t nBitsPerSample,
                 std::uint32_t nChannels);
  int PlayRange(std::uint32_t nStart, std::uint32_t nEnd);  // bytes nStart..nEnd-1
  int PlayFirst(std::uint32_t nBytes);
  int PlayAll();
  int PlayFrom(std::uint32_t nOffset, std::uint32_t nBytes);
  int ResetOutput();
  void CloseOutput();
  // The open output device's clock (false when closed or the device has none).
  bool GetOutputClock(WaveClock* pClock);
  // The clock will be read when nBufferUs of the buffer queued last are heard.
  void WantOutputClockAt(std::int64_t nBufferUs);
  // Gives the open output device the buffer likely to follow the one playing
  // (it keeps a copy); false when closed or the device does not look ahead.
  bool PrefetchOutput(const std::uint8_t* pData, std::uint32_t nBytes);
  // Drops what was handed ahead (the output device may be closed).
  void DropOutputPrefetch();

  // File transfer at the file's current position.
  int ReadData(std::FILE* pFile, std::int32_t nBytes);  // 1 on success, 0 on a short read
  std::uint32_t GetDataSize() const { return m_dwDataSize; }
  int WriteData(std::FILE* pFile);  // 1 when all m_dwDataSize bytes were written

  // For tests: the allocator of data blocks (null restores the default).
  void SetAllocator(DataAllocator pAlloc);
  int GetLockCount() const { return m_nLocks; }
  std::uint32_t GetCapacity() const { return m_nCapacity; }
  bool IsOutputOpen() const { return m_bOutOpen; }
  bool IsInputOpen() const { return m_bInOpen; }

 private:
  void FillFormat(std::uint32_t nSamplesPerSec, std::uint32_t nBitsPerSample,
                  std::uint32_t nChannels);
  int Play(std::uint32_t nOffset, std::uint32_t nBytes);
  void StopDevices();

  std::unique_ptr<std::uint8_t[]> m_hData;
  std::uint32_t m_nCapacity = 0;
  int m_nLocks = 0;
  int m_bOK = 1;
  std::unique_ptr<IWaveOutDevice> m_pWaveOut;
  std::unique_ptr<IWaveInDevice> m_pWaveIn;
  IProfileStore* m_pProfile;
  IWaveMessageSink* m_pMessages;
  DataAllocator m_pAlloc;
  bool m_bOutOpen = false;
  bool m_bOutLocked = false;  // a play operation holds its lock
  bool m_bInOpen = false;
  bool m_bInLocked = false;  // a recording holds its lock
  int m_bHasData = 0;
  WaveFormat m_format{};

 public:
  WaveFormat* const m_pFormat = &m_format;
  std::uint32_t m_dwDataSize = 0;  // valid bytes in the block
  std::uint32_t m_dwRecorded = 0;  // input position in samples at StopRecording
};

}  // namespace solvari

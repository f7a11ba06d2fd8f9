// SPDX-License-Identifier: GPL-3.0-or-later
// The small device interfaces the wave buffer drives: a wave-output device
// that plays one buffer from memory and reports its end, and a wave-input
// device that records into one buffer. The program implements them over
// PulseAudio's client library (audio/pulse/); tests implement them with fakes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace solvari {

// Result codes of the devices; 0 is success. The numbers follow the classic
// multimedia error codes so that callers can pass them on unchanged.
enum WaveResult : int {
  kWaveNoError = 0,
  kWaveError = 1,          // unspecified failure
  kWaveBadDeviceId = 2,    // device number out of range
  kWaveAllocated = 4,      // already open
  kWaveInvalidHandle = 5,  // the device is not open
  kWaveNoDriver = 6,       // no audio device at all (no sound server)
  kWaveNoMemory = 7,       // unable to allocate or lock memory
  kWaveBadFormat = 32,     // the format is not supported
  kWaveStillPlaying = 33,  // a buffer is still queued
};

// The PCM format record, laid out as the classic 18-byte WAVEFORMATEX.
#pragma pack(push, 1)
struct WaveFormat {
  std::uint16_t wFormatTag;
  std::uint16_t nChannels;
  std::uint32_t nSamplesPerSec;
  std::uint32_t nAvgBytesPerSec;
  std::uint16_t nBlockAlign;
  std::uint16_t wBitsPerSample;
  std::uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18);

inline constexpr std::uint16_t kWaveFormatPcm = 1;

// Receives the devices' notifications. A device delivers them as posted
// events: never from inside one of its own calls, always after the handler
// that caused them has returned, on the user-interface thread.
class IWaveNotify {
 public:
  virtual ~IWaveNotify() = default;
  // The queued output buffer has finished playing or was returned by a reset.
  // Comes exactly once per buffer that was queued successfully.
  virtual void OnWomDone() = 0;
  // The input buffer is full or was returned by a reset. Nothing needs it.
  virtual void OnWimData() {}
};

// Where the sound of an output device is, on its own clock in microseconds.
// Only differences of values from one device mean anything.
struct WaveClock {
  std::int64_t nHeardUs = 0;        // the sound being heard now
  std::int64_t nBufferStartUs = 0;  // where the last queued buffer begins (or began)
  std::int64_t nEndUs = 0;          // where all that is queued ends
  // The sound heard now if the output has played on since its last word,
  // past where that word vouches for (a time to set a timer by, not to act
  // on); kNotKnown: nHeardUs.
  static constexpr std::int64_t kNotKnown = INT64_MIN;
  std::int64_t nRunningUs = kNotKnown;
};

class IWaveOutDevice {
 public:
  virtual ~IWaveOutDevice() = default;
  // Opens device nDevice (-1: the default output) for the format; 0 on
  // success, else a non-zero result code and the device stays closed.
  virtual int Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) = 0;
  // Queues one buffer. On 0 the device may read pData..pData+nBytes until its
  // done notification; exactly one OnWomDone follows. On any other result no
  // notification follows. Only one buffer can be queued at a time.
  virtual int Write(const std::uint8_t* pData, std::uint32_t nBytes) = 0;
  // Stops at once; a queued buffer is returned (its OnWomDone is posted).
  virtual int Reset() = 0;
  // Closes the device; kWaveStillPlaying while a buffer is queued.
  virtual int Close() = 0;

  // The device's clock; false when the device has none (the caller then
  // goes by its own timers).
  virtual bool GetClock(WaveClock* /*pClock*/) { return false; }
  // Says that the clock will be read when nBufferUs of the buffer queued
  // last have been heard, so that a device that has to ask its output where
  // it is can ask in time (and otherwise seldom). Each moment named for a
  // buffer stands until it is heard or the next buffer is queued.
  virtual void WantClockAt(std::int64_t /*nBufferUs*/) {}
  // Hands the device, while a buffer plays, the buffer that will most likely
  // follow it, so that it can follow without a seam; the device keeps a copy.
  // A Write of the same bytes after the done notification (a Close may come
  // between) takes it up without a second copy; any other Write, a Reset or
  // DropPrefetch drops it. False when the device does not look ahead.
  virtual bool Prefetch(const std::uint8_t* /*pData*/, std::uint32_t /*nBytes*/) { return false; }
  // Drops a buffer handed ahead that will not be played after all.
  virtual void DropPrefetch() {}
};

class IWaveInDevice {
 public:
  virtual ~IWaveInDevice() = default;
  virtual int Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) = 0;
  // Hands the device the buffer to record into; it may write it from Start
  // until Reset or Close.
  virtual int Prepare(std::uint8_t* pData, std::uint32_t nBytes) = 0;
  virtual int AddBuffer() = 0;
  virtual int Start() = 0;
  virtual int Unprepare() = 0;
  // Samples recorded since Start.
  virtual int GetPosition(std::uint32_t* pSamples) = 0;
  virtual int Reset() = 0;
  virtual int Close() = 0;
};

// Hands work to the user-interface thread: fn runs there later, after the
// handler that is running now has returned. Safe to call from any thread.
class IEventPoster {
 public:
  virtual ~IEventPoster() = default;
  virtual void Post(std::function<void()> fn) = 0;
};

// Shows a message to the user (a message box with an exclamation icon and the
// application's title as caption, in the program).
class IWaveMessageSink {
 public:
  virtual ~IWaveMessageSink() = default;
  virtual void ShowMessage(const std::string& text) = 0;
};

}  // namespace solvari

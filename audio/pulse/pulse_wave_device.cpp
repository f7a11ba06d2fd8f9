#include "audio/pulse/pulse_wave_device.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/gapless_output.h"

namespace solvari {
namespace {

// How long Open may wait for the server (only when it has to connect anew or
// look up a numbered sink); a working local server answers in a millisecond.
constexpr std::int64_t kConnectWaitUs = 300'000;
// The server holds this much of the sound ahead of what is heard; the rest
// waits in the device. Enough for the sound thread to be starved for most of
// a second on a loaded machine without a gap (a reset flushes it anyway).
constexpr std::int64_t kServerBufferUs = 1'000'000;

std::int64_t NowUs() { return static_cast<std::int64_t>(pa_rtclock_now()); }

bool SampleSpecOf(const WaveFormat& format, pa_sample_spec* pSpec) {
  if (format.wFormatTag != kWaveFormatPcm || format.nChannels == 0 ||
      format.nChannels > PA_CHANNELS_MAX || format.nSamplesPerSec == 0 ||
      format.nSamplesPerSec > PA_RATE_MAX)
    return false;
  switch (format.wBitsPerSample) {
    case 8:
      pSpec->format = PA_SAMPLE_U8;
      break;
    case 16:
      pSpec->format = PA_SAMPLE_S16LE;
      break;
    case 32:
      pSpec->format = PA_SAMPLE_S32LE;
      break;
    default:
      return false;
  }
  pSpec->rate = format.nSamplesPerSec;
  pSpec->channels = static_cast<std::uint8_t>(format.nChannels);
  return pa_sample_spec_valid(pSpec) != 0;
}

bool SameFormat(const WaveFormat& a, const WaveFormat& b) {
  return a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
         a.wBitsPerSample == b.wBitsPerSample;
}

// Holds the loop's lock for a scope (the library's thread takes it too).
class CLoopLock {
 public:
  explicit CLoopLock(pa_threaded_mainloop* pLoop) : m_pLoop(pLoop) {
    if (m_pLoop) pa_threaded_mainloop_lock(m_pLoop);
  }
  ~CLoopLock() {
    if (m_pLoop) pa_threaded_mainloop_unlock(m_pLoop);
  }
  CLoopLock(const CLoopLock&) = delete;
  CLoopLock& operator=(const CLoopLock&) = delete;

 private:
  pa_threaded_mainloop* m_pLoop;
};

}  // namespace

// The playback stream as the gapless logic sees it.
class CPulseWaveOutDevice::CStream : public IPcmStream {
 public:
  CStream(pa_stream* pStream, CPulseWaveOutDevice* pOwner) : m_pStream(pStream), m_pOwner(pOwner) {}

  std::size_t WritableBytes() override {
    if (pa_stream_get_state(m_pStream) != PA_STREAM_READY) return 0;
    const std::size_t n = pa_stream_writable_size(m_pStream);
    return n == static_cast<std::size_t>(-1) ? 0 : n;
  }
  bool Write(const std::uint8_t* pData, std::size_t nBytes) override {
    return pa_stream_write(m_pStream, pData, nBytes, nullptr, 0, PA_SEEK_RELATIVE) == 0;
  }
  bool Flush() override {
    if (pa_stream_get_state(m_pStream) != PA_STREAM_READY) return false;
    pa_operation* pOp = pa_stream_flush(m_pStream, &CStream::OnFlushed, this);
    if (!pOp) return false;
    pa_operation_unref(pOp);
    m_bIndexWanted = true;
    return true;
  }
  bool RequestReport() override { return Request(m_bIndexWanted); }

 private:
  bool Request(bool bWithIndex) {
    if (pa_stream_get_state(m_pStream) != PA_STREAM_READY) return false;
    pa_operation* pOp = pa_stream_update_timing_info(
        m_pStream, bWithIndex ? &CStream::OnIndexReport : &CStream::OnReport, this);
    if (!pOp) return false;
    pa_operation_unref(pOp);
    return true;
  }
  static void OnFlushed(pa_stream*, int, void* pThis) {
    // Only a report asked for after the flush has the new write position.
    static_cast<CStream*>(pThis)->Request(true);
  }
  static void OnReport(pa_stream*, int bOk, void* pThis) {
    static_cast<CStream*>(pThis)->Deliver(bOk != 0, false);
  }
  static void OnIndexReport(pa_stream*, int bOk, void* pThis) {
    static_cast<CStream*>(pThis)->Deliver(bOk != 0, true);
  }
  void Deliver(bool bOk, bool bWithIndex) {
    CGaplessOutput* pOutput = m_pOwner->m_pOutput.get();
    if (!pOutput) return;
    const pa_timing_info* pInfo = pa_stream_get_timing_info(m_pStream);
    if (!bOk || !pInfo || pInfo->read_index_corrupt || pInfo->read_index < 0) {
      // No answer this time: the next check asks again.
      pOutput->OnNoReport(NowUs());
      return;
    }
    // The server's own figures, not the library's smoothed clock: that one
    // follows a jump of the output (an underrun, a stall) only over seconds.
    // What has been heard is what the server took from the stream less what
    // the output still holds, at the moment the server said so: before the
    // first sample has come through the output, less than nothing.
    StreamReport report;
    const std::int64_t nNow = NowUs();
    const auto nAge = static_cast<std::int64_t>(pa_timeval_age(&pInfo->timestamp));
    report.nNowUs = nAge >= 0 && nAge < 1'000'000 ? nNow - nAge : nNow;
    const pa_sample_spec* pSpec = pa_stream_get_sample_spec(m_pStream);
    const auto nTaken = static_cast<std::int64_t>(
        pa_bytes_to_usec(static_cast<std::uint64_t>(pInfo->read_index), pSpec));
    const auto nHeld = static_cast<std::int64_t>(pInfo->sink_usec);
    report.nHeardUs = nTaken - nHeld;
    report.nAheadUs = nHeld;
    report.bRunning = pInfo->playing != 0;
    if (bWithIndex && !pInfo->write_index_corrupt) m_bIndexWanted = false;
    report.bDrained =
        !report.bRunning && !pInfo->write_index_corrupt && pInfo->read_index >= pInfo->write_index;
    if (bWithIndex && !pInfo->write_index_corrupt) report.nWriteIndex = pInfo->write_index;
    pOutput->OnReport(report);
  }

  pa_stream* m_pStream;
  CPulseWaveOutDevice* m_pOwner;
  bool m_bIndexWanted = false;  // a flush waits for the new write position
};

CPulseWaveOutDevice::CPulseWaveOutDevice(IEventPoster* pPoster, int nOutputDelayMs)
    : m_pPoster(pPoster), m_nDelayUs(static_cast<std::int64_t>(nOutputDelayMs) * 1000) {
  m_pLoop = pa_threaded_mainloop_new();
  if (!m_pLoop) return;
  if (pa_threaded_mainloop_start(m_pLoop) < 0) {
    pa_threaded_mainloop_free(m_pLoop);
    m_pLoop = nullptr;
    return;
  }
  CLoopLock lock(m_pLoop);
  EnsureContext();
}

CPulseWaveOutDevice::~CPulseWaveOutDevice() {
  m_pAlive.reset();  // whatever is still posted is dropped
  if (!m_pLoop) return;
  {
    CLoopLock lock(m_pLoop);
    DropStream();
    if (m_pContext) {
      pa_context_set_state_callback(m_pContext, nullptr, nullptr);
      pa_context_disconnect(m_pContext);
      pa_context_unref(m_pContext);
      m_pContext = nullptr;
    }
  }
  pa_threaded_mainloop_stop(m_pLoop);
  pa_threaded_mainloop_free(m_pLoop);
}

// ---- connection ---------------------------------------------------------------

void CPulseWaveOutDevice::OnContextState(pa_context* pContext, void* pThis) {
  auto* self = static_cast<CPulseWaveOutDevice*>(pThis);
  const pa_context_state_t state = pa_context_get_state(pContext);
  if (!PA_CONTEXT_IS_GOOD(state)) self->GiveUp();
  pa_threaded_mainloop_signal(self->m_pLoop, 0);
}

bool CPulseWaveOutDevice::EnsureContext() {
  if (m_pContext && !m_bContextSuspect && PA_CONTEXT_IS_GOOD(pa_context_get_state(m_pContext)))
    return true;
  m_bContextSuspect = false;
  DropStream();
  if (m_pContext) {
    pa_context_set_state_callback(m_pContext, nullptr, nullptr);
    pa_context_disconnect(m_pContext);
    pa_context_unref(m_pContext);
    m_pContext = nullptr;
  }
  pa_proplist* pProps = pa_proplist_new();
  pa_proplist_sets(pProps, PA_PROP_APPLICATION_NAME, "Solvari");
  pa_proplist_sets(pProps, PA_PROP_MEDIA_ROLE, "music");
  m_pContext =
      pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_pLoop), "Solvari", pProps);
  pa_proplist_free(pProps);
  if (!m_pContext) return false;
  pa_context_set_state_callback(m_pContext, &OnContextState, this);
  if (pa_context_connect(m_pContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    pa_context_set_state_callback(m_pContext, nullptr, nullptr);
    pa_context_unref(m_pContext);
    m_pContext = nullptr;
    return false;
  }
  return true;
}

// Waits, with the lock held, until pDone holds or the time is up.
bool CPulseWaveOutDevice::WaitFor(bool (*pDone)(CPulseWaveOutDevice*), std::int64_t nTimeoutUs) {
  const std::int64_t nDeadline = NowUs() + nTimeoutUs;
  pa_mainloop_api* pApi = pa_threaded_mainloop_get_api(m_pLoop);
  pa_time_event* pWake = pa_context_rttime_new(
      m_pContext, static_cast<pa_usec_t>(nDeadline),
      [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* pLoop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(pLoop), 0);
      },
      m_pLoop);
  while (!pDone(this) && NowUs() < nDeadline) pa_threaded_mainloop_wait(m_pLoop);
  if (pWake) pApi->time_free(pWake);
  return pDone(this);
}

int CPulseWaveOutDevice::FindSink(int nDevice, std::string* pName) {
  pName->clear();
  if (nDevice == -1) return kWaveNoError;
  if (nDevice < 0) return kWaveBadDeviceId;
  struct Query {
    std::vector<std::string> names;
    bool bDone = false;
    pa_threaded_mainloop* pLoop;
  } query{{}, false, m_pLoop};
  pa_operation* pOp = pa_context_get_sink_info_list(
      m_pContext,
      [](pa_context*, const pa_sink_info* pInfo, int eol, void* pQuery) {
        auto* q = static_cast<Query*>(pQuery);
        if (eol != 0) {
          q->bDone = true;
          pa_threaded_mainloop_signal(q->pLoop, 0);
        } else if (pInfo && pInfo->name) {
          q->names.emplace_back(pInfo->name);
        }
      },
      &query);
  if (!pOp) return kWaveNoDriver;
  const std::int64_t nDeadline = NowUs() + kConnectWaitUs;
  while (!query.bDone && NowUs() < nDeadline &&
         pa_operation_get_state(pOp) == PA_OPERATION_RUNNING) {
    WaitFor([](CPulseWaveOutDevice*) { return false; }, 10'000);
  }
  if (!query.bDone) {
    pa_operation_cancel(pOp);
    pa_operation_unref(pOp);
    return kWaveNoDriver;
  }
  pa_operation_unref(pOp);
  if (query.names.empty()) return kWaveNoDriver;
  if (static_cast<std::size_t>(nDevice) >= query.names.size()) return kWaveBadDeviceId;
  *pName = query.names[static_cast<std::size_t>(nDevice)];
  return kWaveNoError;
}

// ---- the stream -----------------------------------------------------------------

void CPulseWaveOutDevice::OnStreamState(pa_stream* pStream, void* pThis) {
  auto* self = static_cast<CPulseWaveOutDevice*>(pThis);
  const pa_stream_state_t state = pa_stream_get_state(pStream);
  if (state == PA_STREAM_READY && self->m_pOutput) self->m_pOutput->OnWritable(NowUs());
  if (!PA_STREAM_IS_GOOD(state)) self->GiveUp();
  pa_threaded_mainloop_signal(self->m_pLoop, 0);
}

void CPulseWaveOutDevice::OnStreamWrite(pa_stream*, std::size_t, void* pThis) {
  auto* self = static_cast<CPulseWaveOutDevice*>(pThis);
  if (self->m_pOutput) self->m_pOutput->OnWritable(NowUs());
}

void CPulseWaveOutDevice::OnCheckTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                                       void* pThis) {
  auto* self = static_cast<CPulseWaveOutDevice*>(pThis);
  if (self->m_pOutput) self->m_pOutput->OnCheck(NowUs());
}

bool CPulseWaveOutDevice::CreateStream(const WaveFormat& format, const std::string& sink) {
  pa_sample_spec sampleFormat;
  if (!SampleSpecOf(format, &sampleFormat)) return false;
  pa_stream* pStream = pa_stream_new(m_pContext, "Solvari", &sampleFormat, nullptr);
  if (!pStream) return false;
  const std::uint32_t nFrame = static_cast<std::uint32_t>(pa_frame_size(&sampleFormat));
  const std::uint32_t nBytesPerSec = static_cast<std::uint32_t>(pa_bytes_per_second(&sampleFormat));
  pa_buffer_attr attr;
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kServerBufferUs, &sampleFormat));
  // A stream that runs dry waits for new sound instead of skipping ahead, so
  // nothing written late is lost; a few milliseconds start it again.
  attr.prebuf = std::max<std::uint32_t>(
      nFrame, static_cast<std::uint32_t>(pa_usec_to_bytes(5'000, &sampleFormat)) / nFrame * nFrame);
  attr.minreq = static_cast<std::uint32_t>(-1);
  attr.fragsize = static_cast<std::uint32_t>(-1);

  m_pStream = pStream;
  m_pPcm = std::make_unique<CStream>(pStream, this);
  CGaplessOutput::Hooks hooks;
  hooks.postDone = [this] { PostDone(); };
  hooks.scheduleCheck = [this](std::int64_t nUs) {
    pa_context_rttime_restart(m_pContext, m_pCheck,
                              static_cast<pa_usec_t>(NowUs() + std::max<std::int64_t>(nUs, 0)));
  };
  // A server that stopped answering is not asked again on this connection.
  hooks.gone = [this] {
    m_bBroken = true;
    m_bContextSuspect = true;
  };
  m_pOutput = std::make_unique<CGaplessOutput>(m_pPcm.get(), nBytesPerSec, nFrame, m_nDelayUs,
                                               std::move(hooks));
  if (!m_pCheck) m_pCheck = pa_context_rttime_new(m_pContext, PA_USEC_INVALID, &OnCheckTimer, this);

  pa_stream_set_state_callback(pStream, &OnStreamState, this);
  pa_stream_set_write_callback(pStream, &OnStreamWrite, this);
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_NOFLAGS);
  if (pa_stream_connect_playback(pStream, sink.empty() ? nullptr : sink.c_str(), &attr, flags,
                                 nullptr, nullptr) < 0) {
    DropStream();
    return false;
  }
  m_format = format;
  m_strSink = sink;
  m_bBroken = false;
  return true;
}

void CPulseWaveOutDevice::DropStream() {
  if (m_pCheck) {
    pa_mainloop_api* pApi = pa_threaded_mainloop_get_api(m_pLoop);
    pApi->time_free(m_pCheck);
    m_pCheck = nullptr;
  }
  if (m_pStream) {
    pa_stream_set_state_callback(m_pStream, nullptr, nullptr);
    pa_stream_set_write_callback(m_pStream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_pStream))) pa_stream_disconnect(m_pStream);
    pa_stream_unref(m_pStream);
    m_pStream = nullptr;
  }
  // Replies still on their way find no output to report to.
  m_pOutput.reset();
  m_pPcm.reset();
}

// The server or the stream went away, or stopped answering: an owed done is
// posted now, and the next Open starts afresh.
void CPulseWaveOutDevice::GiveUp() {
  m_bBroken = true;
  if (m_pOutput) m_pOutput->OnGone();
}

void CPulseWaveOutDevice::PostDone() {
  if (!m_pPoster) return;
  std::weak_ptr<int> alive = m_pAlive;
  m_pPoster->Post([this, alive] {
    if (alive.expired()) return;
    if (m_pNotify) m_pNotify->OnWomDone();
  });
}

// ---- the device's operations ---------------------------------------------------

int CPulseWaveOutDevice::Open(const WaveFormat& format, int nDevice, IWaveNotify* pNotify) {
  if (m_bOpen) return kWaveAllocated;
  pa_sample_spec sampleFormat;
  if (!SampleSpecOf(format, &sampleFormat)) return kWaveBadFormat;
  if (!m_pLoop) return kWaveNoDriver;
  CLoopLock lock(m_pLoop);
  if (!EnsureContext()) return kWaveNoDriver;
  // A connection still being made gets a moment; a server that is not there
  // refuses at once.
  WaitFor(
      [](CPulseWaveOutDevice* self) {
        const pa_context_state_t s = pa_context_get_state(self->m_pContext);
        return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
      },
      kConnectWaitUs);
  if (pa_context_get_state(m_pContext) != PA_CONTEXT_READY) return kWaveNoDriver;
  std::string sink;
  if (const int r = FindSink(nDevice, &sink)) return r;
  const bool bReuse =
      m_pStream && !m_bBroken && sink == m_strSink && SameFormat(format, m_format) &&
      PA_STREAM_IS_GOOD(pa_stream_get_state(m_pStream)) && m_pOutput && !m_pOutput->IsGone();
  if (!bReuse) {
    DropStream();
    if (!CreateStream(format, sink)) return kWaveNoDriver;
  }
  m_pNotify = pNotify;
  m_bOpen = true;
  return kWaveNoError;
}

int CPulseWaveOutDevice::Write(const std::uint8_t* pData, std::uint32_t nBytes) {
  if (!m_bOpen) return kWaveInvalidHandle;
  CLoopLock lock(m_pLoop);
  if (!m_pOutput) return kWaveNoDriver;
  return m_pOutput->Write(pData, nBytes, NowUs());
}

int CPulseWaveOutDevice::Reset() {
  if (!m_bOpen) return kWaveInvalidHandle;
  CLoopLock lock(m_pLoop);
  if (m_pOutput) m_pOutput->Reset(NowUs());
  return kWaveNoError;
}

int CPulseWaveOutDevice::Close() {
  if (!m_bOpen) return kWaveInvalidHandle;
  CLoopLock lock(m_pLoop);
  if (m_pOutput && m_pOutput->IsOwed()) return kWaveStillPlaying;
  // A buffer handed ahead stays: the next phrase opens and takes it up.
  m_bOpen = false;
  return kWaveNoError;
}

bool CPulseWaveOutDevice::GetClock(WaveClock* pClock) {
  if (!m_pLoop) return false;
  CLoopLock lock(m_pLoop);
  return m_pOutput && m_pOutput->GetClock(NowUs(), pClock);
}

void CPulseWaveOutDevice::WantClockAt(std::int64_t nBufferUs) {
  if (!m_pLoop) return;
  CLoopLock lock(m_pLoop);
  if (m_pOutput) m_pOutput->WantClockAt(nBufferUs, NowUs());
}

void CPulseWaveOutDevice::DropPrefetch() {
  if (!m_pLoop) return;
  CLoopLock lock(m_pLoop);
  if (m_pOutput) m_pOutput->DropPrefetch();
}

bool CPulseWaveOutDevice::Prefetch(const std::uint8_t* pData, std::uint32_t nBytes) {
  if (!m_bOpen) return false;
  CLoopLock lock(m_pLoop);
  return m_pOutput && m_pOutput->Prefetch(pData, nBytes);
}

}  // namespace solvari

// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/pulse/pulse_wave_device.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/gapless_output.h"
#include "audio/pulse/pulse_connection.h"

namespace solvari {
namespace {

// The server holds this much of the sound ahead of what is heard; the rest
// waits in the device. Enough for the sound thread to be starved for most of
// a second on a loaded machine without a gap (a reset flushes it anyway).
constexpr std::int64_t kServerBufferUs = 1'000'000;
// The server asks for more sound once this much has room (each request
// wakes the sound thread). Its own choice is 20 ms, which a sink with pages
// of its own turns into a request per page. The server gives a sink the
// length of the buffer less twice this as its latency: the buffer is made
// longer by as much, so that the sink's latency is what it was.
constexpr std::int64_t kServerRequestUs = 250'000;
constexpr std::int64_t kServerDefaultRequestUs = 20'000;
// More than this ahead of the latency the stream was given is silence the
// sink played before the stream was there.
constexpr std::int64_t kAheadSlackUs = 50'000;
// A check asked for this close to the one already set is the same check.
constexpr std::int64_t kSameCheckUs = 500;

std::int64_t NowUs() { return CPulseConnection::NowUs(); }

bool SameFormat(const WaveFormat& a, const WaveFormat& b) {
  return a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
         a.wBitsPerSample == b.wBitsPerSample;
}

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
    if (!m_bStarted) TakeBackSilenceAhead(*pInfo);
    pOutput->OnReport(report);
  }
  // A sink that wakes for a new stream (a null sink resumed from suspend
  // does) may play ahead, before the stream is there, as much silence as its
  // longest latency, and takes back no more than the stream's own latency
  // when the stream's sound comes: the stream's first sample would be heard
  // only when the rest has played (a second and more on a null sink). Before
  // the stream has started, an uncork makes the sink take back what it
  // holds, so that the sound starts at once; nothing has played yet to be
  // lost.
  void TakeBackSilenceAhead(const pa_timing_info& info) {
    if (info.playing || info.read_index > 0) {
      m_bStarted = true;
      return;
    }
    if (info.write_index <= 0 ||
        info.sink_usec <= info.configured_sink_usec + static_cast<pa_usec_t>(kAheadSlackUs))
      return;
    m_bStarted = true;  // once: the sink then holds what the stream asked for
    for (int bCork : {1, 0}) {
      if (pa_operation* pOp = pa_stream_cork(m_pStream, bCork, nullptr, nullptr))
        pa_operation_unref(pOp);
    }
  }

  pa_stream* m_pStream;
  CPulseWaveOutDevice* m_pOwner;
  bool m_bIndexWanted = false;  // a flush waits for the new write position
  bool m_bStarted = false;      // the stream has played, or the sink was set right
};

CPulseWaveOutDevice::CPulseWaveOutDevice(IEventPoster* pPoster, int nOutputDelayMs)
    : m_pPoster(pPoster), m_nDelayUs(static_cast<std::int64_t>(nOutputDelayMs) * 1000) {
  CPulseConnection::Hooks hooks;
  hooks.dropping = [this] { DropStream(); };
  hooks.lost = [this] { GiveUp(); };
  m_pConnection = std::make_unique<CPulseConnection>("music", true, std::move(hooks));
}

CPulseWaveOutDevice::~CPulseWaveOutDevice() {
  m_pAlive.reset();  // whatever is still posted is dropped
  m_pConnection->Close();
}

bool CPulseWaveOutDevice::IsUsable() const { return m_pConnection->IsUsable(); }

// ---- the stream -----------------------------------------------------------------

void CPulseWaveOutDevice::OnStreamState(pa_stream* pStream, void* pThis) {
  auto* self = static_cast<CPulseWaveOutDevice*>(pThis);
  const pa_stream_state_t state = pa_stream_get_state(pStream);
  if (state == PA_STREAM_READY && self->m_pOutput) self->m_pOutput->OnWritable(NowUs());
  if (!PA_STREAM_IS_GOOD(state)) self->GiveUp();
  self->m_pConnection->Signal();
}

void CPulseWaveOutDevice::OnStreamWrite(pa_stream*, std::size_t, void* pThis) {
  auto* self = static_cast<CPulseWaveOutDevice*>(pThis);
  if (self->m_pOutput) self->m_pOutput->OnWritable(NowUs());
}

void CPulseWaveOutDevice::OnCheckTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                                       void* pThis) {
  auto* self = static_cast<CPulseWaveOutDevice*>(pThis);
  self->m_nCheckAtUs = -1;  // a timer that has fired is set no more
  if (self->m_pOutput) self->m_pOutput->OnCheck(NowUs());
}

bool CPulseWaveOutDevice::CreateStream(const WaveFormat& format, const std::string& sink) {
  pa_sample_spec sampleFormat;
  if (!PulseSampleSpec(format, &sampleFormat)) return false;
  pa_stream* pStream = pa_stream_new(m_pConnection->Context(), "Solvari", &sampleFormat, nullptr);
  if (!pStream) return false;
  const std::uint32_t nFrame = static_cast<std::uint32_t>(pa_frame_size(&sampleFormat));
  const std::uint32_t nBytesPerSec = static_cast<std::uint32_t>(pa_bytes_per_second(&sampleFormat));
  pa_buffer_attr attr;
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(
      kServerBufferUs + 2 * (kServerRequestUs - kServerDefaultRequestUs), &sampleFormat));
  // A stream that runs dry waits for new sound instead of skipping ahead, so
  // nothing written late is lost; a few milliseconds start it again.
  attr.prebuf = std::max<std::uint32_t>(
      nFrame, static_cast<std::uint32_t>(pa_usec_to_bytes(5'000, &sampleFormat)) / nFrame * nFrame);
  attr.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(kServerRequestUs, &sampleFormat));
  attr.fragsize = static_cast<std::uint32_t>(-1);

  m_pStream = pStream;
  m_pPcm = std::make_unique<CStream>(pStream, this);
  CGaplessOutput::Hooks hooks;
  hooks.postDone = [this] { PostDone(); };
  hooks.scheduleCheck = [this](std::int64_t nAtUs) {
    // Setting the timer wakes the sound thread (from the interface thread, a
    // wake-up of its own): one already set for the same moment stays, and
    // from the interface thread one set for earlier too, as it sets the
    // next one itself when it runs. A moment already past is looked at now.
    const std::int64_t nAt = std::max(nAtUs, NowUs());
    const bool bSoundThread = pa_threaded_mainloop_in_thread(m_pConnection->Loop()) != 0;
    if (m_nCheckAtUs >= 0 &&
        (bSoundThread ? std::abs(nAt - m_nCheckAtUs) : m_nCheckAtUs - nAt) <= kSameCheckUs)
      return;
    m_nCheckAtUs = nAt;
    pa_context_rttime_restart(m_pConnection->Context(), m_pCheck, static_cast<pa_usec_t>(nAt));
  };
  // A server that stopped answering is not asked again on this connection.
  hooks.gone = [this] {
    m_bBroken = true;
    m_pConnection->MarkSuspect();
  };
  m_pOutput = std::make_unique<CGaplessOutput>(m_pPcm.get(), nBytesPerSec, nFrame, m_nDelayUs,
                                               std::move(hooks));
  if (!m_pCheck)
    m_pCheck =
        pa_context_rttime_new(m_pConnection->Context(), PA_USEC_INVALID, &OnCheckTimer, this);

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
    m_pConnection->Api()->time_free(m_pCheck);
    m_pCheck = nullptr;
    m_nCheckAtUs = -1;
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
  if (!PulseSampleSpec(format, &sampleFormat)) return kWaveBadFormat;
  CPulseConnection::CLock lock(*m_pConnection);
  if (!m_pConnection->Ready()) return kWaveNoDriver;
  std::string sink;
  if (const int r = m_pConnection->FindDevice(false, nDevice, &sink)) return r;
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
  CPulseConnection::CLock lock(*m_pConnection);
  if (!m_pOutput) return kWaveNoDriver;
  return m_pOutput->Write(pData, nBytes, NowUs());
}

int CPulseWaveOutDevice::Reset() {
  if (!m_bOpen) return kWaveInvalidHandle;
  CPulseConnection::CLock lock(*m_pConnection);
  if (m_pOutput) m_pOutput->Reset(NowUs());
  return kWaveNoError;
}

int CPulseWaveOutDevice::Close() {
  if (!m_bOpen) return kWaveInvalidHandle;
  CPulseConnection::CLock lock(*m_pConnection);
  if (m_pOutput && m_pOutput->IsOwed()) return kWaveStillPlaying;
  // A buffer handed ahead stays: the next phrase opens and takes it up.
  m_bOpen = false;
  return kWaveNoError;
}

bool CPulseWaveOutDevice::GetClock(WaveClock* pClock) {
  CPulseConnection::CLock lock(*m_pConnection);
  return m_pOutput && m_pOutput->GetClock(NowUs(), pClock);
}

void CPulseWaveOutDevice::WantClockAt(std::int64_t nBufferUs) {
  CPulseConnection::CLock lock(*m_pConnection);
  if (m_pOutput) m_pOutput->WantClockAt(nBufferUs, NowUs());
}

void CPulseWaveOutDevice::DropPrefetch() {
  CPulseConnection::CLock lock(*m_pConnection);
  if (m_pOutput) m_pOutput->DropPrefetch();
}

bool CPulseWaveOutDevice::Prefetch(const std::uint8_t* pData, std::uint32_t nBytes) {
  if (!m_bOpen) return false;
  CPulseConnection::CLock lock(*m_pConnection);
  return m_pOutput && m_pOutput->Prefetch(pData, nBytes);
}

}  // namespace solvari

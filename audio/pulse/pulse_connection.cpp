// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/pulse/pulse_connection.h"

#include <pulse/pulseaudio.h>

#include <vector>

#include "audio/wave_device.h"

namespace solvari {

bool PulseSampleSpec(const WaveFormat& format, pa_sample_spec* pSpec) {
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

std::int64_t CPulseConnection::NowUs() { return static_cast<std::int64_t>(pa_rtclock_now()); }

CPulseConnection::CPulseConnection(const char* pszRole, bool bConnectNow, Hooks hooks)
    : m_strRole(pszRole ? pszRole : ""), m_hooks(std::move(hooks)) {
  m_pLoop = pa_threaded_mainloop_new();
  if (!m_pLoop) return;
  if (pa_threaded_mainloop_start(m_pLoop) < 0) {
    pa_threaded_mainloop_free(m_pLoop);
    m_pLoop = nullptr;
    return;
  }
  if (bConnectNow) {
    CLock lock(*this);
    m_pConnectSoon = Api()->defer_new(Api(), &OnConnectSoon, this);
  }
}

void CPulseConnection::OnConnectSoon(pa_mainloop_api* pApi, pa_defer_event* pEvent, void* pThis) {
  auto* self = static_cast<CPulseConnection*>(pThis);
  pApi->defer_free(pEvent);
  self->m_pConnectSoon = nullptr;
  if (!self->m_pContext) self->Connect();  // a Ready may have come first
}

// Nothing here waits for the server: the context is dropped where it
// stands (the socket closes, a stopped server finds it closed when it wakes)
// and the library's thread, which never blocks on the server either, ends.
void CPulseConnection::Close() {
  if (!m_pLoop) return;
  {
    CLock lock(*this);
    if (m_pConnectSoon) {
      Api()->defer_free(m_pConnectSoon);
      m_pConnectSoon = nullptr;
    }
    if (m_pContext && m_hooks.dropping) m_hooks.dropping();
    Disconnect();
  }
  pa_threaded_mainloop_stop(m_pLoop);
  pa_threaded_mainloop_free(m_pLoop);
  m_pLoop = nullptr;
}

pa_mainloop_api* CPulseConnection::Api() const {
  return m_pLoop ? pa_threaded_mainloop_get_api(m_pLoop) : nullptr;
}

CPulseConnection::CLock::CLock(const CPulseConnection& connection) : m_pLoop(connection.m_pLoop) {
  if (m_pLoop) pa_threaded_mainloop_lock(m_pLoop);
}

CPulseConnection::CLock::~CLock() {
  if (m_pLoop) pa_threaded_mainloop_unlock(m_pLoop);
}

void CPulseConnection::OnContextState(pa_context* pContext, void* pThis) {
  auto* self = static_cast<CPulseConnection*>(pThis);
  if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(pContext)) && self->m_hooks.lost)
    self->m_hooks.lost();
  self->Signal();
}

void CPulseConnection::Signal() {
  if (m_pLoop) pa_threaded_mainloop_signal(m_pLoop, 0);
}

void CPulseConnection::Disconnect() {
  if (!m_pContext) return;
  pa_context_set_state_callback(m_pContext, nullptr, nullptr);
  pa_context_disconnect(m_pContext);
  pa_context_unref(m_pContext);
  m_pContext = nullptr;
}

bool CPulseConnection::Connect() {
  pa_proplist* pProps = pa_proplist_new();
  pa_proplist_sets(pProps, PA_PROP_APPLICATION_NAME, "Solvari");
  if (!m_strRole.empty()) pa_proplist_sets(pProps, PA_PROP_MEDIA_ROLE, m_strRole.c_str());
  m_pContext = pa_context_new_with_proplist(Api(), "Solvari", pProps);
  pa_proplist_free(pProps);
  if (!m_pContext) return false;
  pa_context_set_state_callback(m_pContext, &OnContextState, this);
  if (pa_context_connect(m_pContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    Disconnect();
    return false;
  }
  return true;
}

bool CPulseConnection::Ready() {
  if (!m_pLoop) return false;
  if (!m_pContext || m_bSuspect || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_pContext))) {
    if (m_pContext && m_hooks.dropping) m_hooks.dropping();
    Disconnect();
    m_bSuspect = false;
    if (!Connect()) return false;
  }
  // A connection still being made gets a moment; a server that is not
  // there refuses at once.
  WaitFor(
      [this] {
        const pa_context_state_t s = pa_context_get_state(m_pContext);
        return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
      },
      kWaitUs);
  return pa_context_get_state(m_pContext) == PA_CONTEXT_READY;
}

bool CPulseConnection::WaitFor(const std::function<bool()>& done, std::int64_t nTimeoutUs) {
  if (!m_pContext) return done();
  const std::int64_t nDeadline = NowUs() + nTimeoutUs;
  pa_time_event* pWake = pa_context_rttime_new(
      m_pContext, static_cast<pa_usec_t>(nDeadline),
      [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* pLoop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(pLoop), 0);
      },
      m_pLoop);
  if (!pWake) return done();  // nothing would wake the wait
  while (!done() && NowUs() < nDeadline) pa_threaded_mainloop_wait(m_pLoop);
  Api()->time_free(pWake);
  return done();
}

int CPulseConnection::FindDevice(bool bSource, int nDevice, std::string* pName) {
  pName->clear();
  if (nDevice == -1) return kWaveNoError;
  if (nDevice < 0) return kWaveBadDeviceId;
  if (!m_pContext) return kWaveNoDriver;
  struct Query {
    std::vector<std::string> names;
    bool bDone = false;
    CPulseConnection* pConnection;
    void Add(const char* pszName, bool bMonitor, int eol) {
      if (eol != 0) {
        bDone = true;
        pConnection->Signal();
      } else if (pszName && !bMonitor) {
        names.emplace_back(pszName);
      }
    }
  } query{{}, false, this};
  pa_operation* pOp =
      bSource ? pa_context_get_source_info_list(
                    m_pContext,
                    [](pa_context*, const pa_source_info* pInfo, int eol, void* pQuery) {
                      static_cast<Query*>(pQuery)->Add(
                          pInfo ? pInfo->name : nullptr,
                          pInfo && pInfo->monitor_of_sink != PA_INVALID_INDEX, eol);
                    },
                    &query)
              : pa_context_get_sink_info_list(
                    m_pContext,
                    [](pa_context*, const pa_sink_info* pInfo, int eol, void* pQuery) {
                      static_cast<Query*>(pQuery)->Add(pInfo ? pInfo->name : nullptr, false, eol);
                    },
                    &query);
  if (!pOp) return kWaveNoDriver;
  WaitFor([&] { return query.bDone || pa_operation_get_state(pOp) != PA_OPERATION_RUNNING; },
          kWaitUs);
  // An answer still owed goes nowhere: the query dies with this call.
  if (!query.bDone) pa_operation_cancel(pOp);
  pa_operation_unref(pOp);
  if (!query.bDone || query.names.empty()) return kWaveNoDriver;
  if (static_cast<std::size_t>(nDevice) >= query.names.size()) return kWaveBadDeviceId;
  *pName = query.names[static_cast<std::size_t>(nDevice)];
  return kWaveNoError;
}

}  // namespace solvari

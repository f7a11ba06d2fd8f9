#include "app/sound_devices.h"

#include "audio/qt/qt_wave_device.h"
#if defined(SOLVARI_HAVE_PULSE)
#include "audio/pulse/pulse_wave_device.h"
#endif

namespace solvari::app {

std::unique_ptr<IWaveOutDevice> MakeOutputDevice(IEventPoster* pPoster, int nOutputDelayMs) {
#if defined(SOLVARI_HAVE_PULSE)
  auto pPulse = std::make_unique<CPulseWaveOutDevice>(pPoster, nOutputDelayMs);
  if (pPulse->IsUsable()) return pPulse;
#else
  (void)pPoster;
  (void)nOutputDelayMs;
#endif
  return std::make_unique<CQtWaveOutDevice>();
}

std::unique_ptr<IWaveInDevice> MakeInputDevice(IEventPoster*) {
  return std::make_unique<CQtWaveInDevice>();
}

}  // namespace solvari::app

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/sound_devices.h"

#include "audio/pulse/pulse_wave_device.h"
#include "audio/pulse/pulse_wave_in_device.h"

namespace solvari::app {

std::unique_ptr<IWaveOutDevice> MakeOutputDevice(IEventPoster* pPoster, int nOutputDelayMs) {
  return std::make_unique<CPulseWaveOutDevice>(pPoster, nOutputDelayMs);
}

std::unique_ptr<IWaveInDevice> MakeInputDevice(IEventPoster* pPoster) {
  return std::make_unique<CPulseWaveInDevice>(pPoster);
}

}  // namespace solvari::app

// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own sound devices. Tests give the frame fakes instead.
#pragma once

#include <memory>

#include "audio/wave_device.h"

namespace solvari::app {

// The output over PulseAudio (or PipeWire's PulseAudio service);
// nOutputDelayMs as "WAV Config" / "OutputDelayMs".
std::unique_ptr<IWaveOutDevice> MakeOutputDevice(IEventPoster* pPoster, int nOutputDelayMs);
// The input the recording window records from, over PulseAudio too.
std::unique_ptr<IWaveInDevice> MakeInputDevice(IEventPoster* pPoster);

}  // namespace solvari::app

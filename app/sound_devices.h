// The program's own sound devices. Tests give the frame fakes instead.
#pragma once

#include <memory>

#include "audio/wave_device.h"

namespace solvari::app {

// The output: over PulseAudio where the program was built with it, else Qt
// Multimedia. nOutputDelayMs as "WAV Config" / "OutputDelayMs".
std::unique_ptr<IWaveOutDevice> MakeOutputDevice(IEventPoster* pPoster, int nOutputDelayMs);
// The input the recording window records from.
std::unique_ptr<IWaveInDevice> MakeInputDevice(IEventPoster* pPoster);

}  // namespace solvari::app

#pragma once
// The capture device and its inputs at start-up: the device named, the
// engine opened, the recording inputs switched on through the mixer.
#include <cstdint>
#include <string>

#include "platform/input_mixer.h"
#include "record/capture_engine.h"

namespace orv {

struct InputDeviceState {
    std::string KnownDeviceName;  // the device the engine was last set up for
    std::string SourceText;       // caption and status text
    int32_t InputIndex = 0;       // mixer input in use
};

// The first input that is not switched off. Stops at the first input the
// mixer does not know, and then falls back to input 0.
int32_t FindFirstActiveInput(platform::InputMixer& mixer);

void InitCaptureDevice(CaptureEngine& engine, platform::InputMixer& mixer, InputDeviceState& input);

}  // namespace orv

#include "record/input_device.h"

namespace orv {

using namespace platform;

int32_t FindFirstActiveInput(InputMixer& mixer) {
    for (int32_t n = 0; n < 64; ++n) {
        const uint32_t state = mixer.recordGetInput(n);
        if (state == INPUT_INVALID) return 0;
        if (!(state & INPUT_OFF)) return n;
    }
    return 0;
}

void InitCaptureDevice(CaptureEngine& engine, InputMixer& mixer, InputDeviceState& input) {
    CaptureState& s = engine.State();
    engine.Device().getDevCaps(0, s.DeviceCaps[0]);
    s.CurrentDeviceName = CapsName(s.DeviceCaps[0]);
    input.KnownDeviceName = s.CurrentDeviceName;
    input.SourceText = s.CurrentDeviceName;
    engine.OpenCapture();
    mixer.recordInit(0);
    input.InputIndex = FindFirstActiveInput(mixer);
    mixer.recordGetInput(input.InputIndex);
    mixer.recordSetInput(-1, INPUT_ON);
    mixer.recordSetInput(0, INPUT_ON);
    mixer.recordSetInput(input.InputIndex, INPUT_ON);
    engine.ListCaptureDevices();
}

}  // namespace orv

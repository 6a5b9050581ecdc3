#include "record/input_device.h"

#include <algorithm>
#include <cmath>

#include "record/processing.h"

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

void SetUpInputs(InputMixer& mixer, InputDeviceState& input, const std::string& source) {
    mixer.recordInit(0);
    input.InputIndex = FindFirstActiveInput(mixer);
    const uint32_t state = mixer.recordGetInput(input.InputIndex);
    input.VolumeKnown = state != INPUT_INVALID;
    if (input.VolumeKnown) input.VolumeState = state;
    input.MixerSource = source;
    input.MixerReady = true;
}

std::string RecordedSourceName(CaptureEngine& engine) {
    const CaptureState& s = engine.State();
    std::string pinned = s.CaptureOpen ? engine.Device().recordedSourceName() : std::string();
    return pinned.empty() ? s.CurrentDeviceName : pinned;
}

void FreeInputs(InputMixer& mixer, InputDeviceState& input) {
    if (!input.MixerReady) return;
    mixer.recordFree();
    input.MixerReady = false;
    input.VolumeKnown = false;
    input.SwitchedOnForRecording = false;  // nothing left to switch off
    input.MixerSource.clear();
}

void InitCaptureDevice(CaptureEngine& engine, InputMixer& mixer, InputDeviceState& input) {
    CaptureState& s = engine.State();
    engine.Device().getDevCaps(0, s.DeviceCaps[0]);
    s.CurrentDeviceName = CapsName(s.DeviceCaps[0]);
    input.KnownDeviceName = s.CurrentDeviceName;
    input.DeviceChanged = false;
    engine.OpenCapture();
    input.SourceText = RecordedSourceName(engine);
    FreeInputs(mixer, input);
    SetUpInputs(mixer, input, input.SourceText);
    engine.ListCaptureDevices();
}

int KnobLeftForVolume(uint32_t state) {
    const float v = float(state & 0xFFFF);
    const int left = int(RoundEven(double(v / VolumePerPixel))) + KnobMinLeft;
    return std::clamp(left, KnobMinLeft, KnobMaxLeft);
}

int DraggedKnobLeft(int left, int dx) {
    const int moved = left + dx;
    if (moved <= KnobMinLeft) return KnobMinLeft;
    if (moved >= KnobMaxLeft) return KnobMaxLeft;
    return moved;
}

uint32_t VolumeForKnobLeft(int left) {
    return uint32_t(RoundEven(double(float(left - KnobMinLeft) * VolumePerPixel)));
}

}  // namespace orv

#pragma once
// The capture device and its inputs: the device named, the engine opened,
// the recording inputs switched on through the mixer, and the volume knob's
// place on its track.
#include <cstdint>
#include <string>

#include "platform/input_mixer.h"
#include "record/capture_engine.h"

namespace orv {

struct InputDeviceState {
    std::string KnownDeviceName;  // the device the engine was last set up for
    std::string SourceText;       // caption and status text
    int32_t InputIndex = 0;       // mixer input in use: read for the knob, set by its drag
    bool MixerReady = false;      // the mixer's recording side is set up
    uint32_t VolumeState = 0;     // state word of InputIndex, read every status tick
    bool VolumeKnown = false;     // false while no device answers: the knob stays where it is
    // Device 0 is no longer the device the engine was set up for; the shell
    // restarts the program once nothing is in the way.
    bool DeviceChanged = false;
    // The source the mixer's inputs belong to: the one the open device records.
    std::string MixerSource;
    // The program switched the input on for the running recording (the user
    // agreed); it is switched off again when the recording ends.
    bool SwitchedOnForRecording = false;
};

// The first input that is not switched off. Stops at the first input the
// mixer does not know, and then falls back to input 0.
int32_t FindFirstActiveInput(platform::InputMixer& mixer);

// Names device 0, opens the engine and sets up the inputs.
void InitCaptureDevice(CaptureEngine& engine, platform::InputMixer& mixer, InputDeviceState& input);

// The mixer's recording side for the source named: the first active input
// found and its state read. No input is switched on or off: a source's mute
// is the user's, for every program on the desktop.
void SetUpInputs(platform::InputMixer& mixer, InputDeviceState& input, const std::string& source);
// The name of the source the open device records: its own when it stays on
// one, else device 0's.
std::string RecordedSourceName(CaptureEngine& engine);
void FreeInputs(platform::InputMixer& mixer, InputDeviceState& input);

// The volume knob: 11 pixels wide, its left edge on 18 … 124 of the window.
inline constexpr int KnobWidth = 11;
inline constexpr int KnobMinLeft = 18;
inline constexpr int KnobMaxLeft = 135 - KnobWidth;
// Volume per pixel of knob travel, in single precision as the track was laid out.
inline constexpr float VolumePerPixel = 100.0f / float(KnobMaxLeft - KnobMinLeft + 1);

// The knob's left edge for a state word (its low 16 bits are the volume).
int KnobLeftForVolume(uint32_t state);
// The knob's left edge after a drag of dx pixels from left, kept on the track.
int DraggedKnobLeft(int left, int dx);
// The volume a knob left edge stands for, 0 … 99.
uint32_t VolumeForKnobLeft(int left);

}  // namespace orv

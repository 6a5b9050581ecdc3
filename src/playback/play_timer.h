#pragma once
// The window-free part of the editor's play timer and of the playback volume
// knob: the window asks what to show and only draws it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "playback/playback.h"

namespace orv {

// What the play timer shows after one tick.
struct PlayTimerView {
    int16_t MeterLeft = 0;   // levels for DrawPlaybackMeter, 0 … 32767
    int16_t MeterRight = 0;
    std::optional<uint32_t> Volume;  // place the knob from it when set
    std::optional<int> Progress;     // the editor progress bar's position when set
    bool ShowPlayMarks = false;      // ShapeSPlay and ImagePlay visible
    uint32_t PlayPos = 1;            // where to place them
};

// Steps of one tick except the drawing and UpdateSelectionStatus, which the
// window does between PollPlayback and the meter: polls playback, lets the
// meter fall when nothing plays, follows the volume while the system's
// volume control is open, and copies ProgressPercent when ProgressShown.
PlayTimerView PlayTimerTick(PlaybackControl& playback, bool volumeControlOpen, bool progressShown,
                            float progressPercent);

// Left of ImagePlay on the whole-recording scale under the scroll bar:
// round(PlayPos × f) + L − 8.
int PlayMarkLeft(uint32_t playPos, float overviewScale, int viewLeft);
// Left of ShapeSPlay over the view: L + round((PlayPos − ViewFirstBlock) ÷ z)
// when strictly between L and R, else −1.
int PlayCursorLeft(uint32_t playPos, uint32_t viewFirstBlock, uint32_t blocksPerColumn, int viewLeft,
                   int viewRight);

// The volume knob ImageHandle sliding on its track ImageVolume.
struct VolumeKnob {
    int TrackLeft = 0;
    int TrackWidth = 105;
    int KnobWidth = 9;

    // Volume units per pixel: 65535 ÷ (track width − knob width), single precision.
    float VolumeScale() const;
    // Knob left for a volume, from the right channel's word.
    int LeftForVolume(uint32_t volume) const;
    // The volume for a knob dragged to newLeft (same value in both words),
    // or nothing when newLeft lies off the track (the move is ignored).
    std::optional<uint32_t> VolumeForLeft(int newLeft) const;
};

// Opens the system's sound settings at the playback devices: pavucontrol on
// its Output Devices tab, else alsamixer in a terminal. Launcher is anything
// with HasProgram(name) and Start(program, args), such as the shell's launcher
// seam. Returns the text to show when neither is installed, else an empty text.
template <class Launcher>
std::string OpenPlaybackSettings(Launcher& launcher) {
    if (launcher.HasProgram("pavucontrol")) {
        launcher.Start("pavucontrol", std::vector<std::string>{"--tab=3"});
        return {};
    }
    if (launcher.HasProgram("alsamixer") && launcher.HasProgram("x-terminal-emulator")) {
        launcher.Start("x-terminal-emulator", std::vector<std::string>{"-e", "alsamixer", "--view=playback"});
        return {};
    }
    return "To choose the playback device, install pavucontrol\n(sudo apt-get install pavucontrol).";
}

// The program name whose running process stands for the open "Volume Control" window.
inline constexpr const char* VolumeControlProgram = "pavucontrol";

}  // namespace orv

#pragma once
// The recording engine and its control with a hand-fed capture device, driven
// as the main window's timers drive them, recording into a chosen folder.
#include <gtest/gtest.h>

#include <string>

#include "reliability/counting.h"
#include "record/recording_control.h"
#include "support/fake_system.h"
#include "support/fake_wave_in.h"
#include "support/scripted_recording_view.h"

namespace orv::test {

class RecorderRig {
public:
    RecorderRig(const std::string& folder, platform::FreeSpace& space)
        : engine(cap, buffers, processing, device, hooks),
          control(state, engine, hooks, processing, view, clock, space, folder) {
        AllocateCaptureBuffers(buffers);
        device.getDevCaps(0, cap.DeviceCaps[0]);
        cap.CurrentDeviceName = CapsName(cap.DeviceCaps[0]);
        cap.RawFileName = folder + "/Orvane.raw";
        control.ApplyRecordingMode(0);
        control.TimerStatusTimer();  // monitoring
    }

    void Record(int mode = 0) {
        control.CmbBoxTimeChange(mode);
        control.BtnRecordClick();
        ASSERT_TRUE(cap.Recording);
    }

    // 100 ms of sound and the recording-timer tick; the status timer every second tick.
    void Run(int ticks, bool statusTimer = true) {
        for (int t = 0; t < ticks; ++t) {
            device.FeedBlocks(1);
            control.TimerRecTimer();
            if (statusTimer && ++tickCount % 2 == 0) control.TimerStatusTimer();
        }
    }

    // Ticks until the recording stopped by itself; false when it never did.
    bool RunUntilStopped(int maxTicks, bool statusTimer = true) {
        for (int t = 0; t < maxTicks && cap.Recording; ++t) Run(1, statusTimer);
        control.TimerStatusTimer();  // finishes a stop the engine made
        return !cap.Recording;
    }

    CountCheck Counting() const {
        return CheckCounting(cap.RawFileName, TimeOrderedPieces(cap.TotalBlocks, cap.LastWrittenBlock,
                                                                cap.RecordedLoopMode));
    }

    FakeWaveIn device;
    RecordBuffers buffers;
    ProcessingState processing;
    CaptureState cap;
    CaptureHooks hooks;
    CaptureEngine engine;
    RecordingControlState state;
    ScriptedRecordingView view;
    FixedClock clock;
    RecordingControl control;
    int tickCount = 0;
};

}  // namespace orv::test

#pragma once
// The capture engine and the recording control without a window, on a real
// device, wired as the main window wires them: what the benches drive with
// the window's two timers. Messages go to stderr and are counted.
#include <cstdio>
#include <string>

#include "platform/system.h"
#include "platform/wave_in.h"
#include "record/recording_control.h"

namespace orv::bench {

class BenchView final : public RecordingView {
public:
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        ++messages;
    }
    void SetRecordedTime(const std::string&) override {}
    void SetStatusPanel(int, const std::string&) override {}
    void SetCaption(const std::string&) override {}
    void SetModeListEnabled(bool) override {}
    void SetTaskbarTitle(const std::string&) override {}
    void SetTaskbarIcon(int) override {}
    bool Minimized() override { return false; }
    int messages = 0;
};

struct HeadlessRecorder {
    // The raw file goes to folder; device 0's name is read when it answers.
    HeadlessRecorder(platform::WaveIn& device, const std::string& folder)
        : engine(cap, buffers, processing, device, hooks),
          control(state, engine, hooks, processing, view, clock, space, folder) {
        AllocateCaptureBuffers(buffers);
        cap.RawFileName = folder + "/Orvane.raw";
        if (device.getNumDevs() > 0 && device.getDevCaps(0, cap.DeviceCaps[0]) == platform::MMSYSERR_NOERROR)
            cap.CurrentDeviceName = CapsName(cap.DeviceCaps[0]);
    }
    HeadlessRecorder(const HeadlessRecorder&) = delete;
    HeadlessRecorder& operator=(const HeadlessRecorder&) = delete;

    RecordBuffers buffers;
    ProcessingState processing;
    CaptureState cap;
    CaptureHooks hooks;
    CaptureEngine engine;
    RecordingControlState state;
    BenchView view;
    platform::SystemClock clock;
    platform::StatvfsFreeSpace space;
    RecordingControl control;
};

}  // namespace orv::bench

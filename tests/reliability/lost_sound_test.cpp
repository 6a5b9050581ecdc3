// Sound the device could not deliver leaves a hole in the recording: the
// user hears of it at the stop, how many gaps and how long, and a recording
// without holes says nothing more than before.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "reliability/recorder_rig.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

struct LostCase {
    const char* name;
    std::function<void(test::RecorderRig&)> fault;  // runs a few seconds into the recording
    bool stopByFreeSpace;
    std::string expected;  // the stop's message; empty: none
};

void PrintTo(const LostCase& c, std::ostream* o) { *o << c.name; }

class LostSound : public ::testing::TestWithParam<LostCase> {};

TEST_P(LostSound, IsToldAtTheStop) {
    const LostCase& c = GetParam();
    test::TempDir dir;
    test::GivenFreeSpace space;
    test::RecorderRig rig(dir.path(), space);
    rig.Record();
    rig.Run(30);
    c.fault(rig);
    rig.Run(30);
    if (c.stopByFreeSpace) {
        space.bytes = 10 * BytesPerSecond;
        rig.Run(2);
    } else {
        rig.control.BtnStopClick();
    }
    ASSERT_FALSE(rig.cap.Recording);
    if (c.expected.empty()) {
        EXPECT_TRUE(rig.view.messages.empty()) << rig.view.messages[0];
    } else {
        ASSERT_EQ(rig.view.messages.size(), 1u);
        EXPECT_EQ(rig.view.messages[0], c.expected);
    }
    // The next recording starts without the old holes.
    rig.view.messages.clear();
    space.bytes = 500'000'000'000;
    rig.Record();
    rig.Run(25);
    rig.control.BtnStopClick();
    EXPECT_TRUE(rig.view.messages.empty());
}

const std::string Holes = "\nThe recording has holes at those places.";

INSTANTIATE_TEST_SUITE_P(
    Reliability, LostSound,
    ::testing::Values(
        LostCase{"NothingLost", [](test::RecorderRig&) {}, false, ""},
        // Nobody polled for a while: the queued blocks filled, then a second found no buffer.
        LostCase{"NoBufferForOneSecond",
                 [](test::RecorderRig& r) {
                     r.device.FeedBlocks(r.device.QueuedCount() + 10);
                     r.control.TimerRecTimer();
                 },
                 false,
                 "Sound was lost during this recording: 1 gap, 1000 ms in all." + Holes},
        LostCase{"TwoOverruns",
                 [](test::RecorderRig& r) {
                     r.device.Overrun(2205);
                     r.Run(5);
                     r.device.Overrun(2205);
                 },
                 false, "Sound was lost during this recording: 2 gaps, 100 ms in all." + Holes},
        LostCase{"OverrunThenDiskLow", [](test::RecorderRig& r) { r.device.Overrun(441); }, true,
                 "There is no space on drive /srv/audio\n\nSound was lost during this recording: 1 gap, 10 ms in "
                 "all." + Holes}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orv

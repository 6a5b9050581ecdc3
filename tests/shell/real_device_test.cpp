// Record, about five seconds of the counting signal, Stop: through the main
// window's own handlers, on the real ALSA "default" device.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/raw_file.h"
#include "shell/form_main.h"
#include "support/fake_system.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

TEST(RealDevice, RecordAndStopThroughTheWindowKeepAnUnbrokenCount) {
    const char* server = std::getenv("ORV_SOUND_SERVER");
    if (!server || std::string(server) != "1")
        GTEST_SKIP() << "no sound server with the counting signal (the test command starts one)";
    auto device = platform::makeAlsaWaveIn("default");
    if (!device || device->getNumDevs() == 0) GTEST_SKIP() << "ALSA \"default\" cannot capture here";

    test::TempDir dir;
    test::FakeMixer mixer;
    test::FixedClock clock;
    test::GivenFreeSpace freeSpace;
    test::ScriptedDialogs dialogs;
    test::RecordingLauncher launcher;
    AppSeams seams{*device, mixer, clock, freeSpace, dialogs, launcher,
                   dir.file("orvane-recorder"), dir.path(), dir.path()};
    AppState state;
    TFormMain w(seams, state);
    ASSERT_TRUE(state.Capture.CaptureOpen) << (dialogs.messages.empty() ? "" : dialogs.messages[0]);
    // The window's own timers drive the poll, at their designed intervals.
    w.BtnRecordClick();
    ASSERT_TRUE(state.Capture.Recording);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5200) QTest::qWait(20);
    w.BtnStopClick();
    ASSERT_FALSE(state.Capture.Recording);
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages[0];

    const std::string raw = state.Shell.Files.RawFileName;
    const int64_t size = platform::fileSize(raw);
    ASSERT_GT(size, 0);
    EXPECT_EQ(size % BlockBytes, 0);
    EXPECT_EQ(state.Capture.TotalBlocks, uint64_t(size / BlockBytes));
    // About 5 s were recorded; the sound server holds back some latency at each end.
    EXPECT_GE(state.Capture.TotalBlocks, 20u);

    platform::RawFile f;
    ASSERT_TRUE(f.open(raw, platform::RawFile::Mode::Read));
    std::vector<uint8_t> data(static_cast<size_t>(size));
    ASSERT_EQ(f.readAt(0, data.data(), data.size()), data.size());
    const size_t frames = data.size() / 4;
    // The stream may begin with a little silence before the signal reaches the monitor.
    size_t first = 0;
    auto counting = [&](size_t i) {
        return uint16_t(SampleAt(&data[4 * i])) == uint16_t(~uint16_t(SampleAt(&data[4 * i + 2])));
    };
    while (first < frames && !counting(first)) ++first;
    ASSERT_LT(first, size_t(BlockFrames) * 5) << "no counting signal in the first half second";
    // Silence inside the run is the sound server's playback running dry under
    // load: the count resumes where it left off, so it hides no lost frame.
    size_t breaks = 0, serverGaps = 0;
    uint16_t expect = uint16_t(SampleAt(&data[4 * first]) + 1);
    for (size_t i = first + 1; i < frames; ++i) {
        const uint16_t l = uint16_t(SampleAt(&data[4 * i]));
        const uint16_t r = uint16_t(SampleAt(&data[4 * i + 2]));
        if (l == 0 && r == 0) {
            ++serverGaps;
            continue;
        }
        if (!counting(i) || l != expect) ++breaks;
        expect = uint16_t(l + 1);
    }
    RecordProperty("server_gap_frames", int(serverGaps));
    EXPECT_EQ(breaks, 0u) << "frames lost, repeated or reordered after frame " << first;
}

}  // namespace
}  // namespace orv

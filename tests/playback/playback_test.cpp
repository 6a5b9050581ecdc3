// Playback over a device whose buffers the test completes one by one: what
// is queued where, how the position follows the completed buffers, refills,
// the end, stop, failures, and the window-free knob and timer steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <vector>

#include "editor/editor_fixture.h"
#include "playback/play_timer.h"
#include "playback/wave_playback.h"
#include "support/fake_system.h"
#include "support/fake_wave_out.h"

namespace orv::test {
namespace {

using namespace platform;

std::vector<uint64_t> Positions(uint64_t first, uint64_t last) {
    std::vector<uint64_t> v(last - first + 1);
    std::iota(v.begin(), v.end(), first);
    return v;
}

class PlaybackTest : public EditorFixture {
protected:
    void Recording(uint32_t total) {
        WriteRecording(total);
        Open(total);
    }
    // Polls, then completes `perTick` buffers, until playback ends.
    void RunToEnd(size_t perTick) {
        for (int tick = 0; tick < 10000 && playback.State().Playing; ++tick) {
            playback.PollPlayback();
            device.Complete(perTick);
        }
        ASSERT_FALSE(playback.State().Playing) << "playback did not end";
    }
    const PlaybackState& St() { return playback.State(); }

    FakeWaveOut device;
    std::vector<std::string> messages;
    int eventRuns = 0;
    std::function<void()> onEvents;  // what a user does while events run
    BusyState busy;
    WavePlayback playback{state, recording, buffers,
                          PlaybackSeams{device, [this](const std::string& m) { messages.push_back(m); },
                                        [this] {
                                            ++eventRuns;
                                            if (onEvents) onEvents();
                                        },
                                        &busy}};
};

// One table for the ranges that play: what the first tick queues, and that
// the whole range reaches the device once, in order, from the right blocks.
struct RangeCase {
    const char* name;
    uint32_t total;
    uint32_t selStart, selEnd;
    bool all;
    uint32_t first, last;      // the range played
    uint32_t firstTickBlocks;  // queued by the first tick
};

class PlaybackRange : public PlaybackTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(PlaybackRange, QueuesTheRangeInOrderAndEndsOnItsLastBlock) {
    const RangeCase c = GetParam();
    Recording(c.total);
    playback.OpenPlayback();
    Select(c.selStart, c.selEnd);
    if (c.all) playback.StartPlayAll();
    else playback.StartPlaySelection();
    playback.PollPlayback();
    EXPECT_EQ(device.WrittenPositions(), Positions(c.first, c.first + c.firstTickBlocks - 1));
    for (uint32_t i = 0; i < c.firstTickBlocks; ++i) {
        EXPECT_EQ(playback.Header(i).user, c.first + i) << "buffer " << i;
        EXPECT_EQ(playback.Header(i).data, buffers.PlaybackMemory.data() + size_t{i} * BlockBytes);
    }
    RunToEnd(7);  // not a divisor of 20: halves come back at odd moments
    EXPECT_EQ(device.WrittenPositions(), Positions(c.first, c.last));
    for (const FakeWaveOut::Written& w : device.written)
        ASSERT_EQ(BlockNumberOf(w.data.data()), w.user) << "position " << w.user << " played the wrong block";
    EXPECT_EQ(St().PlayPos, c.last);
    EXPECT_EQ(St().PlayNext, 0u);
    EXPECT_FALSE(St().Playing);
    EXPECT_EQ(device.QueuedCount(), 0u);
    EXPECT_EQ(eventRuns, 1);
    EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, PlaybackRange,
    ::testing::Values(RangeCase{"Selection10to15", 100, 10, 15, false, 10, 15, 6},
                      RangeCase{"All", 100, 5, 9, true, 1, 100, 40},
                      RangeCase{"NothingSelectedAfterClick", 400, 300, 300, false, 300, 400, 40},
                      RangeCase{"SelectionOfTwoHalvesAndABit", 200, 50, 91, false, 50, 91, 40},
                      RangeCase{"TwoBlocks", 2, 1, 1, true, 1, 2, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// Ranges that must not play.
struct SilentCase {
    const char* name;
    uint32_t total;
    uint32_t selStart, selEnd;
    bool all;
};

class PlaybackSilent : public PlaybackTest, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(PlaybackSilent, QueuesNothing) {
    const SilentCase c = GetParam();
    if (c.total > 0) Recording(c.total);
    state.TotalBlocks = c.total;
    playback.OpenPlayback();
    Select(c.selStart, c.selEnd);
    if (c.all) playback.StartPlayAll();
    else playback.StartPlaySelection();
    for (int i = 0; i < 3; ++i) playback.PollPlayback();
    EXPECT_TRUE(device.written.empty());
    EXPECT_FALSE(PlayTimerTick(playback, false, false, 0).ShowPlayMarks);
}

INSTANTIATE_TEST_SUITE_P(Ranges, PlaybackSilent,
                         ::testing::Values(SilentCase{"OneBlockRecording", 1, 1, 1, true},
                                           SilentCase{"EmptyRecording", 0, 1, 1, true},
                                           SilentCase{"StartPastTheEnd", 100, 120, 120, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlaybackTest, AHalfIsRefilledOnlyWhenAllItsBuffersAreBack) {
    Recording(100);
    playback.OpenPlayback();
    playback.StartPlayAll();
    playback.PollPlayback();
    ASSERT_EQ(device.written.size(), 40u);

    device.Complete(19);
    playback.PollPlayback();
    EXPECT_EQ(St().PlayPos, 19u);
    EXPECT_EQ(device.written.size(), 40u) << "refilled before buffer 19 came back";

    device.Complete(1);
    playback.PollPlayback();
    ASSERT_EQ(device.written.size(), 60u);
    for (uint32_t i = 0; i < 20; ++i) EXPECT_EQ(playback.Header(i).user, 41u + i);
    const std::vector<uint64_t> all = device.WrittenPositions();
    EXPECT_EQ(std::vector<uint64_t>(all.begin() + 40, all.end()), Positions(41, 60));

    device.Complete(20);
    playback.PollPlayback();
    EXPECT_EQ(St().PlayPos, 40u);
    for (uint32_t i = 20; i < 40; ++i) EXPECT_EQ(playback.Header(i).user, 61u + (i - 20));
}

TEST_F(PlaybackTest, CrossesFromARecordingPieceIntoAnEditPieceWithoutAGap) {
    Recording(50);
    Select(11, 20);
    state.AmplifyFactor = 0.5;
    ASSERT_TRUE(ApplyEffect(state, context, "AMPLIFY").Ok);
    const auto pieces = Pieces();
    ASSERT_TRUE(std::any_of(pieces.begin(), pieces.end(), [](const Piece& p) { return !p.PieceFromRecording; }));

    playback.OpenPlayback();
    playback.StartPlayAll();
    RunToEnd(3);
    ASSERT_EQ(device.WrittenPositions(), Positions(1, 50));
    for (const FakeWaveOut::Written& w : device.written) {
        ASSERT_TRUE(ReadBlockAt(state, context, static_cast<uint32_t>(w.user)).Ok);
        ASSERT_EQ(std::memcmp(w.data.data(), buffers.CaptureMemory.data(), BlockBytes), 0)
            << "position " << w.user << " differs from the edited recording";
    }
}

TEST_F(PlaybackTest, BuffersLeftFromAnEarlierPlaybackDoNotMoveTheNewOne) {
    Recording(100);
    playback.OpenPlayback();
    playback.StartPlayAll();
    playback.PollPlayback();
    device.Complete(5);
    playback.PollPlayback();
    ASSERT_EQ(St().PlayPos, 5u);

    // The restart's reset hands back buffers holding positions up to 40.
    Select(10, 15);
    playback.StartPlaySelection();
    playback.PollPlayback();
    playback.PollPlayback();
    EXPECT_TRUE(St().Playing);
    EXPECT_EQ(St().PlayPos, 10u);
    device.Complete(2);
    playback.PollPlayback();
    EXPECT_EQ(St().PlayPos, 11u);
    EXPECT_TRUE(St().Playing);
}

TEST_F(PlaybackTest, APlayPressWhileTheEndLetsEventsRunIsNotUndone) {
    Recording(100);
    playback.OpenPlayback();
    Select(10, 11);
    playback.StartPlaySelection();
    playback.PollPlayback();
    device.Complete(2);
    bool pressed = false, busyWhilePressed = false;
    onEvents = [&] {
        if (pressed) return;
        pressed = true;
        busyWhilePressed = busy.Busy();
        playback.StartPlayAll();
    };
    playback.PollPlayback();  // the end of 10 … 11
    ASSERT_TRUE(pressed);
    EXPECT_TRUE(busyWhilePressed);
    EXPECT_TRUE(St().Playing);
    EXPECT_EQ(St().PlayFrom, 1u);
    playback.PollPlayback();
    EXPECT_EQ(device.QueuedCount(), 40u);
    device.Complete(40);
    playback.PollPlayback();
    EXPECT_EQ(St().PlayPos, 40u);
}

TEST_F(PlaybackTest, ABlockThatCannotBeReadPlaysAsSilenceNotAsAnOldBuffer) {
    Recording(50);
    platform::RawFile cut;
    ASSERT_TRUE(cut.open(dir.file("Orvane.raw"), platform::RawFile::Mode::ReadWrite));
    ASSERT_TRUE(cut.truncate(BlockOffset(46)));  // blocks 46 … 50 are gone
    cut.close();
    playback.OpenPlayback();
    playback.StartPlayAll();
    RunToEnd(10);
    ASSERT_EQ(device.WrittenPositions(), Positions(1, 50));
    for (const FakeWaveOut::Written& w : device.written) {
        if (w.user <= 45) {
            EXPECT_EQ(BlockNumberOf(w.data.data()), w.user);
        } else {
            EXPECT_TRUE(std::all_of(w.data.begin(), w.data.end(), [](uint8_t b) { return b == 0; })) << w.user;
        }
    }
}

TEST_F(PlaybackTest, StopSilencesAtOnceAndLeavesTheCursorWhereItWas) {
    Recording(100);
    playback.OpenPlayback();
    playback.StartPlayAll();
    playback.PollPlayback();
    device.Complete(12);
    playback.PollPlayback();
    const int resets = device.resetCount;
    playback.StopPlayback();
    EXPECT_FALSE(St().Playing);
    EXPECT_EQ(device.resetCount, resets + 1);
    EXPECT_EQ(device.QueuedCount(), 0u);
    EXPECT_EQ(St().PlayFrom, 12u);
    EXPECT_EQ(St().PlayEnd, 100u);
    playback.PollPlayback();
    EXPECT_EQ(device.written.size(), 40u);
    EXPECT_EQ(St().PlayPos, 12u);
}

// A click on the last block, then Play Selection: one block, heard in full.
TEST_F(PlaybackTest, AOneBlockRangeEndsOnlyOnceTheDeviceHasPlayedIt) {
    Recording(100);
    playback.OpenPlayback();
    Select(100, 100);
    playback.StartPlaySelection();
    for (int i = 0; i < 3; ++i) playback.PollPlayback();
    EXPECT_TRUE(St().Playing);
    EXPECT_EQ(device.QueuedCount(), 1u);
    EXPECT_EQ(St().BlockMaxLeft, 0);
    device.Complete(1);
    playback.PollPlayback();
    EXPECT_FALSE(St().Playing);
    EXPECT_EQ(St().PlayPos, 100u);
    EXPECT_EQ(St().BlockMaxLeft, buffers.Peaks.PeakMaxLeft[100]);  // the meter saw it too
}

TEST_F(PlaybackTest, MeterShowsThePeaksOfTheNewestBlockPlayedAndFallsWhenStopped) {
    Recording(100);
    playback.OpenPlayback();
    playback.StartPlayAll();
    PlayTimerTick(playback, false, false, 0);
    device.Complete(3);
    const PlayTimerView v = PlayTimerTick(playback, false, false, 0);
    const std::vector<uint8_t> block = MakeBlock(3, NumberedSample);
    int16_t maxL = INT16_MIN, maxR = INT16_MIN;
    for (uint32_t f = 0; f < BlockFrames; ++f) {
        maxL = std::max(maxL, SampleAt(&block[4 * f]));
        maxR = std::max(maxR, SampleAt(&block[4 * f + 2]));
    }
    EXPECT_EQ(v.PlayPos, 3u);
    EXPECT_TRUE(v.ShowPlayMarks);
    EXPECT_EQ(v.MeterLeft, maxL);
    EXPECT_EQ(v.MeterRight, maxR);

    playback.StopPlayback();
    const PlayTimerView after = PlayTimerTick(playback, false, false, 0);
    EXPECT_FALSE(after.ShowPlayMarks);
    EXPECT_EQ(after.MeterLeft, 0);
    EXPECT_EQ(after.MeterRight, 0);
}

TEST_F(PlaybackTest, TimerFollowsTheVolumeOnlyWhileTheVolumeControlIsOpenAndCopiesProgress) {
    Recording(10);
    playback.OpenPlayback();
    device.volume = 0x12345678;
    EXPECT_FALSE(PlayTimerTick(playback, false, false, 0).Volume.has_value());
    EXPECT_EQ(PlayTimerTick(playback, true, false, 0).Volume, 0x12345678u);
    EXPECT_EQ(St().PlaybackVolume, 0x12345678u);
    EXPECT_FALSE(PlayTimerTick(playback, false, false, 37.0f).Progress.has_value());
    EXPECT_EQ(PlayTimerTick(playback, false, true, 37.5f).Progress, 38);
    EXPECT_EQ(PlayTimerTick(playback, false, true, 36.5f).Progress, 36);
}

TEST_F(PlaybackTest, ADeviceThatCannotOpenShowsItsTextAndTheEditorWorksWithoutSound) {
    Recording(100);
    device.openResult = MMSYSERR_ALLOCATED;
    playback.OpenPlayback();
    ASSERT_EQ(messages, std::vector<std::string>{device.getErrorText(MMSYSERR_ALLOCATED)});
    EXPECT_FALSE(St().PlaybackOpen);
    playback.StartPlayAll();
    playback.PollPlayback();
    playback.SetPlaybackVolume(7);
    EXPECT_EQ(playback.GetPlaybackVolume(), 0u);
    EXPECT_TRUE(device.written.empty());
    EXPECT_EQ(device.openCount, 0);
    EXPECT_EQ(messages.size(), 1u) << "a play press must not ask again";
    Select(1, 30);
    DeleteSelection(state);
    EXPECT_EQ(state.TotalBlocks, 70u);
}

// A device that fails while playing: its text is shown, playback stops, the
// device is closed, and the next press of a play button tries it again.
struct FailureCase {
    const char* name;
    bool failsOnWrite;
};

class PlaybackFailure : public PlaybackTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PlaybackFailure, StopsShowsTheTextAndPlaysAgainOnTheNextPress) {
    Recording(100);
    playback.OpenPlayback();
    playback.StartPlayAll();
    playback.PollPlayback();
    device.Complete(20);
    if (GetParam().failsOnWrite) device.writeResult = MMSYSERR_NOMEM;
    else device.failureResult = MMSYSERR_ERROR;
    playback.PollPlayback();
    const MMResult expected = GetParam().failsOnWrite ? MMSYSERR_NOMEM : MMSYSERR_ERROR;
    ASSERT_EQ(messages, std::vector<std::string>{device.getErrorText(expected)});
    EXPECT_FALSE(St().Playing);
    EXPECT_FALSE(device.isOpen);
    EXPECT_EQ(device.QueuedCount(), 0u);
    playback.PollPlayback();
    EXPECT_EQ(messages.size(), 1u);

    device.writeResult = device.failureResult = MMSYSERR_NOERROR;
    const size_t before = device.written.size();
    playback.StartPlayAll();
    playback.PollPlayback();
    EXPECT_EQ(device.openCount, 2);
    EXPECT_EQ(device.written.size(), before + 40);
    EXPECT_TRUE(St().Playing);
}

INSTANTIATE_TEST_SUITE_P(Failures, PlaybackFailure,
                         ::testing::Values(FailureCase{"ReportedByTheDevice", false},
                                           FailureCase{"OnWrite", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlaybackTest, CloseHandsEveryBufferBackAndClosesTheDevice) {
    Recording(100);
    playback.OpenPlayback();
    playback.StartPlayAll();
    playback.PollPlayback();
    playback.ClosePlayback();
    EXPECT_FALSE(device.isOpen);
    EXPECT_EQ(device.closeCount, 1);
    for (uint32_t i = 0; i < PlaybackBufferCount; ++i)
        EXPECT_EQ(playback.Header(i).flags.load() & (WHDR_INQUEUE | WHDR_PREPARED), 0u) << i;
}

// The knob on the editor's track of 105 pixels with a 9-pixel knob.
struct KnobCase {
    int left;
    std::optional<uint32_t> volume;
};

class VolumeKnobTable : public ::testing::TestWithParam<KnobCase> {};

TEST_P(VolumeKnobTable, DragGivesTheVolumeInBothWords) {
    const VolumeKnob knob{200, 105, 9};
    EXPECT_EQ(knob.VolumeForLeft(200 + GetParam().left), GetParam().volume);
}

INSTANTIATE_TEST_SUITE_P(Ends, VolumeKnobTable,
                         ::testing::Values(KnobCase{0, 0u}, KnobCase{96, 65535u * 65537u},
                                           KnobCase{48, 32768u * 65537u},  // 32767.5, halves to even
                                           KnobCase{1, 683u * 65537u}, KnobCase{-1, std::nullopt},
                                           KnobCase{97, std::nullopt}));

TEST(VolumeKnob, EveryKnobPositionComesBackFromItsVolume) {
    const VolumeKnob knob{13, 105, 9};
    for (int x = 13; x <= 13 + 96; ++x) {
        const auto v = knob.VolumeForLeft(x);
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(*v & 0xFFFF, *v >> 16);
        EXPECT_EQ(knob.LeftForVolume(*v), x);
    }
    // The knob shows the right channel's word.
    EXPECT_EQ(knob.LeftForVolume(0x0000FFFFu), 13);
    EXPECT_EQ(knob.LeftForVolume(0xFFFF0000u), 13 + 96);
}

TEST(PlayMarks, CursorLineOnlyStrictlyInsideTheView) {
    // View from x 10 to 510, first block 100, 4 blocks per column.
    EXPECT_EQ(PlayCursorLeft(100, 100, 4, 10, 510), -1);         // on the left edge
    EXPECT_EQ(PlayCursorLeft(104, 100, 4, 10, 510), 11);
    EXPECT_EQ(PlayCursorLeft(102, 100, 4, 10, 510), -1) << "0.5 rounds to even: on the edge";
    EXPECT_EQ(PlayCursorLeft(2096, 100, 4, 10, 510), 509);
    EXPECT_EQ(PlayCursorLeft(2100, 100, 4, 10, 510), -1);        // on the right edge
    EXPECT_EQ(PlayCursorLeft(50, 100, 4, 10, 510), -1);          // before the view
    EXPECT_EQ(PlayMarkLeft(300, 0.5f, 10), 150 + 10 - 8);
}

TEST(PlaybackSettings, OpensTheOutputDevicesTabOrSaysWhatToInstall) {
    RecordingLauncher launcher;
    launcher.available = {"pavucontrol", "alsamixer", "x-terminal-emulator"};
    EXPECT_EQ(OpenPlaybackSettings(launcher), "");
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0], (std::vector<std::string>{"pavucontrol", "--tab=3"}));

    launcher.available = {"alsamixer", "x-terminal-emulator"};
    EXPECT_EQ(OpenPlaybackSettings(launcher), "");
    EXPECT_EQ(launcher.started[1][0], "x-terminal-emulator");

    launcher.available.clear();
    EXPECT_NE(OpenPlaybackSettings(launcher).find("pavucontrol"), std::string::npos);
    EXPECT_EQ(launcher.started.size(), 2u);
}

}  // namespace
}  // namespace orv::test

// The real capture layer: against ALSA's "null" PCM (always there, endless
// silence) for the queue rules, and against the sound server's null-sink
// monitor, which carries the counting signal, for real capture through each
// backend: ALSA's "default" and the server's own protocol.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/alsa_stats.h"
#include "platform/input_mixer.h"
#include "platform/wave_in.h"
#include "record/format.h"
#include "sound_server.h"

namespace orv::test {
namespace {

using namespace platform;
using namespace std::chrono_literals;

// Polls are paced so a test waits for the device without spinning; the
// bound only keeps a dead device from hanging the run.
constexpr int kMaxPolls = 3000;
constexpr auto kPoll = 10ms;

// Buffers and headers the way the engine keeps them: one memory, one header each.
class Buffers {
public:
    explicit Buffers(std::vector<uint32_t> lengths) : headers_(std::make_unique<WaveHeader[]>(lengths.size())) {
        size_t total = 0;
        for (uint32_t len : lengths) total += len;
        memory_.assign(total, 0xAA);
        size_t at = 0;
        for (size_t i = 0; i < lengths.size(); ++i) {
            headers_[i].data = memory_.data() + at;
            headers_[i].bufferLength = lengths[i];
            headers_[i].user = i + 1;
            at += lengths[i];
        }
        count_ = lengths.size();
    }
    Buffers(size_t count, uint32_t length) : Buffers(std::vector<uint32_t>(count, length)) {}

    WaveHeader& operator[](size_t i) { return headers_[i]; }
    size_t size() const { return count_; }
    uint32_t Recorded(size_t i) const { return headers_[i].bytesRecorded.load(std::memory_order_acquire); }

    void PrepareAndQueue(WaveIn& in) {
        for (size_t i = 0; i < count_; ++i) {
            ASSERT_EQ(in.prepareHeader(headers_[i]), MMSYSERR_NOERROR);
            ASSERT_EQ(in.addBuffer(headers_[i]), MMSYSERR_NOERROR);
        }
    }
    void Unprepare(WaveIn& in) {
        for (size_t i = 0; i < count_; ++i) EXPECT_EQ(in.unprepareHeader(headers_[i]), MMSYSERR_NOERROR) << i;
    }

private:
    std::vector<uint8_t> memory_;
    std::unique_ptr<WaveHeader[]> headers_;
    size_t count_ = 0;
};

// Waits until `ready` holds; false when the device never got there.
template <typename Pred>
bool PollUntil(Pred ready) {
    for (int i = 0; i < kMaxPolls; ++i) {
        if (ready()) return true;
        std::this_thread::sleep_for(kPoll);
    }
    return ready();
}

CaptureStats StatsOf(WaveIn& in) {
    auto* source = dynamic_cast<CaptureStatsSource*>(&in);
    return source ? source->captureStats() : CaptureStats{};
}

// Follows the counting signal across blocks: leading silence (0,0) is
// skipped, then every frame must be the previous one plus one with the
// complement on the right. Silence inside the run is the sound server's
// playback running dry under load (the count then resumes where it left
// off); it is counted apart and never hides a lost or repeated frame.
class CountingCheck {
public:
    void Feed(const uint8_t* p, size_t bytes) {
        for (size_t at = 0; at + 4 <= bytes; at += 4, ++frame_) {
            const auto l = static_cast<uint16_t>(SampleAt(p + at));
            const auto r = static_cast<uint16_t>(SampleAt(p + at + 2));
            if (!started_) {
                if (l == 0 && r == 0) {
                    ++leadingSilence_;
                    continue;
                }
                started_ = true;
                expect_ = l;
            }
            if (l == 0 && r == 0) {
                ++serverGaps_;
                continue;
            }
            if (l != expect_ || r != static_cast<uint16_t>(~expect_)) {
                if (faults_++ < 5)
                    report_ << "frame " << frame_ << ": got (" << l << ", " << r << "), expected (" << expect_
                            << ", " << static_cast<uint16_t>(~expect_) << ")\n";
            } else {
                ++counted_;
            }
            expect_ = static_cast<uint16_t>(l + 1);  // follow on after a fault
        }
    }
    uint64_t counted() const { return counted_; }
    uint64_t faults() const { return faults_; }
    uint64_t leadingSilence() const { return leadingSilence_; }
    uint64_t serverGaps() const { return serverGaps_; }
    std::string report() const { return report_.str(); }

private:
    bool started_ = false;
    uint16_t expect_ = 0;
    uint64_t frame_ = 0, counted_ = 0, faults_ = 0, leadingSilence_ = 0, serverGaps_ = 0;
    std::ostringstream report_;
};

// ---------------------------------------------------------------------------
// Without any device.

TEST(AlsaWaveInMissingDevice, ReportsNoDeviceAndAReadableOpenError) {
    auto in = makeAlsaWaveIn("orv_no_such_pcm");
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->getNumDevs(), 0u);
    WaveInCaps caps;
    EXPECT_EQ(in->getDevCaps(0, caps), MMSYSERR_BADDEVICEID);

    const MMResult r = in->open(0, WaveFormat{});
    EXPECT_NE(r, MMSYSERR_NOERROR);
    const std::string text = in->getErrorText(r);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.find("orv_no_such_pcm"), std::string::npos) << text;

    // Nothing is open, so every call on the handle is refused.
    WaveHeader h;
    EXPECT_EQ(in->prepareHeader(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(in->addBuffer(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(in->start(), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(in->reset(), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(in->unprepareHeader(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(in->close(), MMSYSERR_INVALHANDLE);
}

// ---------------------------------------------------------------------------
// ALSA's "null" PCM: opens anywhere and yields silence as fast as it is read.

TEST(AlsaWaveInQueueRules, OpenRefusesOtherFormatsDevicesAndASecondOpen) {
    auto in = makeAlsaWaveIn("null");
    WaveFormat threeChannels;
    threeChannels.channels = 3;
    threeChannels.blockAlign = 6;
    EXPECT_EQ(in->open(0, threeChannels), WAVERR_BADFORMAT);
    WaveFormat float32;
    float32.bitsPerSample = 32;
    float32.blockAlign = 8;
    EXPECT_EQ(in->open(0, float32), WAVERR_BADFORMAT);
    EXPECT_FALSE(in->getErrorText(WAVERR_BADFORMAT).empty());
    EXPECT_EQ(in->open(1, WaveFormat{}), MMSYSERR_BADDEVICEID);

    ASSERT_EQ(in->open(0, WaveFormat{}), MMSYSERR_NOERROR);
    EXPECT_EQ(in->open(0, WaveFormat{}), MMSYSERR_ALLOCATED);
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
    EXPECT_EQ(in->close(), MMSYSERR_INVALHANDLE);
    // Closed handles open again.
    ASSERT_EQ(in->open(0, WaveFormat{}), MMSYSERR_NOERROR);
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
}

TEST(AlsaWaveInQueueRules, QueuedBuffersBlockCloseAndUnprepareUntilReset) {
    auto in = makeAlsaWaveIn("null");
    ASSERT_EQ(in->open(0, WaveFormat{}), MMSYSERR_NOERROR);
    Buffers b(2, BlockBytes);
    WaveHeader unprepared;
    EXPECT_EQ(in->addBuffer(unprepared), WAVERR_UNPREPARED);
    b.PrepareAndQueue(*in);
    EXPECT_EQ(in->addBuffer(b[0]), WAVERR_STILLPLAYING);  // already queued
    EXPECT_EQ(in->unprepareHeader(b[1]), WAVERR_STILLPLAYING);
    EXPECT_EQ(in->close(), WAVERR_STILLPLAYING);
    EXPECT_FALSE(in->getErrorText(WAVERR_STILLPLAYING).empty());

    ASSERT_EQ(in->reset(), MMSYSERR_NOERROR);
    for (size_t i = 0; i < b.size(); ++i) {
        EXPECT_EQ(b[i].flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE) << i;
        EXPECT_EQ(b.Recorded(i), 0u) << "never started, nothing recorded";
    }
    b.Unprepare(*in);
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
}

TEST(AlsaWaveInQueueRules, FillsBuffersInOrderReleasesThemAndDropsWhatFindsNoBuffer) {
    auto in = makeAlsaWaveIn("null");
    ASSERT_EQ(in->open(0, WaveFormat{}), MMSYSERR_NOERROR);
    // Odd lengths: a block, a short buffer, one not a whole number of frames.
    Buffers b({BlockBytes, 4 * 100, 4 * 1000 + 2});
    b.PrepareAndQueue(*in);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(b.Recorded(0), 0u) << "capture must wait for start";
    ASSERT_EQ(in->start(), MMSYSERR_NOERROR);

    ASSERT_TRUE(PollUntil([&] { return b.Recorded(2) == 4000u; })) << "last buffer stopped at " << b.Recorded(2);
    EXPECT_EQ(b.Recorded(0), BlockBytes);
    EXPECT_EQ(b.Recorded(1), 400u);
    // Nothing is queued now: the device is still read, into nowhere.
    ASSERT_TRUE(PollUntil([&] { return StatsOf(*in).framesDropped > 0; }));
    const CaptureStats stats = StatsOf(*in);
    EXPECT_EQ(stats.framesCaptured, (BlockBytes + 400 + 4000) / 4);
    // The frames read into nowhere are one gap in what was recorded.
    EXPECT_EQ(stats.gaps, 1u);
    EXPECT_EQ(stats.framesLost, stats.framesDropped);

    // Full buffers have left the queue, so close needs no reset.
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
    for (size_t i = 0; i < b.size(); ++i) EXPECT_EQ(b[i].flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE) << i;
}

// ---------------------------------------------------------------------------
// The sound server's default source: the null sink's monitor with the
// counting signal playing, through the backend named by the parameter.

class WaveInRealDevice : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ORV_SKIP_WITHOUT_SOUND_SERVER();
        ::setenv("ORV_SOUND_BACKEND", GetParam(), 1);
    }
    void TearDown() override { ::unsetenv("ORV_SOUND_BACKEND"); }
};

TEST_P(WaveInRealDevice, DefaultDeviceTakesTheRecordingFormatAndHasAName) {
    auto in = makeWaveIn(chooseSoundBackend());
    ASSERT_EQ(in->getNumDevs(), 1u);
    WaveInCaps caps;
    ASSERT_EQ(in->getDevCaps(0, caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.formats & WAVE_FORMAT_4S16, WAVE_FORMAT_4S16) << std::hex << caps.formats;
    EXPECT_EQ(caps.channels, 2);
    const size_t nameLength = strnlen(caps.name, sizeof caps.name);
    EXPECT_GT(nameLength, 0u);
    EXPECT_LT(nameLength, sizeof caps.name) << "name must end in a zero inside its 32 bytes";
    EXPECT_EQ(in->getDevCaps(1, caps), MMSYSERR_BADDEVICEID);
}

// Runs a command of the test's sound server; its output.
std::string Pactl(const std::string& args) {
    std::string out;
    if (FILE* p = ::popen(("pactl " + args + " 2>/dev/null").c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        ::pclose(p);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// As the engine does: takes each full block in turn, checks it and queues it
// again, until the counting signal has run for three seconds. midway runs once,
// after the first second of signal.
void CaptureCounting(WaveIn& in, const std::function<void()>& midway = {}) {
    Buffers b(CaptureBlockCount, BlockBytes);
    b.PrepareAndQueue(in);
    ASSERT_EQ(in.start(), MMSYSERR_NOERROR);

    CountingCheck check;
    size_t next = 0;
    uint64_t delivered = 0;
    const uint64_t wantFrames = 3 * SampleRate;
    bool midwayDone = !midway;
    while (check.counted() < wantFrames || delivered <= CaptureBlockCount) {
        if (!midwayDone && check.counted() >= SampleRate) {
            midway();
            midwayDone = true;
        }
        ASSERT_LT(delivered, 300u) << "no counting signal in 30 s of audio";
        ASSERT_TRUE(PollUntil([&] { return b.Recorded(next) == BlockBytes; }))
            << "the device stopped delivering after " << delivered << " blocks";

        // Reading from the newest queued buffer back: once one holds bytes,
        // every buffer queued before it must be full.
        bool laterHasBytes = false;
        for (size_t k = CaptureBlockCount; k-- > 0;) {
            const size_t i = (next + k) % CaptureBlockCount;
            const uint32_t rec = b.Recorded(i);
            ASSERT_LE(rec, BlockBytes) << "block " << i;
            ASSERT_EQ(rec % 4, 0u) << "block " << i << " holds a partial frame";
            if (laterHasBytes) {
                ASSERT_EQ(rec, BlockBytes) << "block " << i << " is behind a later block";
            }
            laterHasBytes = laterHasBytes || rec > 0;
        }

        WaveHeader& h = b[next];
        check.Feed(h.data, BlockBytes);
        h.bytesRecorded.store(0, std::memory_order_relaxed);
        h.user = CaptureBlockCount + delivered + 1;
        ASSERT_EQ(in.addBuffer(h), MMSYSERR_NOERROR);
        next = (next + 1) % CaptureBlockCount;
        ++delivered;
    }

    const CaptureStats stats = StatsOf(in);
    EXPECT_EQ(in.deviceError(), "");
    ASSERT_EQ(in.reset(), MMSYSERR_NOERROR);
    b.Unprepare(in);
    EXPECT_EQ(in.close(), MMSYSERR_NOERROR);

    EXPECT_EQ(check.faults(), 0u) << "the count broke after " << check.leadingSilence()
                                  << " frames of leading silence:\n" << check.report();
    EXPECT_GE(check.counted(), wantFrames);
    EXPECT_EQ(stats.overruns, 0u);
    EXPECT_EQ(stats.framesDropped, 0u) << "blocks were re-queued in time, no frame may be dropped";
    EXPECT_EQ(stats.gaps, 0u);
    ::testing::Test::RecordProperty("blocks", static_cast<int>(delivered));
    ::testing::Test::RecordProperty("leading_silence_frames", static_cast<int>(check.leadingSilence()));
    ::testing::Test::RecordProperty("server_gap_frames", static_cast<int>(check.serverGaps()));
}

TEST_P(WaveInRealDevice, CapturesTheCountingSignalInWholeBlocksInOrderWithoutLoss) {
    auto in = makeWaveIn(chooseSoundBackend());
    const MMResult opened = in->open(0, WaveFormat{});
    if (opened != MMSYSERR_NOERROR) {
        GTEST_SKIP() << "the default device cannot be opened: " << in->getErrorText(opened);
    }
    CaptureCounting(*in);
}

TEST_P(WaveInRealDevice, ResetKeepsPartialFillStopsDeliveryAndCaptureResumes) {
    auto in = makeWaveIn(chooseSoundBackend());
    const MMResult opened = in->open(0, WaveFormat{});
    if (opened != MMSYSERR_NOERROR) {
        GTEST_SKIP() << "the default device cannot be opened: " << in->getErrorText(opened);
    }

    // A long first buffer, so that the reset surely finds it part-filled.
    Buffers b({10 * BytesPerSecond, BlockBytes, BlockBytes});
    b.PrepareAndQueue(*in);
    ASSERT_EQ(in->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(PollUntil([&] { return b.Recorded(0) > 0; })) << "no data from the device";
    ASSERT_EQ(in->reset(), MMSYSERR_NOERROR);

    const uint32_t kept = b.Recorded(0);
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, b[0].bufferLength);
    EXPECT_EQ(kept % 4, 0u);
    EXPECT_EQ(b.Recorded(1), 0u);
    EXPECT_EQ(b.Recorded(2), 0u);
    for (size_t i = 0; i < b.size(); ++i) EXPECT_EQ(b[i].flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE) << i;
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(b.Recorded(0), kept) << "the device wrote after the reset";
    EXPECT_EQ(std::memcmp(b[1].data, std::vector<uint8_t>(BlockBytes, 0xAA).data(), BlockBytes), 0)
        << "the device wrote into a returned buffer";

    // The same handle captures again after a reset.
    b[1].bytesRecorded.store(0, std::memory_order_relaxed);
    ASSERT_EQ(in->addBuffer(b[1]), MMSYSERR_NOERROR);
    ASSERT_EQ(in->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(PollUntil([&] { return b.Recorded(1) == BlockBytes; })) << "capture did not resume";
    EXPECT_EQ(in->reset(), MMSYSERR_NOERROR);
    b.Unprepare(*in);
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
}

// The server stops (SIGSTOP) during a capture: the stop and the close return
// while it is still stopped, what was filled kept. The watchdog's 20 s only decide failure.
TEST_P(WaveInRealDevice, AStopAndCloseReturnWhileTheServerIsStopped) {
    auto in = makeWaveIn(chooseSoundBackend());
    ASSERT_EQ(in->open(0, WaveFormat{}), MMSYSERR_NOERROR);
    Buffers b(4, BlockBytes);
    b.PrepareAndQueue(*in);
    ASSERT_EQ(in->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(PollUntil([&] { return b.Recorded(0) == BlockBytes; })) << "no data from the device";
    StoppedServer stopped(20);
    ASSERT_TRUE(stopped.Stopped());
    EXPECT_EQ(in->reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(b.Recorded(0), BlockBytes);
    for (size_t i = 0; i < b.size(); ++i) EXPECT_EQ(b[i].flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE) << i;
    b.Unprepare(*in);
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
    EXPECT_TRUE(stopped.StillStopped()) << "the stop waited for the server";
}

INSTANTIATE_TEST_SUITE_P(Backends, WaveInRealDevice, ::testing::Values("alsa", "pulse"),
                         [](const auto& info) { return std::string(info.param); });

// A null sink of the test's own, loaded for one test and unloaded after.
class ExtraSink {
public:
    explicit ExtraSink(const std::string& name) : name_(name) {
        module_ = Pactl("load-module module-null-sink sink_name=" + name + " rate=44100 channels=2 format=s16le");
    }
    ~ExtraSink() { Unload(); }
    bool loaded() const { return !module_.empty(); }
    std::string monitor() const { return name_ + ".monitor"; }
    void Unload() {
        if (!module_.empty()) Pactl("unload-module " + module_);
        module_.clear();
    }

private:
    std::string name_, module_;
};

// The server's default source changes while the recording runs: the
// recording stays on the source it opened on, its count unbroken.
TEST(PulseWaveInPinned, ADefaultSourceChangeLeavesTheRecordingOnItsSource) {
    ORV_SKIP_WITHOUT_SOUND_SERVER();
    ExtraSink other("orv_other_" + std::to_string(::getpid()));
    ASSERT_TRUE(other.loaded());
    auto in = makePulseWaveIn();
    ASSERT_EQ(in->open(0, WaveFormat{}), MMSYSERR_NOERROR) << in->getErrorText(MMSYSERR_ERROR);
    const std::string first = Pactl("get-default-source");
    CaptureCounting(*in, [&] { Pactl("set-default-source " + other.monitor()); });
    EXPECT_EQ(Pactl("get-default-source"), other.monitor()) << "the default source did not change";
    Pactl("set-default-source " + first);
}

// The recorded source goes away: the device fails and stays failed, and the
// blocks filled before are kept whole.
TEST(PulseWaveInPinned, ARemovedSourceIsADeviceFailure) {
    ORV_SKIP_WITHOUT_SOUND_SERVER();
    ExtraSink doomed("orv_doomed_" + std::to_string(::getpid()));
    ASSERT_TRUE(doomed.loaded());
    const std::string first = Pactl("get-default-source");
    Pactl("set-default-source " + doomed.monitor());
    auto in = makePulseWaveIn();
    const MMResult opened = in->open(0, WaveFormat{});
    Pactl("set-default-source " + first);
    ASSERT_EQ(opened, MMSYSERR_NOERROR) << in->getErrorText(opened);
    Buffers b(4, BlockBytes);
    b.PrepareAndQueue(*in);
    ASSERT_EQ(in->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(PollUntil([&] { return b.Recorded(0) == BlockBytes; })) << "the source delivered nothing";
    EXPECT_EQ(in->deviceError(), "");

    doomed.Unload();
    ASSERT_TRUE(PollUntil([&] { return !in->deviceError().empty(); })) << "the source went away unnoticed";
    std::this_thread::sleep_for(300ms);
    EXPECT_NE(in->deviceError(), "") << "a failure must stay until the device is closed";
    ASSERT_EQ(in->reset(), MMSYSERR_NOERROR);
    EXPECT_EQ(b.Recorded(0), BlockBytes);
    for (size_t i = 0; i < b.size(); ++i) EXPECT_EQ(b.Recorded(i) % 4, 0u) << i;
    b.Unprepare(*in);
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
    EXPECT_EQ(in->deviceError(), "");
}

// The input knob on the sound server: it acts on the source being recorded
// even after the default has moved on, and shows what others set there.
TEST(PulseInputMixer, TheKnobActsOnTheRecordedSourceAndShowsChangesMadeElsewhere) {
    ORV_SKIP_WITHOUT_SOUND_SERVER();
    ExtraSink other("orv_other_" + std::to_string(::getpid()));
    ASSERT_TRUE(other.loaded());
    const std::string recorded = Pactl("get-default-source");
    auto in = makePulseWaveIn();
    ASSERT_EQ(in->open(0, WaveFormat{}), MMSYSERR_NOERROR);
    Pactl("set-default-source " + other.monitor());
    auto mixer = makeInputMixer(*in);
    const bool ready = mixer->recordInit(0);
    Pactl("set-default-source " + recorded);
    ASSERT_TRUE(ready);
    EXPECT_EQ(mixer->recordGetInput(1), INPUT_INVALID) << "one input";
    EXPECT_FALSE(mixer->recordGetInputName(0).empty());

    auto volumeOf = [](const std::string& source) { return Pactl("get-source-volume " + source); };
    ASSERT_TRUE(mixer->recordSetInput(0, INPUT_VOLUME | 40));
    EXPECT_EQ(mixer->recordGetInput(0), 40u);
    EXPECT_TRUE(PollUntil([&] { return volumeOf(recorded).find(" 40%") != std::string::npos; })) << volumeOf(recorded);
    EXPECT_EQ(volumeOf(other.monitor()).find(" 40%"), std::string::npos) << "the new default was changed";

    Pactl("set-source-volume " + recorded + " 70%");
    EXPECT_TRUE(PollUntil([&] { return mixer->recordGetInput(0) == 70u; })) << mixer->recordGetInput(0);
    Pactl("set-source-mute " + recorded + " 1");
    EXPECT_TRUE(PollUntil([&] { return mixer->recordGetInput(0) == (70u | INPUT_OFF); }));
    ASSERT_TRUE(mixer->recordSetInput(-1, INPUT_ON));
    EXPECT_TRUE(PollUntil([&] { return Pactl("get-source-mute " + recorded).find("no") != std::string::npos; }));

    // Back to 0 dB for the capture tests.
    Pactl("set-source-volume " + recorded + " 100%");
    EXPECT_TRUE(PollUntil([&] { return mixer->recordGetInput(0) == 100u; }));
    EXPECT_TRUE(mixer->recordFree());
    EXPECT_EQ(mixer->recordGetInput(0), INPUT_INVALID);
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace orv::test

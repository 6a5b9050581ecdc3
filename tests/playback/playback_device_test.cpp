// Playback through the real device of each backend (ALSA's "default" and the
// sound server's own protocol): a counting-signal recording is played by the
// playback engine into a null sink of its own on the test command's sound
// server, and the sink's monitor is captured with parec.
#include <gtest/gtest.h>

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "editor/editor_fixture.h"
#include "platform/sound_server.h"
#include "playback/wave_playback.h"
#include "support/fake_wave_in.h"

namespace orv::test {
namespace {

// A sound path that reports less delay than it still holds, as a sound
// server's plug-in does when the server lags: the figure the driver reads
// falls short by this many frames.
std::atomic<snd_pcm_sframes_t> delayShortBy{0};

}  // namespace
}  // namespace orv::test

extern "C" int snd_pcm_avail_delay(snd_pcm_t* pcm, snd_pcm_sframes_t* avail, snd_pcm_sframes_t* delay) {
    using Fn = int (*)(snd_pcm_t*, snd_pcm_sframes_t*, snd_pcm_sframes_t*);
    const int r = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "snd_pcm_avail_delay"))(pcm, avail, delay);
    if (r >= 0) *delay = std::max<snd_pcm_sframes_t>(0, *delay - orv::test::delayShortBy.load());
    return r;
}

namespace orv::test {
namespace {

using namespace platform;
using namespace std::chrono_literals;

// A second of silence first: the null sink's monitor loses the first tenth
// of a second or so of every new stream (aplay's too), before it is heard.
constexpr uint32_t kLeadIn = 10;
constexpr uint32_t kBlocks = kLeadIn + 30;  // more than one refill of each half

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        ::pclose(p);
    }
    return out;
}

std::pair<int16_t, int16_t> CountingSample(uint32_t block, uint32_t frame) {
    int16_t l = 0, r = 0;
    CountingFrame(uint64_t{block - 1} * BlockFrames + frame, l, r);
    return {l, r};
}

std::pair<int16_t, int16_t> LeadInThenCounting(uint32_t block, uint32_t frame) {
    if (block <= kLeadIn) return {0, 0};
    return CountingSample(block - kLeadIn, frame);
}

class PlaybackDeviceTest : public EditorFixture {
protected:
    // "alsa" or "pulse".
    virtual const char* Backend() const = 0;

    void SetUp() override {
        ORV_SKIP_WITHOUT_SOUND_SERVER();
        ::setenv("ORV_SOUND_BACKEND", Backend(), 1);
        // A name of its own, so that nothing else plays into it.
        sink_ = "orv_playback_probe_" + std::to_string(::getpid());
        module_ = Shell("pactl load-module module-null-sink sink_name=" + sink_ + " rate=44100 channels=2 format=s16le");
        ASSERT_FALSE(module_.empty()) << "could not load a null sink";
        Shell("pactl set-sink-volume " + sink_ + " 100%");
        // Both backends connect to the client's default sink.
        ::setenv("PULSE_SINK", sink_.c_str(), 1);
    }
    void TearDown() override {
        StopCapture();
        ::unsetenv("PULSE_SINK");
        ::unsetenv("ORV_SOUND_BACKEND");
        if (!module_.empty()) Shell("pactl unload-module " + module_);
    }

    void StartCapture() {
        capturePath_ = dir.file("monitor.raw");
        const int fd = ::open(capturePath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        const std::string device = "--device=" + sink_ + ".monitor";
        parec_ = ::fork();
        if (parec_ == 0) {
            ::dup2(fd, STDOUT_FILENO);
            ::execlp("parec", "parec", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                     "--latency-msec=20", device.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fd);
        ASSERT_GT(parec_, 0);
        for (int i = 0; i < 100 && Shell("pactl list short source-outputs").empty(); ++i)
            std::this_thread::sleep_for(50ms);
        ASSERT_FALSE(Shell("pactl list short source-outputs").empty()) << "parec did not connect";
    }

    // Stops parec and returns the frames it captured.
    std::vector<std::pair<int16_t, int16_t>> StopCapture() {
        std::vector<std::pair<int16_t, int16_t>> frames;
        if (parec_ <= 0) return frames;
        std::this_thread::sleep_for(300ms);  // the monitor's own latency
        ::kill(parec_, SIGTERM);
        int status = 0;
        ::waitpid(parec_, &status, 0);
        parec_ = -1;
        std::ifstream in(capturePath_, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
            const auto* p = reinterpret_cast<const uint8_t*>(&bytes[i]);
            frames.emplace_back(SampleAt(p), SampleAt(p + 2));
        }
        return frames;
    }

    // Playback on the real device of Backend(), opened; what it tells the user goes to messages.
    WavePlayback& OpenRealPlayback() {
        device_ = makeWaveOut(chooseSoundBackend());
        playback_ = std::make_unique<WavePlayback>(
            state, recording, buffers,
            PlaybackSeams{*device_, [this](const std::string& m) { messages.push_back(m); }, {}, nullptr});
        playback_->OpenPlayback();
        return *playback_;
    }
    // The editor's play timer: a poll every 100 ms while playing, at most `ticks` of them.
    void PlayFor(int ticks) {
        for (int tick = 0; tick < ticks && playback_->State().Playing; ++tick) {
            playback_->PollPlayback();
            std::this_thread::sleep_for(100ms);
        }
    }

    std::string sink_;
    std::string module_;
    std::string capturePath_;
    pid_t parec_ = -1;
    std::unique_ptr<WaveOut> device_;
    std::unique_ptr<WavePlayback> playback_;  // before device_ goes
    std::vector<std::string> messages;
};

class PlaybackDevice : public PlaybackDeviceTest, public ::testing::WithParamInterface<const char*> {
protected:
    const char* Backend() const override { return GetParam(); }
};

// The counting signal scaled by one channel's volume word, rounded to nearest.
int16_t Scaled(int16_t s, uint32_t word) { return static_cast<int16_t>(std::lround(double(s) * word / 65535.0)); }

struct VolumeCase {
    const char* name;
    uint32_t volume;
    snd_pcm_sframes_t delayShortBy = 0;
    bool loaded = false;  // stress-ng keeps both cores busy meanwhile
};

class PlaybackDeviceVolume : public PlaybackDeviceTest,
                             public ::testing::WithParamInterface<std::tuple<const char*, VolumeCase>> {
protected:
    const char* Backend() const override { return std::get<0>(GetParam()); }
};

TEST_P(PlaybackDeviceVolume, TheWholeRecordingArrivesUnbrokenInOrderAndScaled) {
    WriteRecording(kBlocks, LeadInThenCounting);
    Open(kBlocks);
    WavePlayback& playback = OpenRealPlayback();
    ASSERT_TRUE(playback.State().PlaybackOpen) << (messages.empty() ? "" : messages[0]);
    const uint32_t volume = std::get<1>(GetParam()).volume;
    playback.SetPlaybackVolume(volume);
    EXPECT_EQ(playback.GetPlaybackVolume(), volume);

    StartCapture();
    const pid_t stress = std::get<1>(GetParam()).loaded ? ::fork() : -1;
    if (stress == 0) {
        ::execlp("stress-ng", "stress-ng", "--cpu", "2", "--timeout", "120s", "--quiet", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    delayShortBy = std::get<1>(GetParam()).delayShortBy;
    playback.StartPlayAll();
    PlayFor(1200);
    delayShortBy = 0;
    if (stress > 0 && ::kill(stress, SIGTERM) == 0) ::waitpid(stress, nullptr, 0);
    EXPECT_FALSE(playback.State().Playing) << "playback did not end";
    EXPECT_EQ(playback.State().PlayPos, kBlocks);
    EXPECT_TRUE(messages.empty()) << messages[0];
    const auto frames = StopCapture();
    const PlaybackStats stats = dynamic_cast<const PlaybackStatsSource&>(*device_).playbackStats();
    // The server scales by its own volume curve and truncates: within one step
    // of the rounded product, except at unity, which passes bit for bit.
    const int tolerance = std::string(Backend()) == "pulse" && volume != WaveOutFullVolume ? 1 : 0;
    playback.ClosePlayback();
    EXPECT_EQ(stats.underruns, 0u) << "last driver error " << stats.lastDriverError;

    size_t start = 0;
    while (start < frames.size() && frames[start] == std::pair<int16_t, int16_t>{0, 0}) ++start;
    ASSERT_LT(start, frames.size()) << "nothing arrived at the sink";
    const size_t total = size_t{kBlocks - kLeadIn} * BlockFrames;
    ASSERT_GE(frames.size() - start, total) << "only " << frames.size() - start << " frames arrived";
    for (size_t n = 0; n < total; ++n) {
        int16_t l = 0, r = 0;
        CountingFrame(n, l, r);
        const std::pair<int16_t, int16_t> want{Scaled(l, volume & 0xFFFF), Scaled(r, volume >> 16)};
        const auto [gotL, gotR] = frames[start + n];
        ASSERT_TRUE(std::abs(gotL - want.first) <= tolerance && std::abs(gotR - want.second) <= tolerance)
            << "frame " << n << " of " << total << ": got (" << gotL << ", " << gotR << "), want (" << want.first
            << ", " << want.second << ")";
    }
}

INSTANTIATE_TEST_SUITE_P(Volumes, PlaybackDeviceVolume,
                         ::testing::Combine(::testing::Values("alsa", "pulse"),
                                            ::testing::Values(VolumeCase{"Full", WaveOutFullVolume},
                                                              VolumeCase{"Half", 0x80008000u},
                                                              VolumeCase{"LeftQuarterRightFull", 0xFFFF4000u})),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
                         });
// The end is heard though the delay says it was played (the figure comes from ALSA).
INSTANTIATE_TEST_SUITE_P(ShortDelay, PlaybackDeviceVolume,
                         ::testing::Combine(::testing::Values("alsa"),
                                            ::testing::Values(VolumeCase{"DelayThreeBlocksShortUnderLoad",
                                                                         WaveOutFullVolume, 3 * BlockFrames, true})),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
                         });

TEST_P(PlaybackDevice, ResetHandsEveryBufferBackAtOnceAndSilencesTheSink) {
    constexpr uint32_t kCount = 40;
    std::vector<uint8_t> memory(size_t{BlockBytes} * kCount);
    for (uint32_t k = 0; k < kCount; ++k) {
        const std::vector<uint8_t> block = MakeBlock(k + 1, CountingSample);
        std::copy(block.begin(), block.end(), memory.begin() + size_t{k} * BlockBytes);
    }
    std::vector<WaveOutHeader> headers(kCount);
    std::unique_ptr<WaveOut> device = makeWaveOut(chooseSoundBackend());
    ASSERT_EQ(device->open(0, WaveFormat{}), MMSYSERR_NOERROR);
    StartCapture();
    for (uint32_t k = 0; k < kCount; ++k) {
        headers[k].data = memory.data() + size_t{k} * BlockBytes;
        headers[k].bufferLength = BlockBytes;
        ASSERT_EQ(device->prepareHeader(headers[k]), MMSYSERR_NOERROR);
        ASSERT_EQ(device->write(headers[k]), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(device->close(), WAVERR_STILLPLAYING);
    // A second in, past what a new stream loses at the monitor.
    for (int i = 0; i < 1000 && !headers[9].Done(); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(headers[9].Done()) << "the device did not play";
    // Done flags come in order.
    for (uint32_t k = 2; k < kCount; ++k)
        if (headers[k].Done()) {
            EXPECT_TRUE(headers[k - 1].Done()) << k;
        }

    EXPECT_EQ(device->reset(), MMSYSERR_NOERROR);
    for (uint32_t k = 0; k < kCount; ++k) {
        EXPECT_TRUE(headers[k].Done()) << k;
        EXPECT_EQ(headers[k].flags.load() & WHDR_INQUEUE, 0u) << k;
        EXPECT_EQ(device->unprepareHeader(headers[k]), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(device->failure(), MMSYSERR_NOERROR);
    EXPECT_EQ(device->close(), MMSYSERR_NOERROR);

    const auto frames = StopCapture();
    size_t heard = 0;
    for (const auto& f : frames) heard += f != std::pair<int16_t, int16_t>{0, 0};
    EXPECT_GT(heard, 5u * BlockFrames);
    EXPECT_LT(heard, 20u * BlockFrames) << "the sound went on after the reset";
}

// A selection shorter than the device's buffer plays to its last frame: the
// device must start it without more to come, and mark it played only once heard.
using PlaybackDeviceShortPlay = PlaybackDevice;

TEST_P(PlaybackDeviceShortPlay, AShortSelectionPlaysToItsLastFrame) {
    WriteRecording(kBlocks, CountingSample);
    Open(kBlocks);
    WavePlayback& playback = OpenRealPlayback();
    ASSERT_TRUE(playback.State().PlaybackOpen) << (messages.empty() ? "" : messages[0]);
    StartCapture();
    constexpr uint32_t kFirst = 5, kLast = 7;  // 0.3 s
    Select(kFirst, kLast);
    playback.StartPlaySelection();
    PlayFor(100);
    EXPECT_FALSE(playback.State().Playing) << "the short play did not end";
    EXPECT_EQ(playback.State().PlayPos, kLast);
    const auto frames = StopCapture();
    playback.ClosePlayback();

    size_t end = frames.size();
    while (end > 0 && frames[end - 1] == std::pair<int16_t, int16_t>{0, 0}) --end;
    ASSERT_GE(end, size_t{BlockFrames}) << "too little arrived at the sink";
    // The last block of the selection, to its last frame, ends what was heard.
    for (uint32_t f = 0; f < BlockFrames; ++f)
        ASSERT_EQ(frames[end - BlockFrames + f], CountingSample(kLast, f)) << "frame " << f << " of the last block";
}

// The sound server dies in the middle of a playback and comes back: the
// editor is told once, playback stops without a crash, nothing of the
// recording or its history changes, and the next play works on the new server.
TEST_P(PlaybackDevice, ServerKilledAndRestartedDuringPlayback) {
    constexpr uint32_t kLong = 60;  // 6 s: still playing when the server goes
    WriteRecording(kLong, CountingSample);
    Open(kLong);
    const int64_t recordingSize = recording.size();
    const uint16_t level = state.CurrentLevel;
    WavePlayback& playback = OpenRealPlayback();
    ASSERT_TRUE(playback.State().PlaybackOpen) << (messages.empty() ? "" : messages[0]);
    StartCapture();  // a sink with a listener, as the other tests play into
    playback.StartPlayAll();
    PlayFor(10);
    ASSERT_TRUE(playback.State().Playing) << "at " << playback.State().PlayPos << ": "
                                          << (messages.empty() ? "" : messages[0]);

    const std::string server = "cd '" ORV_SOURCE_DIR "' && source scripts/sound-server.sh && ";
    ASSERT_EQ(std::system("pactl exit >/dev/null 2>&1"), 0);
    module_.clear();  // went with the server
    PlayFor(100);
    StopCapture();
    EXPECT_FALSE(playback.State().Playing) << "playback went on without a server";
    ASSERT_EQ(messages.size(), 1u) << "the user was not told";
    EXPECT_FALSE(messages[0].empty());
    for (int tick = 0; tick < 5; ++tick) playback.PollPlayback();  // nothing more to say
    EXPECT_EQ(messages.size(), 1u);

    ASSERT_EQ(std::system(("bash -c \"" + server + "relaunch_sound_server '" ORV_BIN_DIR
                           "/orv_counting_signal'\" >/dev/null 2>&1").c_str()), 0);
    module_ = Shell("pactl load-module module-null-sink sink_name=" + sink_ + " rate=44100 channels=2 format=s16le");
    ASSERT_FALSE(module_.empty());
    StartCapture();
    // A play right after the server's return may still fail (told, like the
    // first); one of the next plays gets through to the end.
    Select(kLong - 15, kLong);
    bool playedThrough = false;
    for (int attempt = 0; attempt < 3 && !playedThrough; ++attempt) {
        const size_t told = messages.size();
        playback.StartPlaySelection();
        PlayFor(100);
        EXPECT_FALSE(playback.State().Playing) << "the playback did not end";
        playedThrough = playback.State().PlayPos == kLong && messages.size() == told;
        if (!playedThrough) EXPECT_EQ(messages.size(), told + 1) << "a failed play was not told";
    }
    EXPECT_TRUE(playedThrough) << "no play got through after the server came back: " << messages.back();
    playback.ClosePlayback();
    EXPECT_EQ(recording.size(), recordingSize);
    EXPECT_EQ(state.CurrentLevel, level);
}

// The server stops (SIGSTOP) while the tail drains: the stop and the close return while it
// is still stopped, every buffer handed back. The watchdog's 20 s only decide failure.
TEST_P(PlaybackDevice, AStopAndCloseReturnWhileTheServerIsStopped) {
    std::vector<uint8_t> memory(size_t{BlockBytes} * 3, 0);
    std::vector<WaveOutHeader> headers(3);
    std::unique_ptr<WaveOut> device = makeWaveOut(chooseSoundBackend());
    ASSERT_EQ(device->open(0, WaveFormat{}), MMSYSERR_NOERROR);
    for (uint32_t k = 0; k < 3; ++k) {
        headers[k].data = memory.data() + size_t{k} * BlockBytes;
        headers[k].bufferLength = BlockBytes;
        device->prepareHeader(headers[k]);
        ASSERT_EQ(device->write(headers[k]), MMSYSERR_NOERROR);
    }
    for (int i = 0; i < 500 && !headers[0].Done(); ++i) std::this_thread::sleep_for(10ms);
    StoppedServer stopped(20);
    ASSERT_TRUE(stopped.Stopped());
    std::this_thread::sleep_for(200ms);  // into the drain
    EXPECT_EQ(device->reset(), MMSYSERR_NOERROR);
    for (WaveOutHeader& h : headers) EXPECT_EQ(h.flags.load() & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    EXPECT_EQ(device->close(), MMSYSERR_NOERROR);
    EXPECT_TRUE(stopped.StillStopped()) << "the stop waited for the server";
}

INSTANTIATE_TEST_SUITE_P(Backends, PlaybackDevice, ::testing::Values("alsa", "pulse"),
                         [](const auto& info) { return std::string(info.param); });
INSTANTIATE_TEST_SUITE_P(Backends, PlaybackDeviceShortPlay, ::testing::Values("alsa", "pulse"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace orv::test

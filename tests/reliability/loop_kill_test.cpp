// SIGKILL at random moments of a loop recording ("Loop 3 min"), before and
// after its ring wraps: the next start keeps the ring in the order it was
// heard, the count runs forward without a break, and only what the kill
// caught in memory (the half being filled and one poll) is missing. The
// recorder is the real engine in a child process fed by the test device as
// fast as it can write, so that minutes of ring pass in about a second.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "platform/raw_file.h"
#include "record/capture_engine.h"
#include "record/format.h"
#include "shell/working_folder.h"
#include "support/fake_wave_in.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

constexpr int LoopMinutes = 3;
constexpr uint64_t RingBlocks = uint64_t{LoopMinutes} * 30 * HalfBlocks;

// Frame f: left its low 16 bits, right its high 16 bits.
void WideCount(uint64_t f, int16_t& l, int16_t& r) {
    l = static_cast<int16_t>(static_cast<uint16_t>(f & 0xFFFF));
    r = static_cast<int16_t>(static_cast<uint16_t>((f >> 16) & 0xFFFF));
}

uint64_t FrameAt(const uint8_t* p) {
    return uint16_t(SampleAt(p)) | uint64_t(uint16_t(SampleAt(p + 2))) << 16;
}

// Records in a loop until killed; `heard` is the blocks the device has delivered.
[[noreturn]] void RecordUntilKilled(const WorkingFiles& files, std::atomic<uint64_t>* heard) {
    test::FakeWaveIn device;
    RecordBuffers buffers;
    ProcessingState processing;
    CaptureState state;
    CaptureHooks hooks;
    CaptureEngine engine{state, buffers, processing, device, hooks};
    AllocateCaptureBuffers(buffers);
    device.source = WideCount;
    device.getDevCaps(0, state.DeviceCaps[0]);
    state.RawFileName = files.RawFileName;
    state.RingFileName = files.RingFileName;
    state.LoopMode = true;
    state.LoopMinutes = LoopMinutes;
    state.LoopHalves = LoopMinutes * 30;
    if (!state.RawStream.open(state.RawFileName, platform::RawFile::Mode::Create)) _exit(2);
    engine.OpenCapture();
    state.Recording = true;
    for (;;) {
        device.FeedBlocks(1);
        heard->store(device.framesProduced / BlockFrames, std::memory_order_release);
        engine.PollCapture();
    }
}

TEST(Killed, LoopRecordingComesBackInTimeOrder) {
    const char* env = std::getenv("ORV_LOOP_KILL_RUNS");
    const int runs = env && *env ? std::max(1, std::atoi(env)) : 5;
    std::mt19937 random(std::random_device{}());
    // From the first half on, through the first wrap, into the third pass.
    std::uniform_int_distribution<uint64_t> killAt(HalfBlocks, 2 * RingBlocks + RingBlocks / 2);

    void* shared = mmap(nullptr, sizeof(std::atomic<uint64_t>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* heard = new (shared) std::atomic<uint64_t>(0);

    int kept = 0;
    uint64_t breaks = 0, maxLost = 0;
    auto oneRun = [&](int run) {
        const uint64_t target = killAt(random);
        SCOPED_TRACE("run " + std::to_string(run + 1) + ", kill after block " + std::to_string(target));
        test::TempDir dir;
        const WorkingFiles files = NameWorkingFiles(dir.path());
        heard->store(0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) RecordUntilKilled(files, heard);
        int status = 0;
        while (heard->load(std::memory_order_acquire) < target && waitpid(child, &status, WNOHANG) == 0)
            std::this_thread::yield();
        kill(child, SIGKILL);
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the recorder ended by itself: " << status;
        const uint64_t blocksHeard = heard->load();

        const std::string note = ClearStaleWorkingFiles(files);
        ASSERT_NE(note.find("interrupted"), std::string::npos) << "the user was not told: " << note;
        EXPECT_FALSE(platform::fileExists(files.RawFileName));
        EXPECT_FALSE(platform::fileExists(files.RingFileName));
        platform::RawFile f;
        ASSERT_TRUE(f.open(files.FoundRecordingName, platform::RawFile::Mode::Read)) << "nothing kept";
        // In the first pass a kill can cut the last block short; the editor
        // loads whole blocks only.
        const uint64_t blocks = uint64_t(f.size()) / BlockBytes;
        if (f.size() % BlockBytes != 0) EXPECT_LT(blocks, RingBlocks) << "a part block in a wrapped ring";
        ASSERT_GT(blocks, 0u);
        EXPECT_LE(blocks, RingBlocks);
        ++kept;

        // Every frame one on from the one before, from the first kept to the last.
        std::vector<uint8_t> block(BlockBytes);
        ASSERT_EQ(f.readAt(0, block.data(), BlockBytes), BlockBytes);
        const uint64_t first = FrameAt(block.data());
        uint64_t runBreaks = 0;
        for (uint64_t b = 0; b < blocks; ++b) {
            ASSERT_EQ(f.readAt(b * BlockBytes, block.data(), BlockBytes), BlockBytes);
            for (uint32_t i = 0; i < BlockFrames; ++i)
                if (FrameAt(&block[4 * i]) != ((first + b * BlockFrames + i) & 0xFFFFFFFF)) {
                    ++runBreaks;
                    break;
                }
        }
        breaks += runBreaks;
        EXPECT_EQ(runBreaks, 0u) << "starting at frame " << first;
        EXPECT_EQ(first % BlockFrames, 0u);
        // What was heard after the last kept block: the half being filled and one poll.
        const uint64_t lastKept = first / BlockFrames + blocks;
        ASSERT_GE(blocksHeard, lastKept);
        const uint64_t lost = blocksHeard - lastKept;
        maxLost = std::max(maxLost, lost);
        EXPECT_LE(lost, uint64_t{HalfBlocks} + 1) << "heard " << blocksHeard << " blocks, kept up to " << lastKept;
        // A wrapped ring is kept whole.
        if (lastKept > RingBlocks) EXPECT_EQ(blocks, RingBlocks);
    };
    for (int run = 0; run < runs; ++run) oneRun(run);
    munmap(shared, sizeof(std::atomic<uint64_t>));
    std::printf("reliability-summary fault=kill-loop runs=%d kept=%d max_lost_s=%.2f breaks=%llu\n", runs, kept,
                double(maxLost) / 10.0, static_cast<unsigned long long>(breaks));
}

}  // namespace
}  // namespace orv

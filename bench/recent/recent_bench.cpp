// Taking a full ring's last minutes out of the way of a running loop
// recording (everything between Ctrl+K and the file dialog) against `cp` of
// the same ring file on the same disk, in the same run, sides in turn.
// Usage: orv_recent_bench WORK_FOLDER [MINUTES]
// Prints the wall seconds of each side (medians) and the ratio.
//
// With --live, the same with a recording running on the real capture device
// (the counting signal of the bench's sound server): a full 60-minute ring,
// the copy and the whole save (WAV, or MP3 with "mp3") with the timers polled
// between the save's blocks as the window's event pumps do, then some more
// recording; prints the times, the longest gap between two polls (the time
// the meters and times stood still) and where it fell, and the breaks in
// what was recorded meanwhile.
// Usage: orv_recent_bench --live WORK_FOLDER [wav|mp3]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "export/save_job.h"
#include "platform/alsa_stats.h"
#include "platform/raw_file.h"
#include "platform/system.h"
#include "platform/wave_in.h"
#include "record/recent_recording.h"
#include "bench/headless_recorder.h"

using namespace orv;

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Fail(const std::string& why) {
    std::fprintf(stderr, "%s\n", why.c_str());
    std::exit(1);
}

double Copy(const std::string& from, const std::string& to) {
    const double start = Now();
    const pid_t pid = fork();
    if (pid == 0) {
        execlp("cp", "cp", from.c_str(), to.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("cp failed");
    return Now() - start;
}


// Frames where the counting signal (left counts up, right is its complement)
// does not continue, after the silence before it arrives.
uint64_t CountingBreaks(const std::vector<int16_t>& s) {
    size_t i = 0;
    auto counting = [&](size_t f) { return uint16_t(s[2 * f]) == uint16_t(~uint16_t(s[2 * f + 1])); };
    const size_t frames = s.size() / 2;
    while (i < frames && !counting(i)) ++i;
    if (i == frames) return 1;
    uint64_t breaks = 0;
    for (++i; i < frames; ++i)
        if (!counting(i) || uint16_t(s[2 * i]) != uint16_t(s[2 * i - 2] + 1)) ++breaks;
    return breaks;
}

int Live(const std::string& folder, bool mp3) {
    auto device = platform::makeWaveIn(platform::chooseSoundBackend());
    if (!device || device->getNumDevs() == 0) Fail("no capture device");
    bench::HeadlessRecorder r(*device, folder);
    CaptureState& cap = r.cap;
    CaptureEngine& engine = r.engine;
    RecordingControl& control = r.control;
    control.ApplyRecordingMode(7);  // Loop 60 min
    control.TimerStatusTimer();
    control.BtnRecordClick();
    if (!cap.Recording) Fail("the recording did not start");
    // An hour already recorded: the ring full of older sound, the next half
    // going to its front, as after the ring's first wrap.
    const uint32_t ring = uint32_t(cap.LoopHalves) * HalfBlocks;
    std::vector<uint8_t> older(size_t{HalfBlocks} * BlockBytes * 64, 0x11);
    for (uint64_t at = 0; at < uint64_t{ring} * BlockBytes; at += older.size())
        cap.RawStream.writeAt(at, older.data(), std::min<uint64_t>(older.size(), uint64_t{ring} * BlockBytes - at));
    cap.RingFilled = true;
    cap.HalvesWritten = cap.LoopHalves;

    // The window's two timers, due every 100 and 200 ms, run wherever events run.
    auto last = std::chrono::steady_clock::now();
    int ticks = 0;
    double longestGap = 0;
    // Where the longest gap ended: while copying, while writing, or across
    // the save's end (its sync and rename), which no pump interrupts.
    const char* phase = "recording";
    const char* longestIn = "recording";
    auto pump = [&] {
        const auto now = std::chrono::steady_clock::now();
        const double gap = std::chrono::duration<double>(now - last).count();
        if (gap < 0.1) return;
        if (gap > longestGap) {
            longestGap = gap;
            longestIn = phase;
        }
        last = now;
        control.TimerRecTimer();
        if (++ticks % 2 == 0) control.TimerStatusTimer();
    };
    auto recordFor = [&](double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end && cap.Recording) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            pump();
        }
    };
    recordFor(10);

    std::string message;
    phase = "the copy";
    double start = Now();
    auto taken = TakeRecentRecording(cap, folder + "/Recent.raw", -1, 0, [&] { pump(); return true; }, message);
    const double copySeconds = Now() - start;
    if (!taken) Fail(message);
    SaveJob job;
    job.Pieces = taken->Pieces();
    job.Range = {1, taken->Blocks()};
    job.SaveAsWav = !mp3;
    job.TargetPath = folder + (mp3 ? "/recent.mp3" : "/recent.wav");
    SaveProgress progress;
    progress.pump = pump;
    phase = "the save's writing";
    start = Now();
    const SaveResult result = RunSaveJob(job, taken->Sources(), progress, platform::EncoderLoaderFor());
    const double saveSeconds = Now() - start;
    phase = "the save's end (sync, rename)";
    pump();
    phase = "recording";
    if (!result.ok()) Fail("the save failed: " + result.message);
    taken.reset();
    recordFor(5);
    const uint64_t written = cap.BlocksWritten;
    control.BtnStopClick();
    engine.CloseCapture();

    // Everything recorded since the start lies at the ring's front, in order.
    const uint64_t blocks = std::min<uint64_t>(cap.BlocksWritten, ring);
    std::vector<int16_t> samples(blocks * BlockFrames * 2);
    platform::RawFile f;
    if (!f.open(cap.RawFileName, platform::RawFile::Mode::Read) ||
        f.readAt(0, samples.data(), samples.size() * 2) != samples.size() * 2)
        Fail("cannot read the recording");
    platform::CaptureStats stats;
    if (auto* s = dynamic_cast<platform::CaptureStatsSource*>(device.get())) stats = s->captureStats();
    std::printf("live: 60-min ring (%u blocks), save as %s, %.1f s recorded in all (%llu blocks written before Stop)\n",
                ring, mp3 ? "MP3 128 kbps" : "WAV 44.1 kHz 16-bit stereo", double(cap.BlocksWritten) / 10,
                static_cast<unsigned long long>(written));
    std::printf("  copy (Ctrl+K to the dialog) %.2f s, save %.2f s, longest gap between polls %.2f s (in %s)\n",
                copySeconds, saveSeconds, longestGap, longestIn);
    std::printf("  breaks in the running recording: %llu; device gaps %llu, frames lost %llu, overruns %llu\n",
                static_cast<unsigned long long>(CountingBreaks(samples)), static_cast<unsigned long long>(stats.gaps),
                static_cast<unsigned long long>(stats.framesLost), static_cast<unsigned long long>(stats.overruns));
    platform::removeFile(cap.RawFileName);
    platform::removeFile(job.TargetPath);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--live") return Live(argv[2], argc > 3 && std::string(argv[3]) == "mp3");
    if (argc < 2) Fail("usage: orv_recent_bench WORK_FOLDER [MINUTES]");
    const std::string work = argv[1];
    const int minutes = argc > 2 ? std::max(3, std::atoi(argv[2])) : 60;
    const uint32_t ring = uint32_t(minutes) * 600;

    CaptureState cap;
    cap.RawFileName = work + "/Orvane.raw";
    cap.LoopMode = true;
    cap.LoopHalves = minutes * 30;
    cap.RingFilled = true;
    if (!cap.RawStream.open(cap.RawFileName, platform::RawFile::Mode::Create)) Fail("cannot create the ring");
    // Each block numbered, so the copy's order can be checked.
    std::vector<uint8_t> block(BlockBytes);
    for (uint32_t b = 1; b <= ring; ++b) {
        for (uint32_t i = 0; i < BlockBytes; i += 4) std::memcpy(&block[i], &b, 4);
        if (cap.RawStream.writeAt(BlockOffset(b), block.data(), BlockBytes) != BlockBytes) Fail("cannot write the ring");
    }
    // The ring's newest block two thirds of the way along, on a half's end.
    const uint32_t newest = ring / 3 * 2 / HalfBlocks * HalfBlocks;
    cap.RawStream.seek(uint64_t{newest} * BlockBytes);
    cap.BlocksWritten = uint64_t{ring} * 2;

    const std::string copyPath = work + "/Recent.raw", cpTarget = work + "/cp.raw";
    std::vector<double> ours, cp;
    auto takeOurs = [&] {
        std::string message;
        const double start = Now();
        auto taken = TakeRecentRecording(cap, copyPath, -1, 0, [] { return true; }, message);
        ours.push_back(Now() - start);
        if (!taken) Fail(message);
        platform::RawFile copy;
        uint32_t first = 0, last = 0;
        if (!copy.open(copyPath, platform::RawFile::Mode::Read) || copy.size() != int64_t(ring) * BlockBytes ||
            copy.readAt(0, &first, 4) != 4 || copy.readAt(BlockOffset(ring), &last, 4) != 4 || first != newest + 1 ||
            last != newest)
            Fail("the copy is not the ring in time order");
    };
    auto takeCp = [&] {
        cp.push_back(Copy(cap.RawFileName, cpTarget));
        platform::removeFile(cpTarget);
    };
    // Sides in turn, each round starting with the other; neither pays for
    // the write-back of what the other left in the page cache.
    for (int run = 0; run < 5; ++run) {
        for (int side = 0; side < 2; ++side) {
            ::sync();
            if ((run + side) % 2 == 0)
                takeOurs();
            else
                takeCp();
        }
    }
    const double o = Median(ours), c = Median(cp);
    std::printf("ring of %d min (%.0f MB), medians of 5, sides in turn\n", minutes, double(ring) * BlockBytes / 1e6);
    std::printf("  Ctrl+K to the file dialog: %.3f s wall\n", o);
    std::printf("  cp of the ring file:        %.3f s wall\n", c);
    std::printf("  ratio ours / cp: %.2fx\n", o / c);
    return 0;
}

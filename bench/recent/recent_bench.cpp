// Taking a full ring's last minutes out of the way of a running loop
// recording (everything between Ctrl+K and the file dialog) against `cp` of
// the same ring file on the same disk, in the same run, sides in turn.
// Usage: orv_recent_bench WORK_FOLDER [MINUTES]
// Prints the wall seconds of each side (medians) and the ratio.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/raw_file.h"
#include "record/recent_recording.h"

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

}  // namespace

int main(int argc, char** argv) {
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
    for (int run = 0; run < 3; ++run) {
        std::string message;
        const double start = Now();
        auto taken = TakeRecentRecording(cap, copyPath, -1, 0, [] {}, message);
        ours.push_back(Now() - start);
        if (!taken) Fail(message);
        platform::RawFile copy;
        uint32_t first = 0, last = 0;
        if (!copy.open(copyPath, platform::RawFile::Mode::Read) || copy.size() != int64_t(ring) * BlockBytes ||
            copy.readAt(0, &first, 4) != 4 || copy.readAt(BlockOffset(ring), &last, 4) != 4 || first != newest + 1 ||
            last != newest)
            Fail("the copy is not the ring in time order");
        taken.reset();
        cp.push_back(Copy(cap.RawFileName, cpTarget));
        platform::removeFile(cpTarget);
    }
    const double o = Median(ours), c = Median(cp);
    std::printf("ring of %d min (%.0f MB), medians of 3, sides in turn\n", minutes, double(ring) * BlockBytes / 1e6);
    std::printf("  Ctrl+K to the file dialog: %.3f s wall\n", o);
    std::printf("  cp of the ring file:        %.3f s wall\n", c);
    std::printf("  ratio ours / cp: %.2fx\n", o / c);
    return 0;
}

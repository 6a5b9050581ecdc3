#include "shell/working_folder.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <optional>

#include "export/wav_save.h"
#include "platform/raw_file.h"
#include "platform/replace_file.h"
#include "record/format.h"
#include "record/found_recording.h"
#include "record/marker_file.h"
#include "record/time_text.h"
#include "record/ring_position.h"

namespace orv {

using namespace platform;

// Makes folder and any missing parents; true when it exists afterwards.
static bool MakeFolders(const std::string& folder) {
    if (folder.empty() || dirExists(folder)) return true;
    const auto slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash))) return false;
    return makeDir(folder);
}

std::string ChooseWorkingFolder(const std::string& dataFolder, const std::string& exeFolder, bool installed) {
    const std::string own = dataFolder.empty() ? std::string() : dataFolder + "/Orvane Recorder";
    if (!own.empty() && dirExists(own)) return own;
    const std::string beside = exeFolder + "/Temp";
    if (own.empty() || (!installed && (dirExists(beside) || makeDir(beside)))) return beside;
    // PrepareWorkingFolder makes the last level and reports a failure.
    MakeFolders(dataFolder);
    return own;
}

bool PrepareWorkingFolder(const std::string& folder, std::string& error) {
    if (dirExists(folder) || makeDir(folder)) return true;
    error = "Can not create " + folder;
    return false;
}

WorkingFiles NameWorkingFiles(const std::string& folder) {
    return {folder, folder + "/Orvane.raw", folder + "/Edit.raw", folder + "/Clp.raw", folder + "/Orvane.spv",
            folder + "/test", folder + "/Orvane.pos", folder + "/Recent.raw", folder + "/Orvane.mrk"};
}

static std::string RecordedAtName(const std::string& folder, int64_t mtime, const char* extension) {
    std::time_t t = mtime >= 0 ? std::time_t(mtime) : std::time(nullptr);
    std::tm tm {};
    localtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &tm);
    const std::string base = folder + "/Orvane " + stamp;
    std::string name = base + extension;
    for (int n = 2; fileExists(name); ++n) name = base + " (" + std::to_string(n) + ")" + extension;
    return name;
}

// The ring's newest block when the ring position says the recording wrapped
// and fits it, with the blocks of a half a kill cut off (left out: half new,
// half old sound).
static std::optional<uint32_t> RingSplit(const WorkingFiles& files, uint32_t& skip) {
    skip = 0;
    const auto ring = ReadRingPositionFile(files.RingFileName);
    return ring ? RingSplitOfFile(*ring, files.RawFileName, &skip) : std::nullopt;
}

// Moves from to to so that a power cut after leaves the recording under one
// of the names: its data on the disk before the move, the move on the disk
// with the folder.
static bool MoveDurably(const std::string& from, const std::string& to) {
    RawFile f;
    if (f.open(from, RawFile::Mode::ReadWrite)) f.flush();
    f.close();
    if (!renameFile(from, to)) return false;
    const auto slash = to.find_last_of('/');
    syncFolder(slash == std::string::npos ? "." : to.substr(0, slash == 0 ? 1 : slash));
    return true;
}

// Puts the interrupted recording at target: copied in time order when the
// ring position says it wrapped, else moved as it lies. The copy takes the
// name only once it is on the disk, and the ring goes only after that.
// ordered (when given) tells whether it went in time order or as it lies.
static bool KeepInterrupted(const WorkingFiles& files, const std::string& target, const CopyProgress& progress,
                            bool* ordered = nullptr) {
    uint32_t skip = 0;
    if (ordered) *ordered = false;
    if (const auto split = RingSplit(files, skip)) {
        RawFile in;
        std::string why;
        if (in.open(files.RawFileName, RawFile::Mode::Read) &&
            replaceFileWith(
                target, [&](RawFile& part) { return CopyRingInTimeOrder(in, *split, part, why, skip, 0, progress); },
                why)) {
            in.close();
            removeFile(files.RawFileName);
            if (ordered) *ordered = true;
            return true;
        }
        // No room for the copy: keeping it out of order beats losing it.
    }
    return MoveDurably(files.RawFileName, target);
}

// Puts the interrupted recording at target as a WAV file: a header, then its
// samples in time order; past 4 GB the header is RF64's. The samples move by
// the header's length, so they are copied (inside the kernel where the system
// can), and on the disk before the recording they came from goes.
// The markers still in the interrupted recording, in the time order the
// keeping gives it: a wrapped ring's (as RingSplit) or the file's own.
static MarkerList InterruptedMarkers(const WorkingFiles& files, int64_t size, bool ringOrder) {
    if (files.MarkerFileName.empty() || size <= 0) return {};
    RawTimeOrder order{uint32_t(uint64_t(size) / BlockBytes), std::nullopt, 0};
    if (ringOrder) {
        order.Split = RingSplit(files, order.Skip);
        if (!order.Split) order.Skip = 0;
    }
    return ReadRecordingMarkers(files.MarkerFileName, files.RawFileName, order);
}

static bool KeepAsWav(const WorkingFiles& files, const std::string& target, const CopyProgress& progress,
                      const MarkerList& markers) {
    RawFile in;
    const int64_t size = in.open(files.RawFileName, RawFile::Mode::Read) ? in.size() : -1;
    if (size <= 0) return false;
    uint32_t skip = 0;
    const auto split = RingSplit(files, skip);
    // A ring leaves out the half a kill cut off; a kill may cut a frame short.
    const uint64_t data = split ? uint64_t(size) - uint64_t{skip} * BlockBytes : uint64_t(size) / 4 * 4;
    std::vector<uint32_t> frames;
    for (const uint32_t p : markers) frames.push_back((p - 1) * BlockFrames);
    const std::vector<uint8_t> chunks = BuildMarkerChunks(frames);
    // The RIFF length (RF64's in its ds64) counts the chunks, which may tip a
    // file just under 4 GB over to RF64; no marker, no chunk: as ever.
    const uint32_t headerBytes = WavHeaderBytesFor(data, chunks.size());
    auto write = [&](RawFile& part) {
        std::string error;
        const bool copied = split ? CopyRingInTimeOrder(in, *split, part, error, skip, headerBytes, progress)
                                  : CopyInChunks(in, 0, part, headerBytes, data, data, 0, error, progress);
        if (!copied || part.size() != int64_t(headerBytes + data)) return false;
        // The samples are whole frames: the chunks start on an even byte.
        if (!chunks.empty() && part.writeAt(headerBytes + data, chunks.data(), chunks.size()) != chunks.size())
            return false;
        std::array<uint8_t, Rf64HeaderBytes> header{};
        BuildLongWavHeader(header.data(), data, WavParameters{}, chunks.size());
        return part.writeAt(0, header.data(), headerBytes) == headerBytes;
    };
    std::string why;
    if (!replaceFileWith(target, write, why)) return false;
    in.close();
    removeFile(files.RawFileName);
    return true;
}

std::string ClearStaleWorkingFiles(const WorkingFiles& files, const std::function<void(float percent)>& progress) {
    // What a kill left of the last start's keeping: the recording is still there to keep again.
    removeLeftParts(files.WorkingFolder);
    removeFile(files.FoundRecordingName + ".part");
    removeFile(files.EditFileName);
    removeFile(files.ClipFileName);
    if (!files.RecentFileName.empty()) removeFile(files.RecentFileName);
    const int64_t size = fileSize(files.RawFileName);
    if (size <= 0) {
        if (size == 0) removeFile(files.RawFileName);
        if (!files.RingFileName.empty()) removeFile(files.RingFileName);
        if (!files.MarkerFileName.empty()) removeFile(files.MarkerFileName);
        return {};
    }
    // Read before the recording moves: its blocks tell which markers still hold.
    const MarkerList ringMarkers = InterruptedMarkers(files, size, true);
    const MarkerList fileMarkers = InterruptedMarkers(files, size, false);
    // What was kept: a half cut off by the kill is not in it.
    auto length = [](const std::string& kept) { return FormatBlockTimeTenths(uint64_t(fileSize(kept)) / BlockBytes, Hours::All); };
    const CopyProgress copyProgress = [&](uint64_t done, uint64_t total) {
        if (progress) progress(total > 0 ? float(double(done) * 100.0 / double(total)) : 100.0f);
    };
    std::string note;
    bool ordered = false;
    if (!fileExists(files.FoundRecordingName) &&
        KeepInterrupted(files, files.FoundRecordingName, copyProgress, &ordered)) {
        // The old summary described the old "test"; its markers are the new one's.
        removeFile(files.PeakFileName);
        std::string error;
        // Without its companion "test" is still whole: a failure costs the markers only.
        WriteCompanionMarkers(CompanionMarkerName(files.FoundRecordingName), files.FoundRecordingName,
                              ordered ? ringMarkers : fileMarkers, error);
        note = "A recording interrupted at the last run (" + length(files.FoundRecordingName) +
               " long) was kept.\nOpen the editor after a recording in continuous mode and choose "
               "\"载入\" to load it.";
    } else {
        const int64_t mtime = fileModifiedTime(files.RawFileName);
        std::string kept = RecordedAtName(files.WorkingFolder, mtime, ".wav");
        // No room for a copy: kept as it lies, which beats losing it.
        if (!KeepAsWav(files, kept, copyProgress, ringMarkers) &&
            !KeepInterrupted(files, kept = RecordedAtName(files.WorkingFolder, mtime, ".raw"), copyProgress))
            // Could not move it aside: leave it, and where its ring stands, rather than lose it.
            return "A recording interrupted at the last run could not be moved and stays as\n" + files.RawFileName;
        note = "A recording interrupted at the last run (" + length(kept) + " long) was kept as\n" + kept;
    }
    if (!files.RingFileName.empty()) removeFile(files.RingFileName);
    if (!files.MarkerFileName.empty()) removeFile(files.MarkerFileName);
    return note;
}

}  // namespace orv

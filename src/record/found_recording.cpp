#include "record/found_recording.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/raw_file.h"
#include "record/marker_file.h"
#include "record/time_text.h"

namespace orv {

using platform::RawFile;

namespace {

void CopyEntries(const PeakTables& from, PeakTables& to, size_t entries) {
    auto copy = [&](const std::vector<int16_t>& a, std::vector<int16_t>& b) {
        const size_t n = std::min(entries, std::min(a.size(), b.size()));
        std::copy_n(a.begin(), n, b.begin());
    };
    copy(from.PeakMaxLeft, to.PeakMaxLeft);
    copy(from.PeakMinLeft, to.PeakMinLeft);
    copy(from.PeakMaxRight, to.PeakMaxRight);
    copy(from.PeakMinRight, to.PeakMinRight);
}

// A summary written before the recording it sits beside may describe another
// recording of the same length.
bool NewerThan(const std::string& a, const std::string& b) {
    std::error_code ea, eb;
    const auto ta = std::filesystem::last_write_time(a, ea);
    const auto tb = std::filesystem::last_write_time(b, eb);
    return !ea && !eb && ta > tb;
}

bool ReadSummary(const std::string& name, const std::string& foundName, uint32_t blocks, PeakTables& peaks) {
    const int64_t size = platform::fileSize(name);
    if (size < 0 || uint64_t(size) / 8 != blocks || !NewerThan(name, foundName)) return false;
    RawFile f;
    if (!f.open(name, RawFile::Mode::Read)) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (f.readAt(0, bytes.data(), bytes.size()) != bytes.size()) return false;
    return ParsePeakSummary(bytes.data(), bytes.size(), blocks, peaks);
}

}  // namespace

namespace {

class ScopedFlag {
public:
    explicit ScopedFlag(bool& f) : f_(f) { f_ = true; }
    ~ScopedFlag() { f_ = false; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    bool& f_;
};

}  // namespace

bool FoundRecordingOffered(const CaptureState& capture, const std::string& foundName) {
    return !capture.LoopMode && !foundName.empty() && platform::fileExists(foundName);
}

void MeasureRawBlockPeaks(const uint8_t* block, PeakTables& peaks, size_t n) {
    int16_t maxL = -32767, minL = 32767, maxR = -32768, minR = 32767;
    for (uint32_t i = 0; i < BlockFrames; ++i) {
        const int16_t l = SampleAt(block + 4 * i);
        const int16_t r = SampleAt(block + 4 * i + 2);
        maxL = std::max(maxL, l);
        minL = std::min(minL, l);
        maxR = std::max(maxR, r);
        minR = std::min(minR, r);
    }
    peaks.PeakMaxLeft[n] = maxL;
    peaks.PeakMinLeft[n] = minL;
    peaks.PeakMaxRight[n] = maxR;
    peaks.PeakMinRight[n] = minR;
}

bool ParsePeakSummary(const uint8_t* data, size_t size, uint32_t totalBlocks, PeakTables& peaks) {
    if (data == nullptr && size > 0) return false;
    if (size / 8 != totalBlocks || size_t{totalBlocks} >= peaks.Size()) return false;
    for (uint32_t n = 1; n <= totalBlocks; ++n) {
        const uint8_t* p = data + size_t{n - 1} * 8;
        peaks.PeakMaxLeft[n] = SampleAt(p);
        peaks.PeakMinLeft[n] = SampleAt(p + 2);
        peaks.PeakMaxRight[n] = SampleAt(p + 4);
        peaks.PeakMinRight[n] = SampleAt(p + 6);
    }
    return true;
}

bool WritePeakSummary(const PeakTables& peaks, uint32_t totalBlocks, const std::string& summaryName,
                      std::string& error) {
    if (size_t{totalBlocks} >= peaks.Size() && totalBlocks > 0) {
        error = "the peak tables do not hold " + std::to_string(totalBlocks) + " blocks";
        return false;
    }
    std::vector<uint8_t> bytes(size_t{totalBlocks} * 8);
    for (uint32_t n = 1; n <= totalBlocks; ++n) {
        uint8_t* p = bytes.data() + size_t{n - 1} * 8;
        PutSample(p, peaks.PeakMaxLeft[n]);
        PutSample(p + 2, peaks.PeakMinLeft[n]);
        PutSample(p + 4, peaks.PeakMaxRight[n]);
        PutSample(p + 6, peaks.PeakMinRight[n]);
    }
    RawFile f;
    if (!f.open(summaryName, RawFile::Mode::Create) || f.writeAt(0, bytes.data(), bytes.size()) != bytes.size()) {
        error = f.lastError();
        f.close();
        // A part-written summary would be read next time if its size fitted.
        platform::removeFile(summaryName);
        return false;
    }
    return true;
}

FoundLoadResult LoadFoundRecording(FoundRecordingState& found, CaptureState& capture, RecordBuffers& buffers,
                                   BusyState& busy, const std::string& foundName, const std::string& summaryName,
                                   const FoundProgress& progress) {
    FoundLoadResult result;
    if (busy.Busy() || found.Loading) {
        result.Message = "Another operation is still running; " + foundName + " was not loaded.";
        return result;
    }
    BusyGuard guard(busy);
    ScopedFlag loading(found.Loading);
    const std::string goingOn = "\nThe editor goes on with the recording just made.";

    RawFile f;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(foundName, ec)) {
        result.Outcome = FoundLoad::OpenFailed;
        result.Message = "Can not open " + foundName + "\nIt is not a file." + goingOn;
        return result;
    }
    // "test" is never written; a read-only one still loads.
    if (!f.open(foundName, RawFile::Mode::ReadWrite) && !f.open(foundName, RawFile::Mode::Read)) {
        result.Outcome = FoundLoad::OpenFailed;
        result.Message = "Can not open " + foundName + "\n" + f.lastError() + goingOn;
        return result;
    }
    const int64_t size = f.size();
    if (size < 0) {
        result.Outcome = FoundLoad::OpenFailed;
        result.Message = "Can not read " + foundName + "\n" + f.lastError() + goingOn;
        return result;
    }
    const uint64_t blocks64 = uint64_t(size) / BlockBytes;
    if (blocks64 > MaxFoundBlocks || buffers.Peaks.Size() <= blocks64) {
        result.Outcome = FoundLoad::Refused;
        result.Message = "The recording found is " + FormatBlockTimeTenths(blocks64, Hours::All) + " long (" + std::to_string(blocks64) +
                         " blocks); the editor holds at most " + FormatBlockTimeTenths(MaxFoundBlocks, Hours::All) + " (" +
                         std::to_string(MaxFoundBlocks) + " blocks)." + goingOn;
        return result;
    }
    const auto blocks = static_cast<uint32_t>(blocks64);

    // Set the recording just made aside once; a second load keeps the first copy.
    const bool keptNow = !found.Kept.Valid;
    if (keptNow) {
        KeptRecording& k = found.Kept;
        k.RawFileName = capture.RawFileName;
        k.TotalBlocks = capture.TotalBlocks;
        k.LastBlockSeen = capture.LastBlockSeen;
        k.LastWrittenBlock = capture.LastWrittenBlock;
        k.RingFilled = capture.RingFilled;
        k.RecordedLoopMode = capture.RecordedLoopMode;
        k.Markers = capture.Markers;
        const size_t entries = std::min<size_t>(size_t{capture.TotalBlocks} + 1, buffers.Peaks.Size());
        k.Peaks.Allocate(entries);
        CopyEntries(buffers.Peaks, k.Peaks, entries);
        k.Valid = true;
    }

    if (ReadSummary(summaryName, foundName, blocks, buffers.Peaks)) {
        result.SummaryRead = true;
    } else {
        std::vector<uint8_t> local;
        uint8_t* chunk = buffers.PlaybackMemory.data();
        size_t chunkBlocks = buffers.PlaybackMemory.size() / BlockBytes;
        if (chunkBlocks == 0) {
            local.resize(size_t{BlockBytes} * CaptureBlockCount);
            chunk = local.data();
            chunkBlocks = CaptureBlockCount;
        }
        for (uint32_t n = 1; n <= blocks;) {
            const size_t count = std::min<size_t>(chunkBlocks, size_t{blocks} - n + 1);
            const size_t bytes = count * BlockBytes;
            if (f.readAt(BlockOffset(n), chunk, bytes) != bytes) {
                // Put the tables back as they were: nothing has changed.
                result.Outcome = FoundLoad::OpenFailed;
                result.Message = "Can not read " + foundName + "\n" + f.lastError() + goingOn;
                if (keptNow) {
                    CopyEntries(found.Kept.Peaks, buffers.Peaks, found.Kept.Peaks.Size());
                    found.Kept = KeptRecording{};
                }
                return result;
            }
            for (size_t k = 0; k < count; ++k, ++n) {
                MeasureRawBlockPeaks(chunk + k * BlockBytes, buffers.Peaks, n);
                found.ProgressPercent = static_cast<float>(double(n) * 100.0 / double(blocks));
                if (progress) progress(found.ProgressPercent);
            }
        }
        std::string error;
        result.SummaryWritten = WritePeakSummary(buffers.Peaks, blocks, summaryName, error);
        if (!result.SummaryWritten)
            result.Message = "The peak summary " + summaryName + " could not be written\n" + error;
    }

    capture.RawStream.close();
    capture.RawStream = std::move(f);
    capture.RawFileName = foundName;
    capture.TotalBlocks = blocks;
    capture.LastBlockSeen = blocks;
    // "test" is in time order from its first block, whatever the last recording was.
    capture.LastWrittenBlock = blocks;
    capture.RingFilled = false;
    capture.RecordedLoopMode = false;
    capture.Markers = ReadRecordingMarkers(CompanionMarkerName(foundName), foundName, RawTimeOrder{blocks, std::nullopt, 0});
    result.Outcome = FoundLoad::Loaded;
    return result;
}

std::string RestoreRecordingJustMade(FoundRecordingState& found, CaptureState& capture, RecordBuffers& buffers) {
    if (!found.Kept.Valid) return {};
    KeptRecording k = std::move(found.Kept);
    found.Kept = KeptRecording{};
    capture.RawStream.close();
    capture.RawFileName = k.RawFileName;
    capture.TotalBlocks = k.TotalBlocks;
    capture.LastBlockSeen = k.LastBlockSeen;
    capture.LastWrittenBlock = k.LastWrittenBlock;
    capture.RingFilled = k.RingFilled;
    capture.RecordedLoopMode = k.RecordedLoopMode;
    capture.Markers = std::move(k.Markers);
    CopyEntries(k.Peaks, buffers.Peaks, k.Peaks.Size());
    if (capture.RawFileName.empty() || !platform::fileExists(capture.RawFileName)) return {};
    if (!capture.RawStream.open(capture.RawFileName, RawFile::Mode::ReadWrite))
        return "Can not open " + capture.RawFileName + "\n" + capture.RawStream.lastError();
    return {};
}

}  // namespace orv

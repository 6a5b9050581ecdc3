#include "record/capture_engine.h"

#include <algorithm>
#include <cstring>

#include "record/marker_file.h"
#include "record/ring_position.h"

namespace orv {

using namespace platform;

uint32_t RingBlocksOf(const CaptureState& s) {
    // Once stopped the mode list may change the ring's length; the file keeps it.
    if (!s.Recording) return s.RecordedLoopMode && s.RingFilled ? s.TotalBlocks : 0;
    return s.LoopMode && s.LoopHalves > 0 ? uint32_t(s.LoopHalves) * HalfBlocks : 0;
}

uint32_t CountOfSequence(const CaptureState& s, uint32_t seq) {
    const uint32_t ring = RingBlocksOf(s);
    if (ring == 0) return seq;
    // Sequence numbers follow the ring's file blocks: seq is as many blocks
    // after the newest one written as it lies after it round the ring.
    const uint64_t written = s.BlocksWritten;
    const uint32_t newest = written == 0 ? 0 : uint32_t((written - 1) % ring) + 1;
    const uint64_t ahead = (uint64_t{seq} + 2 * uint64_t{ring} - newest - 1) % ring + 1;
    return static_cast<uint32_t>(written + ahead);
}

uint32_t FileBlockOfCount(const CaptureState& s, uint32_t count) {
    const uint32_t ring = RingBlocksOf(s);
    return ring == 0 || count == 0 ? count : (count - 1) % ring + 1;
}

MarkerList TimeBarMarkerBlocks(const CaptureState& s) {
    MarkerList blocks;
    // The bar shows a ring's newest pass: a marker leaves it once the pass
    // reaches its block, before the ring overwrites that block on disk.
    const uint32_t ring = RingBlocksOf(s);
    const uint64_t newest = s.Recording && s.LastBlockSeen > 0 ? CountOfSequence(s, s.LastBlockSeen) : 0;
    for (const CaptureState::LiveMarker& m : s.LiveMarkers)
        if (ring == 0 || uint64_t{m.Count} + ring > newest) AddMarker(blocks, FileBlockOfCount(s, m.Count));
    return blocks;
}

MarkerList MarkersInTimeOrder(const CaptureState& s) {
    MarkerList markers;
    const uint32_t n = s.TotalBlocks;
    const uint32_t ring = RingBlocksOf(s);
    if (n == 0) return markers;
    // The count of the newest block on disk: a failed write may have left
    // whole blocks of its half after the last one counted.
    uint64_t newest = s.BlocksWritten;
    if (ring > 0 && s.LastWrittenBlock > 0) {
        const uint32_t counted = newest == 0 ? 0 : uint32_t((newest - 1) % ring) + 1;
        newest += (uint64_t{s.LastWrittenBlock} + ring - counted) % ring;
    }
    for (const CaptureState::LiveMarker& m : s.LiveMarkers) {
        if (ring == 0) {
            if (m.Count <= n) AddMarker(markers, m.Count);
            continue;
        }
        if (m.Count > newest || m.Count + uint64_t{n} <= newest) continue;
        AddMarker(markers, static_cast<uint32_t>(m.Count + uint64_t{n} - newest));
    }
    return markers;
}

bool CaptureEngine::AddMarkerNow() {
    if (!s_.Recording) return false;
    // The block filling now, after the newest one the poll has seen.
    const uint32_t count = CountOfSequence(s_, s_.LastBlockSeen + 1);
    auto it = std::lower_bound(s_.LiveMarkers.begin(), s_.LiveMarkers.end(), count,
                               [](const CaptureState::LiveMarker& m, uint32_t c) { return m.Count < c; });
    if (it != s_.LiveMarkers.end() && it->Count == count) return false;
    s_.LiveMarkers.insert(it, CaptureState::LiveMarker{count, false});
    return true;
}

void CaptureEngine::NoteMarkersOnDisk() {
    const uint32_t ring = RingBlocksOf(s_);
    if (ring > 0)
        std::erase_if(s_.LiveMarkers, [&](const CaptureState::LiveMarker& m) {
            return uint64_t{m.Count} + ring <= s_.BlocksWritten;
        });
    for (CaptureState::LiveMarker& m : s_.LiveMarkers) {
        if (m.OnFile || m.Count > s_.BlocksWritten) continue;
        m.OnFile = true;  // tried once: a file that cannot be written costs the markers after a crash only
        if (s_.MarkerFileName.empty() || b_.BlockScratch.size() < BlockBytes) continue;
        if (!s_.MarkerStream.isOpen()) {
            const auto header = MarkerFileHeader();
            if (!s_.MarkerStream.open(s_.MarkerFileName, RawFile::Mode::Create) ||
                s_.MarkerStream.write(header.data(), header.size()) != header.size()) {
                s_.MarkerStream.close();
                continue;
            }
            if (s_.SyncMilliseconds > 0) s_.MarkerStream.syncEvery(std::chrono::milliseconds(s_.SyncMilliseconds));
        }
        // The block as the disk has it now: what a start after a crash compares.
        const uint32_t fileBlock = FileBlockOfCount(s_, m.Count);
        if (s_.RawStream.readAt(BlockOffset(fileBlock), b_.BlockScratch.data(), BlockBytes) != BlockBytes) continue;
        const auto record = EncodeMarkerRecord({m.Count, fileBlock, BlockCheck(b_.BlockScratch.data(), BlockBytes)});
        s_.MarkerStream.write(record.data(), record.size());
    }
}

std::string CapsName(const WaveInCaps& caps) {
    return std::string(caps.name, strnlen(caps.name, sizeof caps.name));
}

void CaptureEngine::QueueCaptureBlock(int i) {
    ++s_.BlockSequence;
    WaveHeader& h = s_.CaptureHeaders[i];
    h.data = BlockData(i);
    h.bufferLength = BlockBytes;
    h.bytesRecorded.store(0, std::memory_order_relaxed);
    h.user = s_.BlockSequence;
    h.flags = 0;
    h.loops = 0;
    h.next = nullptr;
    h.reserved = 0;
    s_.QueuedSequence[i] = s_.BlockSequence;
    dev_.prepareHeader(h);
    dev_.addBuffer(h);
}

void CaptureEngine::OpenCapture() {
    if (s_.CaptureOpen || s_.MemoryLent) return;
    // A numeric comparison, as the device masks are laid out: any mask from
    // the 44.1 kHz stereo 16-bit flag upwards is taken.
    if (s_.DeviceCaps[0].formats < WAVE_FORMAT_4S16) {
        Message("The audio recording device:\n" + s_.CurrentDeviceName +
                "\ncan not be used!\nPlease install another device.");
        return;
    }
    s_.BlockSequence = 0;
    s_.LastBlockSeen = 0;
    s_.HalvesWritten = 0;
    if (s_.TotalBlocks == 0) s_.TotalBlocks = 1;

    const WaveFormat format;  // 44100 Hz, 2 channels, 16 bits
    const MMResult r = dev_.open(0, format);
    if (r != MMSYSERR_NOERROR) {
        Message(dev_.getErrorText(r));
        return;
    }
    s_.CaptureOpen = true;
    s_.DeviceError.clear();
    s_.DeviceErrorPolls = 0;
    for (int i = 0; i < int(CaptureBlockCount); ++i) QueueCaptureBlock(i);
    dev_.start();
    dev_.getDevCaps(0, s_.DeviceCaps[0]);
}

void CaptureEngine::ProcessCurrent(bool storePeaks) {
    const int i = s_.CurrentBlock;
    ProcessBlock(p_, BlockData(i), b_.LeftSamples.data(), b_.RightSamples.data());
    // Peaks describe the recording; while only monitoring they are left alone.
    if (storePeaks && s_.Recording)
        StoreBlockPeaks(p_, b_.LeftSamples.data(), b_.RightSamples.data(), b_.Peaks,
                        s_.CaptureHeaders[i].user);
    else
        MeasureBlockPeaks(p_, b_.LeftSamples.data(), b_.RightSamples.data());
}

// A block that a late tick already processed before the ring filled keeps
// its user field at 0 (a second pass would remove the DC offset twice); its
// peaks are measured again from the corrected samples under the new number.
void CaptureEngine::RefilePeaks(int i, uint32_t seq) {
    const uint8_t* d = BlockData(i);
    for (uint32_t f = 0; f < BlockFrames; ++f) {
        b_.LeftSamples[f] = SampleAt(d + 4 * f);
        b_.RightSamples[f] = SampleAt(d + 4 * f + 2);
    }
    StoreBlockPeaks(p_, b_.LeftSamples.data(), b_.RightSamples.data(), b_.Peaks, seq);
}

void CaptureEngine::PollCapture() {
    if (!s_.CaptureOpen) return;
    s_.DeviceError = dev_.deviceError();
    s_.DeviceErrorPolls = s_.DeviceError.empty() ? 0 : s_.DeviceErrorPolls + 1;
    s_.CurrentBlock = -1;
    for (int i = 0; i < int(CaptureBlockCount); ++i) {
        const WaveHeader& h = s_.CaptureHeaders[i];
        s_.BlockFull[i] = h.bytesRecorded.load(std::memory_order_acquire) == BlockBytes ? 1 : 0;
        if (s_.BlockFull[i] && s_.LastBlockSeen < h.user) {
            s_.LastBlockSeen = static_cast<uint32_t>(h.user);
            s_.CurrentBlock = i;
        }
    }
    if (s_.CurrentBlock >= 0) {
        ProcessCurrent(true);
        MeasureBlockMeans(p_, b_.LeftSamples.data(), b_.RightSamples.data());
        if (s_.Recording) {
            s_.LastWrittenBlock = s_.LastBlockSeen;
            if (hooks_.PushWaveHistory) hooks_.PushWaveHistory();
            if (hooks_.DrawTimeBarColumn) hooks_.DrawTimeBarColumn();
        }
        s_.CaptureHeaders[s_.CurrentBlock].user = 0;
        const bool minimized = hooks_.Minimized && hooks_.Minimized();
        if (!minimized && hooks_.DrawLiveDisplays) hooks_.DrawLiveDisplays();
    }
    auto halfFull = [&](int h) {
        int sum = 0;
        for (int i = h * 20; i < h * 20 + 20; ++i) sum += s_.BlockFull[i];
        return sum == 20;
    };
    const bool first = halfFull(0), second = halfFull(1);
    // Both halves full only after a stall of more than 2 s; the older goes first.
    if (first && second && s_.QueuedSequence[20] < s_.QueuedSequence[0]) {
        FlushHalf(1);
        if (s_.CaptureOpen) FlushHalf(0);
        return;
    }
    if (first) FlushHalf(0);
    if (second && s_.CaptureOpen) FlushHalf(1);
}

bool CaptureEngine::WriteToRaw(uint64_t offset, const uint8_t* data, size_t bytes) {
    // The disk refused an earlier part in the background: a power cut could
    // lose it, so the recording ends here as after a failed write.
    if (std::string syncError = s_.RawStream.syncError(); !syncError.empty()) {
        StopWriting(offset, std::move(syncError));
        return false;
    }
    size_t written = s_.RawStream.writeAt(offset, data, bytes);
    if (written == bytes) return true;
    const std::string error = s_.RawStream.lastError();
    // A block cut short must not stay half new, half old (a ring's later
    // pass): one more try completes it when the fault has passed.
    if (written % BlockBytes != 0) {
        const size_t blockEnd = std::min<size_t>(bytes, (written / BlockBytes + 1) * size_t{BlockBytes});
        written += s_.RawStream.writeAt(offset + written, data + written, blockEnd - written);
    }
    // Keep whole blocks only, and stop writing: the recording ends here. A
    // file that grew by a part cut short loses that part; a ring's later
    // pass ends inside the file, whose blocks after it are the last pass's.
    const uint64_t whole = written / BlockBytes * uint64_t{BlockBytes};
    const int64_t size = s_.RawStream.size();
    if (size >= 0 && uint64_t(size) > offset + whole && uint64_t(size) < offset + bytes)
        s_.RawStream.truncate(offset + whole);
    StopWriting(offset + whole, error);
    return false;
}

void CaptureEngine::StopWriting(uint64_t end, std::string error) {
    s_.LastWrittenBlock = static_cast<uint32_t>(end / BlockBytes);
    s_.Recording = false;
    s_.WriteFailed = true;
    s_.WriteError = std::move(error);
    Message("Recording was stopped: can not write to " + s_.RawFileName + "\n" + s_.WriteError);
}

void CaptureEngine::FlushHalf(int half) {
    const int firstBlock = half * 20;
    if (s_.Recording && !s_.RawFileName.empty()) {
        ++s_.HalvesWritten;
        for (int i = firstBlock; i < firstBlock + 20; ++i) {
            if (s_.CaptureHeaders[i].user != 0) {
                s_.CurrentBlock = i;
                ProcessCurrent(true);
            }
        }
        if (s_.LoopMode) {
            if (s_.HalvesWritten == s_.LoopHalves) {
                // The ring is full: the next pass numbers from 1 again, starting
                // with the other half, so that block s always lies at file block s.
                s_.BlockSequence = 0;
                s_.LastBlockSeen = 0;
                s_.RingFilled = true;
                const int other = 20 - firstBlock;
                for (int i = other; i < other + 20; ++i) {
                    ++s_.BlockSequence;
                    if (s_.CaptureHeaders[i].user != 0)
                        s_.CaptureHeaders[i].user = s_.BlockSequence;
                    else
                        RefilePeaks(i, s_.BlockSequence);
                    s_.QueuedSequence[i] = s_.BlockSequence;
                }
            } else if (s_.HalvesWritten == s_.LoopHalves + 1) {
                s_.HalvesWritten = 1;
                s_.RawStream.seek(0);
            }
        }
        const uint64_t at = s_.RawStream.position();
        if (WriteToRaw(at, BlockData(firstBlock), HalfBytes)) {
            s_.RawStream.seek(at + HalfBytes);
            s_.BlocksWritten += HalfBlocks;
            WriteRingPosition();
            NoteMarkersOnDisk();
        }
    }
    for (int i = firstBlock; i < firstBlock + 20; ++i) {
        WaveHeader& h = s_.CaptureHeaders[i];
        ++s_.BlockSequence;
        h.bytesRecorded.store(0, std::memory_order_relaxed);
        h.user = s_.BlockSequence;
        s_.QueuedSequence[i] = s_.BlockSequence;
        dev_.addBuffer(h);
    }
    dev_.start();
}

void CaptureEngine::CloseCapture() {
    if (!s_.CaptureOpen) return;
    // Full blocks still in memory, oldest first. Block s belongs at file block
    // s in both modes, which also puts the first blocks of a new loop pass at
    // the front of the ring when the stop falls just after the ring filled.
    std::array<int, CaptureBlockCount> order{};
    int full = 0;
    for (int i = 0; i < int(CaptureBlockCount); ++i)
        if (s_.CaptureHeaders[i].bytesRecorded.load(std::memory_order_acquire) == BlockBytes) order[full++] = i;
    std::sort(order.begin(), order.begin() + full,
              [&](int a, int b) { return s_.QueuedSequence[a] < s_.QueuedSequence[b]; });
    // In a loop recording whose first pass ends among these blocks (no poll
    // got to renumber them), the blocks past the ring's end belong at its front.
    const uint32_t ringBlocks = s_.LoopMode && s_.LoopHalves > 0 ? uint32_t(s_.LoopHalves) * HalfBlocks : 0;
    bool wrote = false;
    for (int k = 0; k < full; ++k) {
        const int i = order[k];
        WaveHeader& h = s_.CaptureHeaders[i];
        uint32_t seq = s_.QueuedSequence[i];
        const bool wrapped = s_.Recording && ringBlocks > 0 && seq > ringBlocks;
        if (wrapped) {
            seq = (seq - 1) % ringBlocks + 1;
            s_.QueuedSequence[i] = seq;
            s_.RingFilled = true;
            if (h.user == 0) RefilePeaks(i, seq);
            else h.user = seq;
        }
        if (h.user != 0) {
            s_.CurrentBlock = i;
            ProcessCurrent(true);
        }
        if (s_.Recording) {
            const uint64_t at = BlockOffset(seq);
            if (WriteToRaw(at, BlockData(i), BlockBytes)) {
                s_.RawStream.seek(at + BlockBytes);
                ++s_.BlocksWritten;
                wrote = true;
            }
        }
        // Oldest first: the last block handled is the newest one.
        if (wrapped || seq > s_.LastBlockSeen) s_.LastBlockSeen = seq;
    }
    // The blocks just written moved the ring on; a start after a crash from
    // here on must see them as the newest.
    if (wrote && s_.Recording) WriteRingPosition();
    if (s_.Recording) {
        // A marker on the block still filling goes to the last one kept.
        for (CaptureState::LiveMarker& m : s_.LiveMarkers)
            if (m.Count > s_.BlocksWritten && s_.BlocksWritten > 0) m.Count = uint32_t(s_.BlocksWritten);
        s_.LiveMarkers.erase(std::unique(s_.LiveMarkers.begin(), s_.LiveMarkers.end(),
                                         [](const auto& a, const auto& b) { return a.Count == b.Count; }),
                             s_.LiveMarkers.end());
        NoteMarkersOnDisk();
    }
    if (s_.MarkerStream.isOpen()) {
        s_.MarkerStream.flush();
        s_.MarkerStream.close();
    }
    dev_.reset();
    for (auto& h : s_.CaptureHeaders) dev_.unprepareHeader(h);
    dev_.close();
    s_.Recording = false;
    s_.CaptureOpen = false;
}

void CaptureEngine::FinishRecording() {
    const bool wasRecording = s_.Recording;
    CloseCapture();
    if (wasRecording && !s_.WriteFailed) s_.LastWrittenBlock = s_.LastBlockSeen;
    const int64_t size = s_.RawStream.size();
    s_.TotalBlocks = size > 0 ? static_cast<uint32_t>(size / BlockBytes) : 0;
    s_.Markers = MarkersInTimeOrder(s_);
}

void CaptureEngine::WriteRingPosition() {
    // Until the ring has filled the file is in time order, and a continuous
    // one always is: a crash finds nothing to put back, so the replace and
    // its syncs are spared.
    if (s_.RingFileName.empty() || !s_.LoopMode || s_.LoopHalves <= 0 || !s_.RingFilled) return;
    RingPosition p;
    p.RingBlocks = uint32_t(s_.LoopHalves) * HalfBlocks;
    p.RingFilled = true;
    p.LastWrittenBlock = static_cast<uint32_t>(s_.RawStream.position() / BlockBytes);
    if (p.LastWrittenBlock == 0) p.LastWrittenBlock = p.RingBlocks;
    if (b_.BlockScratch.size() >= BlockBytes) {
        const uint32_t next = NextRingBlock(p.LastWrittenBlock, p.RingBlocks);
        if (s_.RawStream.readAt(BlockOffset(next), b_.BlockScratch.data(), BlockBytes) == BlockBytes) {
            p.HasNextCheck = true;
            p.NextCheck = BlockCheck(b_.BlockScratch.data(), BlockBytes);
            const uint32_t halfEnd = std::min(p.RingBlocks, next - 1 + HalfBlocks);
            if (s_.RawStream.readAt(BlockOffset(halfEnd), b_.BlockScratch.data(), BlockBytes) == BlockBytes) {
                p.HasHalfEndCheck = true;
                p.HalfEndCheck = BlockCheck(b_.BlockScratch.data(), BlockBytes);
            }
        }
    }
    std::string error;
    // A missing position only costs the order after a crash; recording goes on.
    WriteRingPositionFile(s_.RingFileName, p, error);
}

void CaptureEngine::ListCaptureDevices() {
    const uint32_t n = std::min<uint32_t>(dev_.getNumDevs(), uint32_t(s_.DeviceCaps.size()));
    s_.DeviceNames.assign(n, std::string());
    for (uint32_t d = 0; d < n; ++d) {
        dev_.getDevCaps(d, s_.DeviceCaps[d]);
        s_.DeviceNames[d] = CapsName(s_.DeviceCaps[d]);
    }
}

int CaptureEngine::FindCaptureDevice(const std::string& name) const {
    // An unknown name falls back to device 0, the device the program records from.
    int found = 0;
    for (size_t d = 0; d < s_.DeviceNames.size(); ++d)
        if (s_.DeviceNames[d] == name) found = int(d);
    return found;
}

}  // namespace orv

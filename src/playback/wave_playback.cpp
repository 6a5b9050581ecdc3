#include "playback/wave_playback.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace orv {

using namespace platform;

WavePlayback::WavePlayback(const EditorState& editor, const RawFile& recording, RecordBuffers& buffers,
                           PlaybackSeams seams)
    : editor_(editor), recording_(recording), buffers_(buffers), seams_(std::move(seams)) {
    if (buffers_.PlaybackMemory.size() < size_t{BlockBytes} * PlaybackBufferCount)
        buffers_.PlaybackMemory.assign(size_t{BlockBytes} * PlaybackBufferCount, 0);
    if (buffers_.LeftSamples.size() < BlockFrames) buffers_.LeftSamples.assign(BlockFrames, 0);
    if (buffers_.RightSamples.size() < BlockFrames) buffers_.RightSamples.assign(BlockFrames, 0);
}

WavePlayback::~WavePlayback() {
    // The device must not keep pointers into buffers that outlive nothing.
    if (st_.PlaybackOpen) {
        seams_.Device.reset();
        UnprepareAll();
        seams_.Device.close();
    }
}

void WavePlayback::OpenPlayback() {
    if (st_.PlaybackOpen) return;
    reopenOnPlay_ = false;
    const MMResult r = seams_.Device.open(0, WaveFormat{});
    if (r != MMSYSERR_NOERROR) {
        if (seams_.Message) seams_.Message(seams_.Device.getErrorText(r));
        return;
    }
    st_.PlaybackOpen = true;
    ClearHeaders();
}

void WavePlayback::ClosePlayback() {
    st_.Playing = false;
    if (!st_.PlaybackOpen) return;
    seams_.Device.reset();
    UnprepareAll();
    seams_.Device.close();
    st_.PlaybackOpen = false;
}

void WavePlayback::ClearHeaders() {
    for (WaveOutHeader& h : headers_) {
        h.flags.store(0, std::memory_order_relaxed);
        h.user = 0;
    }
}

void WavePlayback::UnprepareAll() {
    for (WaveOutHeader& h : headers_) seams_.Device.unprepareHeader(h);
}

void WavePlayback::Start(uint32_t from, uint32_t end) {
    if (!st_.PlaybackOpen && reopenOnPlay_) OpenPlayback();
    if (!st_.PlaybackOpen) return;
    ++starts_;
    seams_.Device.reset();
    // Headers handed back by the reset carry the old playback's positions.
    UnprepareAll();
    ClearHeaders();
    end = std::min(end, editor_.TotalBlocks);
    from = std::max<uint32_t>(from, 1);
    if (from > end || editor_.TotalBlocks <= 1) {
        // Nothing lies in the range (an empty recording, a start past the end),
        // or the recording is too short to play: it never starts, so no marks show.
        st_.Playing = false;
        return;
    }
    st_.PlayFrom = st_.PlayNext = st_.PlayPos = from;
    st_.PlayEnd = end;
    played_ = 0;
    st_.Playing = true;
}

void WavePlayback::StartPlayAll() { Start(1, editor_.TotalBlocks); }

void WavePlayback::StartPlaySelection() {
    const uint32_t end = editor_.SelStart == editor_.SelEnd ? editor_.TotalBlocks : editor_.SelEnd;
    Start(editor_.SelStart, end);
}

void WavePlayback::StopPlayback() {
    st_.Playing = false;
    if (st_.PlaybackOpen) seams_.Device.reset();
    st_.PlayEnd = editor_.TotalBlocks;
    st_.PlayFrom = st_.PlayPos;
}

bool WavePlayback::QueuePlaybackBlock(uint32_t i) {
    WaveOutHeader& h = headers_[i];
    h.data = buffers_.PlaybackMemory.data() + size_t{i} * BlockBytes;
    h.bufferLength = BlockBytes;
    h.bytesRecorded = 0;
    h.user = st_.PlayNext;
    h.flags.store(0, std::memory_order_relaxed);
    h.loops = 0;
    h.next = nullptr;
    h.reserved = 0;
    seams_.Device.prepareHeader(h);
    const MMResult r = seams_.Device.write(h);
    ++st_.PlayNext;
    if (r != MMSYSERR_NOERROR) {
        DeviceFailed(r);
        return false;
    }
    return true;
}

bool WavePlayback::FillPlaybackHalf(uint32_t half) {
    const auto pieces = CurrentPieces(editor_);
    for (uint32_t i = half * HalfBlocks; i < (half + 1) * HalfBlocks && st_.PlayNext <= st_.PlayEnd; ++i) {
        uint8_t* buffer = buffers_.PlaybackMemory.data() + size_t{i} * BlockBytes;
        size_t got = 0;
        if (const Piece* piece = FindPiece(pieces, st_.PlayNext)) {
            const RawFile* source = piece->PieceFromRecording ? &recording_ : &editor_.EditFile;
            got = source->readAt(SourceOffset(*piece, st_.PlayNext), buffer, BlockBytes);
        }
        // A block that cannot be read plays as silence rather than stale sound.
        if (got < BlockBytes) std::memset(buffer + got, 0, BlockBytes - got);
        if (!QueuePlaybackBlock(i)) return false;
    }
    return true;
}

bool WavePlayback::HalfDone(uint32_t half) const {
    for (uint32_t i = half * HalfBlocks; i < (half + 1) * HalfBlocks; ++i)
        if (!headers_[i].Done()) return false;
    return true;
}

void WavePlayback::MeasurePeaks(uint32_t i) {
    const uint8_t* block = buffers_.PlaybackMemory.data() + size_t{i} * BlockBytes;
    int16_t* left = buffers_.LeftSamples.data();
    int16_t* right = buffers_.RightSamples.data();
    for (uint32_t f = 0; f < BlockFrames; ++f) {
        left[f] = SampleAt(block + 4 * f);
        right[f] = SampleAt(block + 4 * f + 2);
    }
    MeasureBlockPeaks(peaks_, left, right);
    st_.BlockMaxLeft = peaks_.BlockMaxLeft;
    st_.BlockMaxRight = peaks_.BlockMaxRight;
}

void WavePlayback::DeviceFailed(MMResult result) {
    const std::string text = seams_.Device.getErrorText(result);
    ClosePlayback();
    reopenOnPlay_ = true;
    if (seams_.Message) seams_.Message(text);
}

void WavePlayback::PollPlayback() {
    if (!st_.PlaybackOpen || !st_.Playing || editor_.TotalBlocks <= 1) return;
    if (const MMResult f = seams_.Device.failure(); f != MMSYSERR_NOERROR) {
        DeviceFailed(f);
        return;
    }
    if (st_.PlayNext == st_.PlayFrom) {
        if (FillPlaybackHalf(0)) FillPlaybackHalf(1);
        return;
    }

    // The newest block played decides the position and the meter. The first
    // block counts too: until it has played, the range has not begun (and a
    // range of one block must not end before it is heard).
    std::optional<uint32_t> newest;
    for (uint32_t i = 0; i < PlaybackBufferCount; ++i) {
        const WaveOutHeader& h = headers_[i];
        if (h.Done() && h.user > played_) {
            played_ = static_cast<uint32_t>(h.user);
            newest = i;
        }
    }
    if (newest) {
        st_.PlayPos = played_;
        MeasurePeaks(*newest);
    }

    if (played_ >= st_.PlayEnd) {
        seams_.Device.reset();
        // Events run here; the end is already decided, so a nested tick finds nothing playing.
        st_.Playing = false;
        const uint64_t startsBefore = starts_;
        if (seams_.ProcessEvents) {
            std::optional<BusyGuard> guard;
            if (seams_.Busy) guard.emplace(*seams_.Busy);
            seams_.ProcessEvents();
        }
        if (starts_ != startsBefore || !st_.PlaybackOpen) return;  // a new playback owns the headers now
        st_.PlayNext = 0;
        UnprepareAll();
        return;
    }

    if (HalfDone(0) && !FillPlaybackHalf(0)) return;
    if (HalfDone(1)) FillPlaybackHalf(1);
}

uint32_t WavePlayback::GetPlaybackVolume() {
    if (!st_.PlaybackOpen) return 0;
    uint32_t v = 0;
    if (seams_.Device.getVolume(v) != MMSYSERR_NOERROR) return 0;
    return v;
}

void WavePlayback::SetPlaybackVolume(uint32_t volume) {
    if (st_.PlaybackOpen) seams_.Device.setVolume(volume);
}

}  // namespace orv

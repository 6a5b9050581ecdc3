#pragma once
// Playback of the edited recording through the wave-out device, polled by
// the editor's play timer. Forty one-block buffers in two halves: one half
// plays while the other is refilled from the current history level's pieces.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/raw_file.h"
#include "platform/wave_out.h"
#include "playback/playback.h"
#include "record/busy.h"
#include "record/edit_state.h"
#include "record/format.h"
#include "record/processing.h"

namespace orv {

inline constexpr uint32_t PlaybackBufferCount = CaptureBlockCount;  // 40 blocks, 4 s

struct PlaybackSeams {
    platform::WaveOut& Device;
    // Shows the device's error text (a message box).
    std::function<void(const std::string&)> Message;
    // Lets pending window events run; may be empty.
    std::function<void()> ProcessEvents;
    // Held while events run inside PollPlayback; may be null.
    BusyState* Busy = nullptr;
};

class WavePlayback final : public PlaybackControl {
public:
    // editor: the current level's pieces, SelStart/SelEnd, TotalBlocks and
    // Edit.raw; recording: the raw recording file; buffers: PlaybackMemory
    // (the 40 buffers) and LeftSamples/RightSamples (meter peaks). All must
    // outlive this object.
    WavePlayback(const EditorState& editor, const platform::RawFile& recording, RecordBuffers& buffers,
                 PlaybackSeams seams);
    ~WavePlayback() override;

    PlaybackState& State() override { return st_; }
    void OpenPlayback() override;
    void ClosePlayback() override;
    void StartPlayAll() override;
    void StartPlaySelection() override;
    void StopPlayback() override;
    void PollPlayback() override;
    uint32_t GetPlaybackVolume() override;
    void SetPlaybackVolume(uint32_t volume) override;

    const platform::WaveOutHeader& Header(uint32_t i) const { return headers_[i]; }

private:
    void Start(uint32_t from, uint32_t end);
    bool QueuePlaybackBlock(uint32_t i);
    bool FillPlaybackHalf(uint32_t half);
    bool HalfDone(uint32_t half) const;
    void ClearHeaders();
    void UnprepareAll();
    void MeasurePeaks(uint32_t i);
    // The device failed: stop, close it, show why; the next play opens it again.
    void DeviceFailed(platform::MMResult result);

    const EditorState& editor_;
    const platform::RawFile& recording_;
    RecordBuffers& buffers_;
    PlaybackSeams seams_;
    PlaybackState st_;
    std::array<platform::WaveOutHeader, PlaybackBufferCount> headers_{};
    ProcessingState peaks_;  // only its block extremes are used
    uint32_t played_ = 0;    // newest position the device has finished; 0 before the first
    uint64_t starts_ = 0;    // playbacks started, to notice one started while events ran
    bool reopenOnPlay_ = false;
};

}  // namespace orv

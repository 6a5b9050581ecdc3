#pragma once
// What the editor window asks of playback. The window owns the play timer
// and the drawing of the cursor, marks and meter; the playback module owns
// the device, its buffers and the positions below.
#include <cstdint>

namespace orv {

struct PlaybackState {
    bool PlaybackOpen = false;
    bool Playing = false;
    uint32_t PlayFrom = 1;
    uint32_t PlayEnd = 0;   // last position to play, inclusive
    uint32_t PlayNext = 0;  // next position to queue; 0 once playback has ended
    uint32_t PlayPos = 1;   // newest position the device has finished playing
    uint32_t PlaybackVolume = 0;  // low word left, high word right
    // Peaks of the newest block played, for the playback meter.
    int16_t BlockMaxLeft = 0;
    int16_t BlockMaxRight = 0;
};

class PlaybackControl {
public:
    virtual ~PlaybackControl() = default;
    virtual PlaybackState& State() = 0;
    virtual void OpenPlayback() = 0;         // the editor is shown
    virtual void ClosePlayback() = 0;        // the editor is closed
    virtual void StartPlayAll() = 0;         // 1 … the edited length
    virtual void StartPlaySelection() = 0;   // the selection, or SelStart … end when none
    virtual void StopPlayback() = 0;         // stop button; before every editing command and save
    virtual void PollPlayback() = 0;         // step 1 of every play-timer tick
    virtual uint32_t GetPlaybackVolume() = 0;  // 0 when the device is not open
    virtual void SetPlaybackVolume(uint32_t volume) = 0;
};

// An editor without a playback device: every call does nothing.
class NullPlayback final : public PlaybackControl {
public:
    PlaybackState& State() override { return state_; }
    void OpenPlayback() override {}
    void ClosePlayback() override {}
    void StartPlayAll() override {}
    void StartPlaySelection() override {}
    void StopPlayback() override { state_.Playing = false; }
    void PollPlayback() override {}
    uint32_t GetPlaybackVolume() override { return 0; }
    void SetPlaybackVolume(uint32_t) override {}

private:
    PlaybackState state_;
};

}  // namespace orv

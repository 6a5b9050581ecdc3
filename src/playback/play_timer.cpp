#include "playback/play_timer.h"

#include "record/processing.h"

namespace orv {

PlayTimerView PlayTimerTick(PlaybackControl& playback, bool volumeControlOpen, bool progressShown,
                            float progressPercent) {
    playback.PollPlayback();
    PlaybackState& st = playback.State();
    if (!st.Playing) st.BlockMaxLeft = st.BlockMaxRight = 0;
    PlayTimerView v;
    v.MeterLeft = st.BlockMaxLeft;
    v.MeterRight = st.BlockMaxRight;
    if (volumeControlOpen) {
        st.PlaybackVolume = playback.GetPlaybackVolume();
        v.Volume = st.PlaybackVolume;
    }
    if (progressShown) v.Progress = static_cast<int>(RoundEven(progressPercent));
    v.ShowPlayMarks = st.Playing;
    v.PlayPos = st.PlayPos;
    return v;
}

int PlayMarkLeft(uint32_t playPos, float overviewScale, int viewLeft) {
    return static_cast<int>(RoundEven(static_cast<float>(playPos) * overviewScale)) + viewLeft - 8;
}

int PlayCursorLeft(uint32_t playPos, uint32_t viewFirstBlock, uint32_t blocksPerColumn, int viewLeft,
                   int viewRight) {
    if (blocksPerColumn == 0) return -1;
    const double offset = (double(playPos) - double(viewFirstBlock)) / double(blocksPerColumn);
    const int64_t x = viewLeft + RoundEven(offset);
    return x > viewLeft && x < viewRight ? static_cast<int>(x) : -1;
}

float VolumeKnob::VolumeScale() const {
    const int span = TrackWidth - KnobWidth;
    return span > 0 ? 65535.0f / static_cast<float>(span) : 65535.0f;
}

int VolumeKnob::LeftForVolume(uint32_t volume) const {
    return static_cast<int>(RoundEven(static_cast<float>(volume >> 16) / VolumeScale())) + TrackLeft;
}

std::optional<uint32_t> VolumeKnob::VolumeForLeft(int newLeft) const {
    if (newLeft < TrackLeft || newLeft > TrackLeft + TrackWidth - KnobWidth) return std::nullopt;
    const int64_t word = RoundEven(static_cast<float>(newLeft - TrackLeft) * VolumeScale());
    return static_cast<uint32_t>(word) * 65537u;
}

}  // namespace orv

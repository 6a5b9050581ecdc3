// The editor window's playback: play and stop, the play timer, the play marks and the volume knob.
#include "editor/form_edit.h"

#include <QMouseEvent>
#include <cstring>

#include "platform/desktop.h"
#include "playback/play_timer.h"

namespace orv {

namespace {

// The rows where two pictures of one size differ, as one rectangle; all of
// now when the sizes differ.
QRect ChangedRows(const QImage& before, const QImage& now) {
    if (before.size() != now.size() || before.format() != now.format()) return now.rect();
    const auto bytes = static_cast<size_t>(now.bytesPerLine());
    int first = -1, last = -1;
    for (int y = 0; y < now.height(); ++y) {
        if (std::memcmp(before.constScanLine(y), now.constScanLine(y), bytes) == 0) continue;
        if (first < 0) first = y;
        last = y;
    }
    return first < 0 ? QRect() : QRect(0, first, now.width(), last - first + 1);
}

}  // namespace

void TFormEdit::SBtnPlayAllClick() {
    if (EditorBusy() || !open_) return;
    BusyGuard guard(ctx_.Busy);
    PlaybackState& ps = ctx_.Playback.State();
    ps.PlayFrom = 1;
    ps.PlayEnd = ctx_.Editor.TotalBlocks;
    ctx_.Playback.StartPlayAll();
}

void TFormEdit::SBtnPlaySelectionClick() {
    if (EditorBusy() || !open_) return;
    BusyGuard guard(ctx_.Busy);
    ctx_.Playback.StartPlaySelection();
}

void TFormEdit::SBtnStopClick() {
    if (EditorBusy() || !open_) return;
    BusyGuard guard(ctx_.Busy);
    ctx_.Playback.StopPlayback();
    PlaybackState& ps = ctx_.Playback.State();
    ps.PlayEnd = ctx_.Editor.TotalBlocks;
    ps.PlayFrom = ps.PlayPos;
    PlacePlayMarks();
}

void TFormEdit::TimerPlayTimer() {
    // The system's volume control is looked for once a second (it scans /proc).
    if (++volumeCheckTicks_ >= 10) {
        volumeCheckTicks_ = 0;
        volumeControlOpen_ = platform::programRunning(VolumeControlProgram);
    }
    PlayTimerView v;
    {
        // The end of playback lets events run.
        BusyGuard guard(ctx_.Busy);
        v = PlayTimerTick(ctx_.Playback, volumeControlOpen_ && !knobDragging_, ProgressShown,
                          ctx_.Editor.ProgressPercent);
    }
    UpdateSelectionStatus();
    // Only what moves is painted: the meter's rows that changed (none while
    // it rests or a steady level plays), and the play marks when they move.
    const QImage shown = view_.Meter;  // shared until the drawing detaches it
    DrawPlaybackMeter(view_, geo_, colours_, v.MeterLeft, v.MeterRight);
    const QRect changed = ChangedRows(shown, view_.Meter);
    if (!changed.isEmpty()) update(changed.translated(geo_.MeterLeft, geo_.T));
    if (v.Volume) PlaceVolumeKnob(*v.Volume);
    if (v.Progress) ProgressBar->setValue(*v.Progress);
    PlacePlayMarks();
    EndLongCommand();
}

void TFormEdit::PlacePlayMarks() {
    const PlaybackState& ps = ctx_.Playback.State();
    if (!ps.Playing) {
        ShapeSPlay->hide();
        ImagePlay->hide();
        return;
    }
    ImagePlay->move(PlayMarkLeft(ps.PlayPos, OverviewScale(geo_, ctx_.Editor.TotalBlocks), geo_.L),
                    geo_.PlayMarkTop);
    ShapeSPlay->move(PlayCursorLeft(ps.PlayPos, view_.ViewFirstBlock, view_.Z(), geo_.L, geo_.R), geo_.T + 1);
    ImagePlay->show();
    ShapeSPlay->show();
    ShapeSPlay->raise();
}

void TFormEdit::PlaceVolumeKnob(uint32_t volume) {
    ImageHandle->move(Knob().LeftForVolume(volume), ImageHandle->y());
}

bool TFormEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched != ImageHandle) return QDialog::eventFilter(watched, event);
    auto* me = dynamic_cast<QMouseEvent*>(event);
    if (!me) return false;
    const bool leftOnly = me->buttons() == Qt::LeftButton && me->modifiers() == Qt::NoModifier;
    if (event->type() == QEvent::MouseButtonPress && leftOnly) {
        knobDragging_ = true;
        knobPressGlobalX_ = static_cast<int>(me->globalPosition().x());
        knobPressLeft_ = ImageHandle->x();
        return true;
    }
    if (event->type() == QEvent::MouseMove && leftOnly && knobDragging_) {
        const int left = knobPressLeft_ + (static_cast<int>(me->globalPosition().x()) - knobPressGlobalX_);
        const std::optional<uint32_t> volume = Knob().VolumeForLeft(left);
        if (!volume) return true;  // off the track
        ImageHandle->move(left, ImageHandle->y());
        ctx_.Playback.State().PlaybackVolume = *volume;
        ctx_.Playback.SetPlaybackVolume(*volume);
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) knobDragging_ = false;
    return false;
}

}  // namespace orv

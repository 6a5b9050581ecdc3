// The editor window's playback: play and stop, the play timer, the play marks and the volume knob.
#include "editor/form_edit.h"

#include <QBackingStore>
#include <QMouseEvent>
#include <QWindow>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <utility>

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
    update(PlacePlayMarks());
}

void TFormEdit::TimerPlayTimer() {
    // The system's volume control is looked for once a second.
    if (++volumeCheckTicks_ >= 10) {
        volumeCheckTicks_ = 0;
        volumeControlOpen_ = volumeControlWatch_.running();
    }
    PlayTimerView v;
    {
        // The end of playback lets events run.
        BusyGuard guard(ctx_.Busy);
        v = PlayTimerTick(ctx_.Playback, volumeControlOpen_ && !knobDragging_, ProgressShown,
                          ctx_.Editor.ProgressPercent);
    }
    UpdateSelectionStatus();
    // Only what moves is painted, in one pass: the meter's rows that changed
    // (none while it rests or a steady level plays) and the pixels the play
    // marks leave and enter. The meter draws into the older of its two
    // pictures and is compared with the one on the screen: no copy per tick.
    std::swap(meterShown_, view_.Meter);
    DrawPlaybackMeter(view_, geo_, colours_, v.MeterLeft, v.MeterRight);
    QRegion changed = ChangedRows(meterShown_, view_.Meter).translated(geo_.MeterLeft, geo_.T);
    if (v.Volume) PlaceVolumeKnob(*v.Volume);
    if (v.Progress) ProgressBar->setValue(*v.Progress);
    changed += PlacePlayMarks();
    // Painted now, rather than posted for another turn of the event loop.
    if (!changed.isEmpty()) {
        if (const QRegion rest = PaintToScreen(changed); !rest.isEmpty()) repaint(rest);
    }
    EndLongCommand();
}

QRegion TFormEdit::PlacePlayMarks() {
    const PlaybackState& ps = ctx_.Playback.State();
    PaintedMark cursor{ShapeSPlay.Area, false}, mark{ImagePlay.Area, false};
    if (ps.Playing) {
        cursor = {QRect(PlayCursorLeft(ps.PlayPos, view_.ViewFirstBlock, view_.Z(), geo_.L, geo_.R), geo_.T + 1,
                        1, std::max(geo_.H, 1)),
                  true};
        mark = {QRect(PlayMarkLeft(ps.PlayPos, OverviewScale(geo_, ctx_.Editor.TotalBlocks), geo_.L),
                      geo_.PlayMarkTop, playMarkPicture_.width(), playMarkPicture_.height()),
                true};
    }
    QRegion changed;
    for (auto [now, next] : {std::pair{&ShapeSPlay, cursor}, std::pair{&ImagePlay, mark}}) {
        if (*now == next) continue;
        if (now->Shown) changed += now->Area;
        if (next.Shown) changed += next.Area;
        *now = next;
    }
    return changed;
}

QRegion TFormEdit::PaintToScreen(const QRegion& changed) {
    // A play tick changes a few columns and rows of pictures. Qt's repaint
    // would look for the widgets under them, set up a painter on the window
    // and send a paint event: most of a tick's cost, for pixels the window's
    // pictures already hold. They are copied into the window's backing store
    // instead, and only they are sent. Where a widget lies over them (the
    // selection's mark under the scroll bar), Qt paints.
    QBackingStore* store = backingStore();
    QWindow* window = windowHandle();
    if (!isWindow() || !store || !window || !window->isExposed() || backdropStale_ ||
        window->devicePixelRatio() != 1.0 || store->size() != size())
        return changed;
    QRegion covered;
    for (const QObject* o : children())
        if (const auto* child = qobject_cast<const QWidget*>(o); child && !child->isWindow() && child->isVisible())
            covered += changed & child->geometry();
    const QRegion region = changed - covered;
    if (region.isEmpty()) return changed;
    store->beginPaint(region);
    auto* image = dynamic_cast<QImage*>(store->paintDevice());
    const bool copied = image && CopyPictures(*image, region, Pictures(), backdrop_);
    if (copied) {
        for (const QRect& r : region) {
            if (const QRect line = ShapeSPlay.Area & r; ShapeSPlay.Shown && !line.isEmpty()) {
                for (int y = line.top(); y <= line.bottom(); ++y)
                    std::fill_n(reinterpret_cast<QRgb*>(image->scanLine(y)) + line.left(), line.width(), PlayMarkColour);
            }
            if (ImagePlay.Shown) BlendPicture(*image, ImagePlay.Area.topLeft(), playMarkPicture_, r);
        }
    }
    store->endPaint();
    if (!copied) return changed;
    store->flush(region, window);
    return covered;
}

void TFormEdit::PaintPlayMarks(QPainter& p, const QRegion& dirty) {
    // Rectangle by rectangle, each clipped to itself, as PaintPictures does: a
    // fill under a clip of several rectangles is split over Qt's worker threads.
    for (const QRect& r : dirty) {
        if (const QRect line = ShapeSPlay.Area & r; ShapeSPlay.Shown && !line.isEmpty()) {
            p.setClipRect(line);
            p.fillRect(line, QColor(PlayMarkColour));
        }
        if (const QRect mark = ImagePlay.Area & r; ImagePlay.Shown && !mark.isEmpty()) {
            p.setClipRect(mark);
            p.drawImage(ImagePlay.Area.topLeft(), playMarkPicture_);
        }
    }
}

void TFormEdit::PlaceVolumeKnob(uint32_t volume) {
    const int left = Knob().LeftForVolume(volume);
    if (left != ImageHandle->x()) ImageHandle->move(left, ImageHandle->y());
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

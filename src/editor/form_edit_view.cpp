// The editor window's view: drawing, status texts, zoom, scrolling and the mouse on the wave.
#include "editor/form_edit.h"

#include "display/paint_pictures.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <utility>

namespace orv {

// ---- drawing ----

void TFormEdit::DrawView() {
    orv::DrawView(view_, geo_, Timeline(), colours_);
    PlaceOverviewMarks();
    update(geo_.L, geo_.T, view_.View.width(), view_.View.height());
}

void TFormEdit::DrawSelectionChange() {
    lastChangedColumns_ = orv::DrawSelectionChange(view_, geo_, Timeline(), colours_);
    const OverviewMarks m = orv::PlaceOverviewMarks(geo_, Timeline());
    ShapeSelected->setGeometry(m.SelectedLeft, geo_.SelectedTop, std::max(m.SelectedWidth, 1), 4);
    ShapeSelected->setVisible(m.SelectedWidth > 0);
    if (lastChangedColumns_ > 0) update(geo_.L, geo_.T, view_.View.width(), view_.View.height());
}

void TFormEdit::PlaceOverviewMarks() {
    const OverviewMarks m = orv::PlaceOverviewMarks(geo_, Timeline());
    ShapeSelected->setGeometry(m.SelectedLeft, geo_.SelectedTop, std::max(m.SelectedWidth, 1), 4);
    ShapeSelected->setVisible(m.SelectedWidth > 0);
    ImagePoint->move(m.PointLeft, geo_.PointTop);
}

void TFormEdit::UpdateScrollBar() {
    const ScrollSetting s = ScrollFor(view_, geo_, ctx_.Editor.TotalBlocks);
    scrollUpdating_ = true;
    ScrollBar->setRange(0, std::max(ScrollMax - s.PageStep, 0));
    ScrollBar->setPageStep(s.PageStep);
    ScrollBar->setSingleStep(s.SingleStep);
    ScrollBar->setValue(std::min(s.Position, ScrollBar->maximum()));
    scrollUpdating_ = false;
}

void TFormEdit::UpdateSelectionStatus() {
    const EditorState& e = ctx_.Editor;
    // Called at every play-timer tick: the texts are made and set only when they change.
    const size_t markers = open_ ? CurrentMarkers(e).size() : 0;
    if (statusShownFor_ == std::tuple(e.SelStart, e.SelEnd, markers)) return;
    statusShownFor_ = std::tuple(e.SelStart, e.SelEnd, markers);
    const bool selected = e.SelStart != e.SelEnd;
    StatusPanels[0]->setText(QString::fromStdString("Start - " + FormatBlockTimeTenths(e.SelStart - 1)));
    StatusPanels[1]->setText(
        QString::fromStdString("End - " + (selected ? FormatBlockTimeTenths(e.SelEnd) : std::string())));
    StatusPanels[2]->setText(QString::fromStdString(
        "Length - " + (selected ? FormatBlockTimeTenths(e.SelEnd - e.SelStart + 1) : std::string())));
    StatusPanels[3]->setText(markers > 0 ? QStringLiteral("Markers - %1").arg(markers) : QString());
}

void TFormEdit::DrawBackdrop() {
    if (backdrop_.size() != size()) backdrop_ = QImage(size(), WindowPictureFormat);
    backdrop_.fill(colours_.Background);
    QPainter p(&backdrop_);
    DrawViewFrame(p, geo_, colours_, CoolBarFile->geometry().bottom() + 1);
    DrawMeterFrame(p, geo_, colours_);
    backdropStale_ = false;
}

std::array<PlacedPicture, 2> TFormEdit::Pictures() const {
    return {{{QRect(QPoint(geo_.L, geo_.T), view_.View.size()), &view_.View},
             {QRect(QPoint(geo_.MeterLeft, geo_.T), view_.Meter.size()), &view_.Meter}}};
}

// Only what changed: a play tick's cursor columns, meter rows and mark.
void TFormEdit::paintEvent(QPaintEvent* event) {
    if (backdropStale_) DrawBackdrop();
    QPainter p(this);
    PaintPictures(p, event->region(), Pictures(), backdrop_);
    PaintPlayMarks(p, event->region());
}

void TFormEdit::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FormResize();
}

void TFormEdit::FormResize() {
    LayoutEditor();
    // Zoom and view first, so that the scroll bar describes the view drawn.
    ZoomAfterResize(view_, ctx_.Editor.TotalBlocks, geo_.Columns());
    KeepViewInRecording(view_, ctx_.Editor.TotalBlocks, geo_.Columns());
    UpdateScrollBar();
    DrawView();
    const PlaybackState& ps = ctx_.Playback.State();
    DrawPlaybackMeter(view_, geo_, colours_, ps.Playing ? ps.BlockMaxLeft : 0, ps.Playing ? ps.BlockMaxRight : 0);
    update();
}

// ---- zoom and scrolling ----

void TFormEdit::BtnIncClick() {
    ZoomIn(view_);
    UpdateScrollBar();
    DrawView();
}

void TFormEdit::BtnDecClick() {
    ZoomOut(view_, ctx_.Editor.TotalBlocks, geo_.Columns());
    UpdateScrollBar();
    DrawView();
}

void TFormEdit::ScrollBarChange(int position) {
    const uint32_t total = ctx_.Editor.TotalBlocks;
    const uint32_t end = EndViewFirst(view_, total, geo_.Columns());
    // The bar's end shows the recording's last block, whatever the rounding of its position.
    view_.ViewFirstBlock =
        position >= ScrollBar->maximum() ? end : std::min(ViewFirstForScroll(position, total, view_.Z()), end);
    DrawView();
}

// ---- mouse ----

void TFormEdit::FormMouseDown(int x, int y, Qt::MouseButton button) {
    if (EditorBusy() || !open_ || button != Qt::LeftButton) return;
    if (!(geo_.L < x && x < geo_.R && geo_.T <= y && y <= geo_.B)) return;
    EditorState& e = ctx_.Editor;
    const int64_t k = BlockAtColumn(view_, geo_, x);
    if (k > int64_t(e.TotalBlocks) || k < 1) return;
    pressX_ = currentX_ = x;
    pressed_ = true;
    dragging_ = false;
    setCursor(Qt::SizeHorCursor);
    dragging_ = true;
    edgeStart_ = EdgeColumn(view_, geo_, e.SelStart);
    edgeEnd_ = EdgeColumn(view_, geo_, e.SelEnd);
    const bool onStart = x >= edgeStart_ - 2 && x <= edgeStart_ + 1;
    const bool onEnd = x >= edgeEnd_ - 1 && x <= edgeEnd_ + 2;
    // Away from the edges a press starts a new selection, as with nothing selected.
    if (e.SelStart == e.SelEnd || (!onStart && !onEnd)) {
        edgeStart_ = edgeEnd_ = x;
        e.SelStart = e.SelEnd = uint32_t(k);
    }
    e.InsertPoint = e.SelStart;
    DrawView();
    UpdateSelectionStatus();
}

void TFormEdit::FormMouseMove(int x, int y, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    if (EditorBusy() || !open_) return;
    // A drag past the view's sides goes on at its first or last column, which
    // reach the recording's first or last block when the view shows them.
    if (dragging_) x = std::clamp(x, geo_.L + 1, geo_.R - 1);
    else if (!(geo_.L < x && x < geo_.R && geo_.T <= y && y <= geo_.B)) return;
    EditorState& e = ctx_.Editor;
    currentX_ = x;
    const int es = EdgeColumn(view_, geo_, e.SelStart);
    const int ee = EdgeColumn(view_, geo_, e.SelEnd);
    edgeStart_ = es;
    edgeEnd_ = ee;
    const bool leftAlone = buttons == Qt::LeftButton;
    if (e.SelStart != e.SelEnd && !leftAlone) {
        const bool onEdge = (x >= es - 2 && x <= es + 1) || (x >= ee - 1 && x <= ee + 2);
        setCursor(onEdge ? Qt::SizeHorCursor : Qt::ArrowCursor);
    }
    if (!dragging_ || !leftAlone || modifiers != Qt::NoModifier) return;
    const int64_t k = BlockAtColumn(view_, geo_, x);
    const uint32_t kb = uint32_t(std::clamp<int64_t>(k, 1, std::max<int64_t>(e.TotalBlocks, 1)));
    if (x > ee && e.SelEnd <= e.TotalBlocks) {
        e.SelEnd = uint32_t(std::max<int64_t>(k, 1));
        if (e.SelEnd > e.TotalBlocks) e.SelEnd = e.TotalBlocks;
    }
    if (x < es) {
        e.SelStart = kb;
        // The first column reaches the start of the recording at any zoom.
        if (x == geo_.L + 1 && view_.Z() >= 2 && view_.ViewFirstBlock == 0) e.SelStart = 1;
    }
    if (es < x && 2 * x < es + ee) e.SelStart = kb;
    if (x < ee && 2 * x > es + ee) e.SelEnd = kb;
    e.InsertPoint = std::min(e.SelStart, e.SelEnd);
    // Events are not pumped here: the next move arrives through the event
    // loop anyway, and a nested release would end the drag under this handler.
    DrawSelectionChange();
}

void TFormEdit::FormMouseUp(int x) {
    if (EditorBusy() || !open_ || !pressed_) return;
    pressed_ = false;
    EditorState& e = ctx_.Editor;
    const int64_t k = BlockAtColumn(view_, geo_, x);
    const uint32_t kb = uint32_t(std::clamp<int64_t>(k, 1, std::max<int64_t>(e.TotalBlocks, 1)));
    if (x == pressX_ && (e.SelStart == e.SelEnd || !dragging_)) {
        e.SelStart = e.SelEnd = kb;
        ClearColumnMemo(view_);
    }
    if (e.SelStart > e.SelEnd) std::swap(e.SelStart, e.SelEnd);
    // Paste and silence go where the dotted line and "Start - " say: the selection's start.
    e.InsertPoint = e.SelStart;
    dragging_ = false;
    setCursor(Qt::ArrowCursor);
    DrawView();
    UpdateSelectionStatus();
}

// ---- markers ----

void TFormEdit::GoToMarker(uint32_t p) {
    EditorState& e = ctx_.Editor;
    e.SelStart = e.SelEnd = e.InsertPoint = p;
    if (!BlockInView(view_, geo_, p)) {
        // Centred, on the zoom's own steps.
        const uint64_t z = view_.Z();
        const uint64_t half = z * uint64_t(std::max(geo_.Columns(), 0) / 2);
        view_.ViewFirstBlock = p > half ? uint32_t((p - half) / z * z) : 0;
        KeepViewInRecording(view_, e.TotalBlocks, geo_.Columns());
        UpdateScrollBar();
    }
    DrawView();
    UpdateSelectionStatus();
}

void TFormEdit::menuPreviousMarkerClick() {
    if (EditorBusy() || !open_) return;
    if (const auto p = MarkerBefore(ctx_.Editor, ctx_.Editor.InsertPoint)) GoToMarker(*p);
}

void TFormEdit::menuNextMarkerClick() {
    if (EditorBusy() || !open_) return;
    if (const auto p = MarkerAfter(ctx_.Editor, ctx_.Editor.InsertPoint)) GoToMarker(*p);
}

// With markers, a double-click selects from the marker before the pointer
// to the one after it (the recording's start and end where there is none);
// without, it is two clicks as ever.
void TFormEdit::FormDoubleClick(int x, int y, Qt::MouseButton button) {
    EditorState& e = ctx_.Editor;
    if (!open_ || CurrentMarkers(e).empty()) {
        FormMouseDown(x, y, button);
        return;
    }
    if (EditorBusy() || button != Qt::LeftButton) return;
    if (!(geo_.L < x && x < geo_.R && geo_.T <= y && y <= geo_.B)) return;
    const int64_t k = BlockAtColumn(view_, geo_, x);
    if (k > int64_t(e.TotalBlocks) || k < 1) return;
    const auto [first, last] = SpanBetweenMarkers(e, uint32_t(k));
    pressed_ = dragging_ = false;  // the release that follows ends nothing
    e.SelStart = e.InsertPoint = first;
    e.SelEnd = last;
    DrawView();
    UpdateSelectionStatus();
}

void TFormEdit::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    FormMouseDown(p.x(), p.y(), event->button());
}

void TFormEdit::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    FormMouseMove(p.x(), p.y(), event->buttons(), event->modifiers());
}

void TFormEdit::mouseReleaseEvent(QMouseEvent* event) { FormMouseUp(event->position().toPoint().x()); }

void TFormEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    FormDoubleClick(p.x(), p.y(), event->button());
}

}  // namespace orv

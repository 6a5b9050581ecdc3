#include "display/widget_displays.h"

#include <QPaintEvent>
#include <QPainter>
#include <cstdlib>

#include "display/paint_pictures.h"

namespace orv {

DisplayPanel::DisplayPanel(DisplayState& displays, ColourSchemeState& colours, const ProcessingState& processing,
                           const CaptureState& capture, QWidget* parent)
    : QWidget(parent), d_(displays), c_(colours), p_(processing), cap_(capture) {
    setObjectName("PanelMain");
    // Every pixel is ours: no background erase before a paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    LayoutDisplays(d_, 464);
    ChooseTextColours(c_);
    orv::ClearLevelMeter(d_, c_);
    orv::ClearDcMeter(d_, c_);
    orv::ClearLiveChart(d_, c_);
    orv::DrawTimeBarBackground(d_, c_, false);
}

void DisplayPanel::FormPaint() {
    ChooseTextColours(c_);
    LayoutDisplays(d_, width());
    backdropStale_ = true;
    update();
}

void DisplayPanel::DrawBackdrop() {
    if (backdrop_.size() != size()) backdrop_ = QImage(size(), QImage::Format_RGB32);
    backdrop_.fill(BaseColour(c_));
    orv::DrawPanelFrames(backdrop_, d_, c_);
    orv::DrawTimeBarFrame(backdrop_, d_, c_, timeBarMinutes_, modeText_);
    backdropStale_ = false;
}

void DisplayPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormPaint();
}

QRect DisplayPanel::LevelArea() const {
    const DisplayRect& r = d_.Layout.LevelMeterRect;
    return QRect(QPoint(r.Left, r.Top), d_.LevelPicture.size());
}
QRect DisplayPanel::DcArea() const {
    const DisplayRect& r = d_.Layout.DcMeterRect;
    return QRect(QPoint(r.Left, r.Top), d_.DcPicture.size());
}
QRect DisplayPanel::ChartArea() const {
    return QRect(QPoint(d_.Layout.ChartLeft, d_.Layout.ChartTop), d_.ChartPicture.size());
}
QRect DisplayPanel::TimeArea() const {
    const DisplayRect& r = d_.Layout.TimeBarRect;
    return QRect(QPoint(r.Left, r.Top), d_.TimePicture.size());
}

void DisplayPanel::paintEvent(QPaintEvent* event) {
    if (backdropStale_) DrawBackdrop();
    QPainter p(this);
    const PlacedPicture pictures[] = {{LevelArea(), &d_.LevelPicture},
                                      {DcArea(), &d_.DcPicture},
                                      {ChartArea(), &d_.ChartPicture},
                                      {TimeArea(), &d_.TimePicture}};
    PaintPictures(p, event->region(), pictures, backdrop_);
}

QImage DisplayPanel::Snapshot() const {
    QImage out(size(), QImage::Format_RGB32);
    const_cast<DisplayPanel*>(this)->render(&out);
    return out;
}

void DisplayPanel::DrawLiveDisplays(bool reduceDc) {
    if (!cap_.CaptureOpen) return;
    // Only what changed goes to the screen: a steady or silent input costs no repaint.
    pending_ += orv::DrawLevelMeter(d_, p_, c_).translated(LevelArea().topLeft());
    pending_ += orv::DrawDcMeter(d_, p_, c_, reduceDc).translated(DcArea().topLeft());
    if (cap_.Recording) {
        const QRect chart = ChartArea();
        if (const int drawn = orv::PlotWaveHistory(d_, c_)) {
            // The chart moves on the screen as it moved in its picture (the
            // window system copies it in place): only the new columns are sent.
            scroll(1, 0, chart);
            pending_ += QRect(chart.topLeft(), QSize(drawn, chart.height()));
        } else {
            pending_ += chart;
        }
    }
    // The block's last hook: everything it changed is painted now, in one
    // pass, rather than posted for another turn of the event loop.
    if (!pending_.isEmpty()) {
        repaint(pending_);
        pending_ = QRegion();
    }
}

void DisplayPanel::ClearLevelMeter() {
    orv::ClearLevelMeter(d_, c_);
    update(LevelArea());
}

void DisplayPanel::ClearDcMeter() {
    orv::ClearDcMeter(d_, c_);
    update(DcArea());
}

void DisplayPanel::PushWaveHistory() { orv::PushWaveHistory(d_, p_); }

void DisplayPanel::ClearWaveHistory() { orv::ClearWaveHistory(d_); }

void DisplayPanel::ClearLiveChart() {
    orv::ClearLiveChart(d_, c_);
    update(ChartArea());
}

void DisplayPanel::DrawTimeBarFrame(int minutes, const QString& modeText) {
    timeBarMinutes_ = minutes;
    modeText_ = modeText;
    // The scale is needed at once by the bar's columns; the frame follows on screen.
    DrawBackdrop();
    update();
}

void DisplayPanel::DrawTimeBarBackground() {
    orv::DrawTimeBarBackground(d_, c_, cap_.RingFilled);
    lastTimeColumn_ = -1;
    update(TimeArea());
}

void DisplayPanel::DrawTimeBarColumn() {
    // A column stands for several blocks; the screen needs it once.
    const int x = orv::DrawTimeBarColumn(d_, cap_.LastWrittenBlock);
    // A marker's tick stays on top of the column that reaches it.
    MarkerList here;
    for (const uint32_t block : TimeBarMarkerBlocks(cap_))
        if (std::abs(orv::TimeBarColumnOf(d_, block) - x) <= 1) here.push_back(block);
    if (!here.empty()) orv::DrawTimeBarMarkers(d_, here);
    // Painted with the block's other displays, or on restore while minimized.
    if (x != lastTimeColumn_) pending_ += TimeArea().adjusted(x, 0, x + 1 - TimeArea().width(), 0);
    lastTimeColumn_ = x;
}

void DisplayPanel::RedrawTimeBar() {
    orv::RedrawTimeBar(d_, c_, cap_.LastWrittenBlock, cap_.RingFilled);
    orv::DrawTimeBarMarkers(d_, TimeBarMarkerBlocks(cap_));
    lastTimeColumn_ = -1;
    update(TimeArea());
}

void DisplayPanel::DrawTimeBarMarkers() {
    const auto [left, right] = orv::DrawTimeBarMarkers(d_, TimeBarMarkerBlocks(cap_));
    if (left <= right) update(QRect(TimeArea().left() + left, TimeArea().top(), right - left + 1, TimeArea().height()));
}

}  // namespace orv

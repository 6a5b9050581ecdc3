#pragma once
// The main window's display surface: the frames, scales and titles, and the
// four display pictures (level meter, DC meter, live waveform, time bar)
// copied onto it. Each drawing hook redraws one picture and repaints only
// that picture's rectangle; frames and scales are kept in a picture of the
// whole panel, redrawn by the paint handler (FormPaint) alone.
#include <QImage>
#include <QRegion>
#include <QString>
#include <QWidget>

#include "display/colour_scheme.h"
#include "display/displays.h"
#include "record/capture_engine.h"
#include "record/processing.h"

namespace orv {

class DisplayPanel : public QWidget {
    Q_OBJECT
public:
    DisplayPanel(DisplayState& displays, ColourSchemeState& colours, const ProcessingState& processing,
                 const CaptureState& capture, QWidget* parent = nullptr);

    // The paint handler: text, mark and trace colours by the scheme's
    // brightness, layout, frames and scales, time-bar frame; then a repaint.
    void FormPaint();

    void DrawLiveDisplays(bool reduceDc);  // meters; the live waveform while recording
    void ClearLevelMeter();
    void ClearDcMeter();
    void PushWaveHistory();
    void ClearWaveHistory();
    void ClearLiveChart();
    void DrawTimeBarFrame(int minutes, const QString& modeText);
    void DrawTimeBarBackground();
    void DrawTimeBarColumn();
    void RedrawTimeBar();
    // The recording's markers as ticks over the bar.
    void DrawTimeBarMarkers();

    // The whole panel as the screen shows it.
    QImage Snapshot() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void DrawBackdrop();
    QRect LevelArea() const;
    QRect DcArea() const;
    QRect ChartArea() const;
    QRect TimeArea() const;

    DisplayState& d_;
    ColourSchemeState& c_;
    const ProcessingState& p_;
    const CaptureState& cap_;
    QImage backdrop_;
    bool backdropStale_ = true;
    int timeBarMinutes_ = 3;
    QString modeText_;
    int lastTimeColumn_ = -1;
    QRegion pending_;  // changed by this block's hooks, not yet on the screen
};

}  // namespace orv

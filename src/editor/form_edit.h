#pragma once
// The wave editor window, shown modally over the main window: the waveform
// view with zoom, scrolling and mouse selection, the menu and tool buttons of
// the editing commands, the play timer with its marks and meter.
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QRegion>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>

#include "display/colour_scheme.h"
#include "display/editor_view.h"
#include "display/paint_pictures.h"
#include "editor/operations.h"
#include "platform/desktop.h"
#include "playback/play_timer.h"
#include "playback/playback.h"
#include "record/busy.h"
#include "record/recording_saved.h"
#include "record/capture_engine.h"
#include "record/piece.h"

namespace orv {

// Asked when the editor closes with edits no whole save has kept.
inline constexpr const char* DiscardEditsQuestion = "The edits have not been saved. Discard them?";

// What the editor asks of the program around it.
class EditorHost {
public:
    virtual ~EditorHost() = default;
    virtual void Message(const std::string& text) = 0;
    // A Yes/No question whose default button is No; true for Yes.
    virtual bool Confirm(const std::string& text) = 0;
    // Returns defaultText when cancelled.
    virtual std::string InputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& defaultText) = 0;
    // Free bytes of the folder's file system; negative when unknown.
    virtual int64_t FreeBytes(const std::string& folder) = 0;
    // Saves positions first … last of the edited recording (the save dialog,
    // progress and writers of the main window); its windows belong to over.
    // markers: those of the edited recording's timeline.
    virtual void SaveEditedRange(uint32_t first, uint32_t last, std::span<const Piece> pieces,
                                 const PieceSources& sources, const MarkerList& markers, QWidget* over) = 0;
    virtual void OpenOutputFolder() = 0;
    virtual void ShowSaveSettings(QWidget* over) = 0;
    virtual void OpenPlaybackDevices() = 0;
    virtual void OpenHelp() = 0;
    virtual void ShowAbout(QWidget* over) = 0;
    // The found recording "test": shown before the editor opens, and its
    // file handling when the editor closes. Nothing yet.
    enum class FoundRecordingPhase { Show, Close };
    virtual void FoundRecordingStep(FoundRecordingPhase phase) { (void)phase; }
};

// Everything the editor borrows while it is open.
struct EditorWindowContext {
    EditorState& Editor;
    CaptureState& Capture;  // the raw recording file and its block count, read only
    RecordBuffers& Buffers;
    ProcessingState& Processing;
    const ColourSchemeState& Colours;
    BusyState& Busy;  // the program-wide guard; held by the editor it is EditorBusy
    PlaybackControl& Playback;
    EditorHost& Host;
    std::string WorkingFolder;
    std::string EditFileName;
    std::string ClipFileName;
    std::string DecimalPoint = ".";
    // Marked unsaved by every command that changes the edited recording; may be null.
    RecordingSavedState* Saved = nullptr;
};

// The play cursor line and the play mark.
inline constexpr QRgb PlayMarkColour = qRgb(255, 60, 60);

// A mark painted over the window at play time rather than a widget of its
// own, so that a move costs a repaint of the pixels it leaves and enters.
struct PaintedMark {
    QRect Area;  // client pixels
    bool Shown = false;

    bool isVisible() const { return Shown; }
    int x() const { return Area.x(); }
    bool operator==(const PaintedMark&) const = default;
};

class TFormEdit : public QDialog {
    Q_OBJECT
public:
    TFormEdit(EditorWindowContext context, QWidget* parent = nullptr);
    ~TFormEdit() override;

    // Event handlers, public so that tests drive the window as a user would.
    void menuSaveAllClick();
    void menuSaveSelectionClick();
    void menuExplorerClick();
    void menuExitClick();
    void menuUndoClick();
    void menuRedoClick();
    void menuCutClick();
    void menuCopyClick();
    void menuPasteClick();
    void menuDeleteClick();
    void menuSelectAllClick();
    void menuAddMarkerClick();
    void menuRemoveMarkerClick();
    void menuPreviousMarkerClick();
    void menuNextMarkerClick();
    void menuFadeInClick();
    void menuFadeOutClick();
    void menuAmplifyClick();
    void menuNormalizeClick();
    void menuSilenceClick();
    void menuSaveSettingsClick();
    void menuPlayBackClick();
    void menuOrvaneHelpClick();
    void menuAboutClick();
    void SBtnPlayAllClick();
    void SBtnPlaySelectionClick();
    void SBtnStopClick();
    void BtnIncClick();
    void BtnDecClick();
    void ScrollBarChange(int position);
    void TimerPlayTimer();

    void FormShow();
    void FormResize();
    void FormClose();
    void FormMouseDown(int x, int y, Qt::MouseButton button);
    void FormMouseMove(int x, int y, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    void FormMouseUp(int x);
    void FormDoubleClick(int x, int y, Qt::MouseButton button);

    void LayoutEditor();
    void DrawView();
    void DrawSelectionChange();
    void UpdateScrollBar();
    void UpdateSelectionStatus();

    bool EditorBusy() const { return ctx_.Busy.Busy(); }
    const EditorGeometry& Geometry() const { return geo_; }
    const EditorView& View() const { return view_; }
    EditorView& View() { return view_; }
    ViewTimeline Timeline() const;
    int LastChangedColumns() const { return lastChangedColumns_; }
    // Runs once per block of a long operation (tests watch the window from here).
    std::function<void()> OnOperationStep;

    QMenuBar* Menu2 = nullptr;
    QWidget* CoolBarFile = nullptr;
    QScrollBar* ScrollBar = nullptr;
    QPushButton* BtnInc = nullptr;
    QPushButton* BtnDec = nullptr;
    QStatusBar* StBar = nullptr;
    std::array<QLabel*, 4> StatusPanels{};
    QProgressBar* ProgressBar = nullptr;
    QWidget* ShapeSelected = nullptr;
    QLabel* ImagePoint = nullptr;
    PaintedMark ImagePlay;   // the play position on the whole-recording scale
    PaintedMark ShapeSPlay;  // the play cursor line over the view
    QLabel* ImageVolume = nullptr;
    QLabel* ImageHandle = nullptr;
    QTimer* TimerPlay = nullptr;
    QAction* menuPlayBack = nullptr;
    bool ProgressShown = false;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildControls();
    QAction* AddItem(QMenu* menu, const char* name, const QString& caption, void (TFormEdit::*handler)(),
                     const QKeySequence& shortcut = {});
    EditorContext Context();
    void ProcessEvents();
    void StopPlaybackAndPump();
    // Steps 4 to 6 of the long operations: progress shown, the operation, redraw.
    void RunWithProgress(const std::function<EditResult()>& operation);
    void EndLongCommand();
    void ShowResult(const EditResult& r);
    bool EnoughSpaceFor(uint64_t blocks);
    struct LevelMark {
        uint16_t Current;
        uint16_t Top;
        std::vector<Piece> Pieces;
        bool operator==(const LevelMark&) const = default;
    };
    LevelMark MarkLevel() const;
    void NoteEdit(const LevelMark& before);
    // Effects append the selected blocks to Edit.raw.
    bool EnoughSpaceForEffect();
    void SaveRange(uint32_t first, uint32_t last);
    // The insertion point to marker p, nothing selected, the view scrolled to show it.
    void GoToMarker(uint32_t p);
    void PlaceOverviewMarks();
    // Moves the play marks to the play position (or hides them); returns the
    // pixels that must be painted again.
    QRegion PlacePlayMarks();
    // Over the pictures, where they lie in the changed region.
    void PaintPlayMarks(QPainter& p, const QRegion& dirty);
    // The view and the meter, where they stand in the window.
    std::array<PlacedPicture, 2> Pictures() const;
    // Paints the changed pixels straight into the window's backing store and
    // sends them to the screen; returns those that only a repaint can paint.
    QRegion PaintToScreen(const QRegion& changed);
    void PlaceVolumeKnob(uint32_t volume);
    VolumeKnob Knob() const;
    // The window below the tool bars without the two pictures: background and bevels.
    void DrawBackdrop();
    void CloseWorkingState();
    // False when the user keeps unsaved edits rather than close.
    bool DiscardEditsAllowed();

    EditorWindowContext ctx_;
    EditorGeometry geo_;
    EditorView view_;
    ViewColours colours_;
    std::optional<CaptureMemoryLoan> loan_;
    bool open_ = false;
    // A close asked for while the busy guard was held; EndLongCommand acts on it.
    bool closePending_ = false;
    // An edit, undo or redo since the editor opened or the last whole save.
    bool editsUnsaved_ = false;
    bool scrollUpdating_ = false;
    int lastChangedColumns_ = 0;
    QImage backdrop_;
    QImage meterShown_;  // the meter's previous picture, the other half of its double buffer
    QImage playMarkPicture_;  // premultiplied, as the window's pictures
    bool backdropStale_ = true;
    // SelStart, SelEnd and the marker count the status panels were last written for.
    std::optional<std::tuple<uint32_t, uint32_t, size_t>> statusShownFor_;
    // Drag state.
    int pressX_ = 0;
    int currentX_ = 0;
    int edgeStart_ = 0;
    int edgeEnd_ = 0;
    bool dragging_ = false;
    bool pressed_ = false;  // a press in the view started the current click or drag
    // Volume knob drag.
    bool knobDragging_ = false;
    bool volumeControlOpen_ = false;  // the system's volume control, looked for once a second
    int volumeCheckTicks_ = 0;
    platform::ProgramWatch volumeControlWatch_{VolumeControlProgram};
    int knobPressGlobalX_ = 0;
    int knobPressLeft_ = 0;
};

}  // namespace orv

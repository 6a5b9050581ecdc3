#pragma once
// The main window: start-up and shutdown of the program, the recording
// controls, the two timers that poll capture and refresh the status.
#include <QComboBox>
#include <QCheckBox>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <span>

#include "display/skin.h"
#include "record/capture_engine.h"
#include "record/piece.h"
#include "record/recording_control.h"
#include "shell/app_state.h"

namespace orv {

class TFormEdit;
class TFormAbout;
class TFormSaveSettings;
class TFormColors;
class TFormProgress;
class MainRecordingView;
class DisplayPanel;
class SaveFlow;
struct UnattendedSave;

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    TFormMain(AppSeams& seams, AppState& state, QWidget* parent = nullptr);
    ~TFormMain() override;

    void SetForms(TFormEdit* edit, TFormAbout* about, TFormSaveSettings* saveSettings, TFormColors* colors,
                  TFormProgress* progress);

    CaptureEngine& Engine() { return *engine_; }
    AppState& State() { return st_; }
    // The save routine both windows use (the editor's save all and save selection).
    SaveFlow& Saving() { return *saveFlow_; }
    // A close asked for while busy runs once the save or edit has ended.
    bool ClosePending() const { return closePending_; }

    // Event handlers, public so that tests drive the window as a user would.
    bool FormCloseQuery();
    void FormDestroy();
    void RestartProgram();
    void menuFileClick();
    void menuExplorerClick();
    void menuSaveSettingsClick(QWidget* over = nullptr);  // over: the window it belongs to, else this one
    void OrvaneRecorderHelpClick();
    void menuAboutClick();
    void menuRecordSourceClick();
    // The volume knob (x inside the knob) and the hint of its track.
    void ImageVolMouseDown(Qt::MouseButton button, int x);
    void ImageVolMouseMove(int x);
    void ImageVolMouseUp();
    // A termination signal: the recording stopped with every block kept and
    // left for the next start, the settings written, no questions.
    void TerminateBySignal();
    // Writes the settings file; "无法写入到 …" once when it cannot, and false.
    bool WriteSettings();
    void TimerRecTimer();
    void TimerStatusTimer();
    void BtnRecordClick();
    void BtnStopClick();
    void BtnEditClick();
    void CmbBoxTimeChange();
    void ChBoxDCClick();
    void menuSaveAsClick();
    // Saves what the running recording holds now (a loop's ring, or the
    // continuous recording so far) while it goes on recording.
    void menuSaveRecentClick();
    // M while recording: a marker at the block being recorded.
    void menuAddMarkerClick();
    void menuSkinClick();

    // Commands from outside the window (the session bus, the command line):
    // each does what its button or key does, under the same guard, but asks
    // nothing and opens no box. What the window would refuse, or make wait
    // behind a dialog or a running operation, is refused with the text the
    // user reads; empty: done.
    std::string RecordCommand();
    std::string StopCommand();
    std::string MarkCommand();
    // Ctrl+K's save to folder as "Orvane <date> <time>.<ext>"; saved: its path.
    std::string SaveRecentCommand(const std::string& folder, std::string& saved);
    // "saving", "editing", "recording" or "listening", the first that holds.
    std::string StateName() const;
    const std::string& RecordedTimeText() const { return controlState_.RecordedTimeText; }
    // The window the user works in (a dialog over this one, else this one), in front.
    void BringToFront();
    // The instance's name on the session bus: given up (false) before a
    // restart starts the next instance, taken back (true) when that failed.
    std::function<void(bool keep)> InstanceName;
    // The paint handler: window and caption colours of the scheme, frames and scales.
    void FormPaint();
    // The editor's save all / save selection: positions first … last of the
    // edited recording through the same dialog, progress and writers.
    void SaveEditedRange(uint32_t first, uint32_t last, std::span<const Piece> pieces, const PieceSources& sources,
                         QWidget* over = nullptr, const MarkerList& markers = {});

    QComboBox* CmbBoxTime = nullptr;
    QPushButton* BtnRecord = nullptr;
    QPushButton* BtnStop = nullptr;
    QPushButton* BtnEdit = nullptr;
    QPushButton* BtnSource = nullptr;
    QLabel* ImageVol = nullptr;   // the volume knob
    QWidget* Shape1 = nullptr;    // the knob's track, hint "Recording Volume"
    QMenu* menuOptions = nullptr;
    QCheckBox* ChBoxDC = nullptr;
    QLabel* LabReduce = nullptr;
    QLabel* LabAudioDeviceControl = nullptr;
    QLabel* LabRecordingControl = nullptr;
    DisplayPanel* PanelMain = nullptr;  // the displays, under every control
    QLabel* LabTime = nullptr;
    QLabel* LabTime0 = nullptr;
    std::array<QLabel*, 4> StatusPanels{};
    QAction* menuSaveAs = nullptr;
    QAction* menuSaveRecent = nullptr;
    QAction* menuAddMarker = nullptr;
    QLabel* MarkerPanel = nullptr;  // "标记-n" in the status bar while there are markers
    QAction* menuSkin = nullptr;
    QTimer* TimerRec = nullptr;
    QTimer* TimerStatus = nullptr;

    const QIcon& LevelIcon(int i) const { return levelIcons_[size_t(i)]; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void BuildControls();
    void BuildMenus();
    void BuildOptionsMenu();
    void PlaceVolumeKnob();
    bool RestartAllowed() const;
    void MakeLevelIcons();
    void ApplyKnobPicture();
    void ProcessEvents(Holds holds = Holds::Everything);
    std::string EncoderLibraryPath() const;
    void MakeSaveFlow();
    void EnableSaveRecent();
    void SetStatusText(size_t panel, const QString& text);
    // Why a command from outside must not run now; needs: what it touches.
    std::string CommandRefusal(Holds needs) const;
    void SaveRecent(UnattendedSave* unattended);

    AppSeams& seams_;
    AppState& st_;
    CaptureHooks hooks_;
    std::unique_ptr<CaptureEngine> engine_;
    std::array<QIcon, 18> levelIcons_;
    QString caption_;
    std::array<int, 4> statusWidths_{};
    std::unique_ptr<QLabel> statusMeasure_;  // sizes a panel's next text outside the status bar
    std::array<QString, 4> statusShapes_;    // the text each panel was sized for, digits as 0
    std::array<QString, 4> statusTexts_;     // each panel's whole text, which a capped panel shortens
    std::array<bool, 4> statusCapped_{};
    TFormEdit* formEdit_ = nullptr;
    TFormAbout* formAbout_ = nullptr;
    TFormSaveSettings* formSaveSettings_ = nullptr;
    TFormColors* formColors_ = nullptr;
    TFormProgress* formProgress_ = nullptr;
    bool destroyed_ = false;
    SkinPictures skin_;
    bool closePending_ = false;
    std::unique_ptr<SaveFlow> saveFlow_;
    bool VolumeDragging = false;
    int VolumeDragStartX = 0;

    friend class MainRecordingView;
    RecordingControlState controlState_;
    std::unique_ptr<MainRecordingView> view_;
    std::unique_ptr<RecordingControl> control_;
};

}  // namespace orv

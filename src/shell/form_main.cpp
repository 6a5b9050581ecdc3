// The main window: construction, controls, menus and painting.

#include "shell/form_main.h"

#include <QApplication>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QProgressDialog>
#include <QStatusBar>
#include <QWindowStateChangeEvent>

#include "display/widget_displays.h"
#include "editor/form_edit.h"
#include "export/form_owner.h"
#include "export/form_progress.h"
#include "export/form_save_flow.h"
#include "export/form_save_settings.h"
#include "export/save_filter.h"
#include "platform/encoder_library.h"
#include "platform/program_files.h"
#include "record/marker_file.h"
#include "record/recording_control.h"
#include "shell/forms.h"

namespace orv {

static QString Q(const std::string& s) { return QString::fromStdString(s); }

// The window side of the recording logic.
class MainRecordingView final : public RecordingView {
public:
    explicit MainRecordingView(TFormMain& w) : w_(w) {}

    void ShowMessage(const std::string& text) override { w_.seams_.Dialogs.Message(text); }
    // The status tick sets every text five times a second; a label is touched
    // only when its text changes (each change repaints it).
    void SetRecordedTime(const std::string& text) override {
        const QString t = Q(text);
        if (w_.LabTime->text() == t && w_.LabTime0->text() == t) return;
        w_.LabTime->setText(t);
        w_.LabTime0->setText(t);
    }
    void SetStatusPanel(int panel, const std::string& text) override {
        if (panel >= 0 && panel < 4) w_.SetStatusText(size_t(panel), Q(text));
    }
    // While minimized the taskbar shows the recorded time in place of the caption.
    void SetCaption(const std::string& text) override {
        w_.caption_ = Q(text);
        if (!w_.st_.Shell.Minimized && w_.windowTitle() != w_.caption_) w_.setWindowTitle(w_.caption_);
    }
    void SetModeListEnabled(bool enabled) override { w_.CmbBoxTime->setEnabled(enabled && !w_.st_.Busy.Busy()); }
    void SetModeListIndex(int index) override { w_.CmbBoxTime->setCurrentIndex(index); }
    void SetTaskbarTitle(const std::string& text) override {
        if (w_.st_.Shell.Minimized && w_.windowTitle() != Q(text)) w_.setWindowTitle(Q(text));
    }
    void SetTaskbarIcon(int level) override {
        if (level < 0 || level > 16) return;
        const QIcon& icon = w_.levelIcons_[size_t(level)];
        if (w_.windowIcon().cacheKey() != icon.cacheKey()) w_.setWindowIcon(icon);
    }
    bool Minimized() override { return w_.st_.Shell.Minimized; }
    void DrawTimeBarFrame() override {
        const int mode = std::clamp(w_.controlState_.ModeIndex, 0, RecordingModeCount - 1);
        w_.PanelMain->DrawTimeBarFrame(w_.controlState_.TimeBarMinutes, QString::fromUtf8(RecordingModes[mode].Text));
    }
    void DrawTimeBarBackground() override { w_.PanelMain->DrawTimeBarBackground(); }
    void RedrawTimeBar() override { w_.PanelMain->RedrawTimeBar(); }
    void ClearWaveHistory() override { w_.PanelMain->ClearWaveHistory(); }
    void ClearLiveChart() override { w_.PanelMain->ClearLiveChart(); }
    void PushWaveHistory() override { w_.PanelMain->PushWaveHistory(); }
    void DrawTimeBarColumn() override { w_.PanelMain->DrawTimeBarColumn(); }
    void DrawLiveDisplays() override { w_.PanelMain->DrawLiveDisplays(w_.ChBoxDC->isChecked()); }
    void DrawTimeBarMarkers() override { w_.PanelMain->DrawTimeBarMarkers(); }
    void SetMarkerCount(size_t count) override {
        const QString text = count == 0 ? QString() : QStringLiteral("标记-%1").arg(count);
        if (w_.MarkerPanel->text() != text) w_.MarkerPanel->setText(text);
        // No marker, no panel: the bar is as it always was.
        if (w_.MarkerPanel->isVisibleTo(&w_) != (count > 0)) w_.MarkerPanel->setVisible(count > 0);
    }
    void ClearMeters() override {
        w_.PanelMain->ClearLevelMeter();
        w_.PanelMain->ClearDcMeter();
    }
    void ShowEditor() override {
        if (w_.formEdit_) w_.formEdit_->exec();
    }
    void ProcessEvents() override { w_.ProcessEvents(); }
    bool Confirm(const std::string& text) override { return w_.seams_.Dialogs.Confirm(text); }

private:
    TFormMain& w_;
};

TFormMain::TFormMain(AppSeams& seams, AppState& state, QWidget* parent)
    : QMainWindow(parent), seams_(seams), st_(state) {
    setObjectName("TFormMain");
    engine_ = std::make_unique<CaptureEngine>(st_.Capture, st_.Buffers, st_.Processing, seams_.WaveIn, hooks_);
    BuildControls();
    BuildMenus();
    FormCreate();
}

TFormMain::~TFormMain() { FormDestroy(); }

void TFormMain::SetForms(TFormEdit* edit, TFormAbout* about, TFormSaveSettings* saveSettings, TFormColors* colors,
                         TFormProgress* progress) {
    formProgress_ = progress;
    formEdit_ = edit;
    formAbout_ = about;
    formSaveSettings_ = saveSettings;
    formColors_ = colors;
    if (formColors_) formColors_->Bind(&st_.Settings.ColourScheme);
    MakeSaveFlow();
}

void TFormMain::MakeSaveFlow() {
    const WorkingFiles& f = st_.Shell.Files;
    SaveFlowState state{{&st_.Settings.SaveAsWav, &st_.Settings.SaveAsMp3, &st_.Settings.Wav, &st_.Settings.Mp3},
                        &st_.Settings.OutputFolder,
                        &st_.Busy,
                        &st_.RecordingSaved,
                        {f.RawFileName, f.EditFileName, f.ClipFileName, f.PeakFileName, f.FoundRecordingName,
                         f.RingFileName, f.RecentFileName, f.MarkerFileName,
                         CompanionMarkerName(f.FoundRecordingName)}};
    SaveFlowSeams seams{
        [this](const std::string& text) { seams_.Dialogs.Message(text); },
        [this](const std::string& folder, const std::string& filter, const std::string& extension) {
            return seams_.Dialogs.SaveFileName(folder, filter, extension);
        },
        // A save of the running recording's last minutes pumps as it holds: capture goes on.
        [this] { ProcessEvents(st_.Busy.HoldsRecording() ? Holds::Everything : Holds::AllButTheRecording); },
        platform::EncoderLoaderFor(EncoderLibraryPath())};
    saveFlow_ = std::make_unique<SaveFlow>(std::move(state), std::move(seams), formProgress_, formSaveSettings_);
}

void TFormMain::BuildControls() {
    // The displays fill the client area; the controls sit around them.
    PanelMain = new DisplayPanel(st_.Displays, st_.Colours, st_.Processing, st_.Capture, this);
    QWidget* central = PanelMain;
    central->setFixedSize(464, 302);
    setCentralWidget(central);

    LabAudioDeviceControl = new QLabel(QStringLiteral("Audio Device Control"), central);
    LabAudioDeviceControl->setObjectName("LabAudioDeviceControl");
    LabAudioDeviceControl->setGeometry(6, 0, 200, 15);
    LabRecordingControl = new QLabel(QStringLiteral("Recording Control"), central);
    LabRecordingControl->setObjectName("LabRecordingControl");
    LabRecordingControl->setGeometry(6, 114, 200, 15);

    BtnSource = new QPushButton(QStringLiteral("来源"), central);
    BtnSource->setObjectName("BtnSource");
    BtnSource->setToolTip(QStringLiteral("录音源"));
    BtnSource->setGeometry(150, 76, 70, 24);

    // The knob slides along its track; the track's hint shows where the knob can go.
    Shape1 = new QWidget(central);
    Shape1->setObjectName("Shape1");
    Shape1->setToolTip(QStringLiteral("Recording Volume"));
    Shape1->setGeometry(KnobMinLeft, 79, 135 - KnobMinLeft + 1, 95 - 79 + 1);
    // See-through: the wedge of the track is drawn by the displays beneath.
    ImageVol = new QLabel(central);
    ImageVol->setObjectName("ImageVol");
    ImageVol->setToolTip(QStringLiteral("刻录音量"));
    QPixmap knob(KnobWidth, 20);
    knob.fill(QColor(192, 192, 192));
    {
        QPainter p(&knob);
        p.setPen(QColor(64, 64, 64));
        p.drawRect(0, 0, KnobWidth - 1, 19);
        p.drawLine(KnobWidth / 2, 3, KnobWidth / 2, 16);
    }
    ImageVol->setPixmap(knob);
    ImageVol->setGeometry(KnobMinLeft, 77, KnobWidth, 20);
    ImageVol->installEventFilter(this);

    ChBoxDC = new QCheckBox(central);
    ChBoxDC->setObjectName("ChBoxDC");
    ChBoxDC->setToolTip(QStringLiteral("Reduce DC Offset"));
    ChBoxDC->setGeometry(364, 79, 18, 18);
    LabReduce = new QLabel(QStringLiteral("减少"), central);
    LabReduce->setObjectName("LabReduce");
    LabReduce->setGeometry(384, 79, 60, 18);

    CmbBoxTime = new QComboBox(central);
    CmbBoxTime->setObjectName("CmbBoxTime");
    CmbBoxTime->setToolTip(QStringLiteral("刻录模式"));
    for (const RecordingMode& m : RecordingModes) CmbBoxTime->addItem(QString::fromUtf8(m.Text));
    CmbBoxTime->setGeometry(18, 270, 110, 26);

    BtnRecord = new QPushButton(QStringLiteral("记录"), central);
    BtnRecord->setObjectName("BtnRecord");
    BtnRecord->setGeometry(136, 270, 64, 26);
    BtnStop = new QPushButton(QStringLiteral("停止"), central);
    BtnStop->setObjectName("BtnStop");
    BtnStop->setGeometry(204, 270, 64, 26);
    BtnEdit = new QPushButton(QStringLiteral("编辑"), central);
    BtnEdit->setObjectName("BtnEdit");
    BtnEdit->setGeometry(272, 270, 64, 26);

    QFont timeFont = font();
    timeFont.setPixelSize(22);
    timeFont.setBold(true);
    LabTime0 = new QLabel(QStringLiteral("00:00:00"), central);
    LabTime0->setObjectName("LabTime0");
    LabTime0->setFont(timeFont);
    LabTime0->setStyleSheet("color: silver");
    LabTime0->setGeometry(347, 269, 110, 28);
    LabTime = new QLabel(QStringLiteral("00:00:00"), central);
    LabTime->setObjectName("LabTime");
    LabTime->setFont(timeFont);
    LabTime->setGeometry(346, 268, 110, 28);

    statusWidths_ = {140, 100, 115, 80};
    statusMeasure_ = std::make_unique<QLabel>();
    for (size_t i = 0; i < 4; ++i) {
        StatusPanels[i] = new QLabel(this);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        SetStatusText(i, QString());
        statusBar()->addWidget(StatusPanels[i]);
    }
    MarkerPanel = new QLabel(this);
    MarkerPanel->setObjectName("MarkerPanel");
    statusBar()->addWidget(MarkerPanel);
    MarkerPanel->setVisible(false);
    statusBar()->setSizeGripEnabled(false);

    connect(BtnRecord, &QPushButton::clicked, this, [this] { BtnRecordClick(); });
    connect(BtnStop, &QPushButton::clicked, this, [this] { BtnStopClick(); });
    connect(BtnEdit, &QPushButton::clicked, this, [this] { BtnEditClick(); });
    connect(BtnSource, &QPushButton::clicked, this, [this] { menuRecordSourceClick(); });
    connect(CmbBoxTime, &QComboBox::activated, this, [this] { CmbBoxTimeChange(); });
    connect(ChBoxDC, &QCheckBox::clicked, this, [this] { ChBoxDCClick(); });
}

void TFormMain::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("文件"));
    file->setObjectName("menuFile");
    connect(file, &QMenu::aboutToShow, this, [this] { menuFileClick(); });
    menuSaveAs = file->addAction(QStringLiteral("另存为..."), this, [this] { menuSaveAsClick(); });
    menuSaveAs->setObjectName("menuSaveAs");
    menuSaveRecent = file->addAction(QStringLiteral("保存最近录音..."), this, [this] { menuSaveRecentClick(); });
    menuSaveRecent->setObjectName("menuSaveRecent");
    menuSaveRecent->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    addAction(menuSaveRecent);  // the shortcut works wherever the focus is in this window
    menuSaveRecent->setEnabled(false);
    menuAddMarker = file->addAction(QStringLiteral("添加标记"), this, [this] { menuAddMarkerClick(); });
    menuAddMarker->setObjectName("menuAddMarker");
    menuAddMarker->setShortcut(QKeySequence(Qt::Key_M));
    addAction(menuAddMarker);  // as Ctrl+K: wherever the focus is in this window
    menuAddMarker->setEnabled(false);
    file->addAction(QStringLiteral("打开输出文件夹"), this, [this] { menuExplorerClick(); })->setObjectName("menuExplorer");
    file->addSeparator();
    file->addAction(QStringLiteral("关闭"), this, [this] { close(); })->setObjectName("menuClose");

    BuildOptionsMenu();

    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助"));
    help->setObjectName("menuHelp");
    help->addAction(QStringLiteral("帮助内容"), this, [this] { OrvaneRecorderHelpClick(); })->setObjectName("OrvaneRecorderHelp");
    help->addAction(QStringLiteral("关于"), this, [this] { menuAboutClick(); })->setObjectName("menuAbout");
}

// The Options menu, in one place: the recording source, the colour chooser
// and the save settings.
void TFormMain::BuildOptionsMenu() {
    menuOptions = menuBar()->addMenu(QStringLiteral("选项"));
    menuOptions->setObjectName("menuOptions");
    menuOptions->addAction(QStringLiteral("录音源"), this, [this] { menuRecordSourceClick(); })
        ->setObjectName("menuRecordSource");
    menuSkin = menuOptions->addAction(QStringLiteral("窗口颜色..."), this, [this] { menuSkinClick(); });
    menuSkin->setObjectName("menuSkin");
    menuOptions->addAction(QStringLiteral("保存设置..."), this, [this] { menuSaveSettingsClick(); })
        ->setObjectName("menuSaveSettings");
}

void TFormMain::MakeLevelIcons() {
    // Icons 0..16 show the input level as a bar; icon 17 is the program's own.
    for (int level = 0; level <= 16; ++level) {
        QPixmap pm(32, 32);
        pm.fill(QColor(30, 30, 30));
        QPainter p(&pm);
        const int h = level * 30 / 16;
        const QColor c = level >= 15 ? QColor(230, 40, 40) : level >= 11 ? QColor(240, 200, 40) : QColor(60, 200, 60);
        p.fillRect(8, 31 - h, 16, h, c);
        levelIcons_[size_t(level)] = QIcon(pm);
    }
    levelIcons_[17] = ProgramIcon();
}

void TFormMain::FormCreate() {
    // Minimize and restore arrive through changeEvent.
    st_.Processing.TaskbarLevel = 0;
    SelectScheme(st_.Colours, st_.Settings.ColourScheme);
    skin_ = LoadSkinPictures();
    if (!skin_.SourceButton.isNull()) BtnSource->setIcon(QPixmap::fromImage(skin_.SourceButton));
    FormPaint();
    ApplyKnobPicture();
    MakeLevelIcons();
    setWindowIcon(levelIcons_[17]);
    seams_.Dialogs.SetParentHint(static_cast<QWidget*>(this));

    const std::string exeFolder = seams_.ExecutablePath.substr(0, seams_.ExecutablePath.find_last_of('/'));
    const std::string folder = ChooseWorkingFolder(seams_.DataFolder, exeFolder, platform::RunsInstalled(seams_.ExecutablePath));
    std::string error;
    if (!PrepareWorkingFolder(folder, error)) {
        // Without a working folder nothing can be recorded; say so and refuse Record.
        st_.Shell.WorkingFolderError = error;
        seams_.Dialogs.Message(error);
    } else {
        st_.Shell.Files = NameWorkingFiles(folder);
        st_.Capture.RawFileName = st_.Shell.Files.RawFileName;
        st_.Capture.RingFileName = st_.Shell.Files.RingFileName;
        st_.Capture.MarkerFileName = st_.Shell.Files.MarkerFileName;
    }

    view_ = std::make_unique<MainRecordingView>(*this);
    control_ = std::make_unique<RecordingControl>(
        controlState_, *engine_, hooks_, st_.Processing, *view_, seams_.Clock, seams_.FreeSpace,
        st_.Shell.Files.WorkingFolder, QLocale::system().decimalPoint().toStdString());
    control_->AttachInputs(seams_.Mixer, st_.Input);

    MakeSaveFlow();
    CmbBoxTime->setCurrentIndex(std::clamp(st_.Settings.RecordingModeIndex, 0, RecordingModeCount - 1));
    control_->ApplyRecordingMode(CmbBoxTime->currentIndex());
    // The saved mode's scale and title from the first paint, not only after Record.
    view_->DrawTimeBarFrame();
    if (st_.Settings.OutputFolder.empty()) st_.Settings.OutputFolder = seams_.HomeFolder;

    if (st_.Shell.WorkingFolderError.empty()) {
        // Hours of an interrupted recording take a while to copy: a progress
        // window says why the program has not come up yet, once it has taken
        // long enough to matter. Nothing may touch the working files meanwhile.
        std::string note;
        {
            BusyGuard busy(st_.Busy);
            std::unique_ptr<QProgressDialog> keeping;
            note = ClearStaleWorkingFiles(st_.Shell.Files, [&](float percent) {
                if (!keeping) {
                    keeping = std::make_unique<QProgressDialog>(
                        QStringLiteral("Keeping the recording interrupted at the last run..."), QString(), 0, 100);
                    keeping->setObjectName("KeepingProgress");
                    keeping->setWindowTitle(QStringLiteral("Orvane Recorder"));
                    keeping->setWindowModality(Qt::ApplicationModal);
                    keeping->setMinimumDuration(500);
                    keeping->setAutoClose(false);
                    keeping->setAutoReset(false);
                }
                keeping->setValue(int(percent));
                QCoreApplication::processEvents();
            });
        }
        if (!note.empty()) seams_.Dialogs.Message(note);
    }
    ProcessEvents();
    AllocateCaptureBuffers(st_.Buffers);
    seams_.Mixer.init(-1, 44100);
    if (st_.Shell.WorkingFolderError.empty() && seams_.WaveIn.getNumDevs() > 0) {
        InitCaptureDevice(*engine_, seams_.Mixer, st_.Input);
        controlState_.SourceText = st_.Input.SourceText;
        PlaceVolumeKnob();
    } else if (seams_.WaveIn.getNumDevs() == 0) {
        seams_.Dialogs.Message("Please, select and enable an audio source!");
        menuRecordSourceClick();
    }

    TimerRec = new QTimer(this);
    TimerRec->setObjectName("TimerRec");
    TimerRec->setInterval(100);
    connect(TimerRec, &QTimer::timeout, this, [this] { TimerRecTimer(); });
    TimerStatus = new QTimer(this);
    TimerStatus->setObjectName("TimerStatus");
    TimerStatus->setInterval(200);
    connect(TimerStatus, &QTimer::timeout, this, [this] { TimerStatusTimer(); });
    TimerRec->start();
    TimerStatus->start();
}

void TFormMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    view_->RedrawTimeBar();
    controlState_.FirstPaintPending = true;
}

void TFormMain::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        if (isMinimized()) {
            st_.Shell.Minimized = true;
        } else if (st_.Shell.Minimized) {
            st_.Shell.Minimized = false;
            setWindowTitle(caption_.isEmpty() ? QStringLiteral("Orvane Recorder") : caption_);
            setWindowIcon(levelIcons_[17]);
            // Nothing was drawn while minimized: show the whole history at once.
            if (st_.Capture.Recording) PanelMain->DrawLiveDisplays(ChBoxDC->isChecked());
        }
    }
    QMainWindow::changeEvent(event);
}

void TFormMain::menuFileClick() {
    menuSaveAs->setEnabled(control_->SaveAsEnabled() && !st_.Busy.Busy());
    EnableSaveRecent();
}

// Its shortcut works without the menu: kept up to date with the recording.
void TFormMain::EnableSaveRecent() {
    menuSaveRecent->setEnabled(st_.Capture.Recording && !st_.Busy.Busy());
    // A marker touches memory only; its record is written with the blocks.
    menuAddMarker->setEnabled(st_.Capture.Recording && !st_.Busy.HoldsRecording());
}

void TFormMain::menuExplorerClick() { seams_.Launcher.OpenPath(st_.Settings.OutputFolder); }

void TFormMain::menuSaveSettingsClick(QWidget* over) { saveFlow_->OpenSaveSettings(over ? over : this); }

void TFormMain::OrvaneRecorderHelpClick() {
    seams_.Launcher.OpenPath(
        platform::FindProgramFile(seams_.ExecutablePath, "orvane-recorder.html", platform::InstalledIn::Data));
}

void TFormMain::menuAboutClick() {
    if (!formAbout_) return;
    formAbout_->adjustSize();
    OpenOver(*formAbout_, this);
    formAbout_->exec();
}

void TFormMain::menuRecordSourceClick() {
    if (st_.Capture.Recording) return;
    ProcessEvents();
    // The desktop's sound settings on their recording tab, else the terminal mixer.
    if (seams_.Launcher.HasProgram("pavucontrol")) {
        seams_.Launcher.Start("pavucontrol", {"--tab=4"});
    } else if (seams_.Launcher.HasProgram("alsamixer") && seams_.Launcher.HasProgram("x-terminal-emulator")) {
        seams_.Launcher.Start("x-terminal-emulator", {"-e", "alsamixer", "--view=capture"});
    } else {
        seams_.Dialogs.Message("To choose the recording source, install pavucontrol\n"
                               "(sudo apt-get install pavucontrol).");
    }
}

// A panel of a fixed size takes a new text without laying out the whole
// status bar again (the clock panel changes every second); it is resized only
// when the text needs another width, never below its designed width. Digits
// are as wide as each other in the fonts in use: the text is measured with
// each digit as 0, so that a ticking clock is measured once.
void TFormMain::SetStatusText(size_t panel, const QString& text) {
    QLabel* label = StatusPanels[panel];
    const bool sized = label->minimumWidth() == label->maximumWidth();
    if (label->text() == text && sized) return;
    QString shape = text.isEmpty() ? QStringLiteral(" ") : text;  // an empty panel keeps a line's height
    for (QChar& c : shape)
        if (c.isDigit()) c = u'0';
    if (!sized || shape != statusShapes_[panel]) {
        statusMeasure_->setFont(label->font());
        statusMeasure_->setText(shape);
        const QSize hint = statusMeasure_->sizeHint();
        label->setFixedSize(std::max(statusWidths_[panel], hint.width()), hint.height());
        statusShapes_[panel] = shape;
    }
    label->setText(text);
}

std::string TFormMain::EncoderLibraryPath() const {
    return platform::FindProgramFile(seams_.ExecutablePath, "liblame_enc.so", platform::InstalledIn::PrivateLibraries);
}

void TFormMain::FormPaint() {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, BaseColour(st_.Colours));
    setPalette(pal);
    PanelMain->FormPaint();  // chooses the text colours first
    for (QLabel* label : {LabReduce, LabAudioDeviceControl, LabRecordingControl}) {
        QPalette lp = label->palette();
        lp.setColor(QPalette::WindowText, st_.Colours.TextColour);
        label->setPalette(lp);
    }
}

void TFormMain::menuSkinClick() {
    if (formColors_) formColors_->exec();
    // Taken again even when the chooser closed without a choice.
    SelectScheme(st_.Colours, st_.Settings.ColourScheme);
    FormPaint();
    PanelMain->RedrawTimeBar();
    ApplyKnobPicture();
}

// The knob ImageVol shows the picture of the scheme in use.
void TFormMain::ApplyKnobPicture() {
    const QImage& picture = KnobPicture(skin_, st_.Settings.ColourScheme);
    if (!ImageVol || picture.isNull()) return;
    ImageVol->setPixmap(QPixmap::fromImage(picture));
    ImageVol->resize(picture.size());
}

}  // namespace orv

// The editor window: its menus, tool bar and controls, their layout, and its opening and closing.
#include "editor/form_edit.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>

#include "record/processing.h"

namespace orv {

namespace {

constexpr int ToolBarHeight = 30;
constexpr int StatusBarHeight = 22;
constexpr int ScrollBarHeight = 17;
constexpr int ZoomButtonWidth = 22;
constexpr int VolumeTrackWidth = 105;
constexpr int VolumeKnobWidth = 9;

QPixmap MarkPixmap(const QColor& colour, bool pointDown) {
    QPixmap pm(17, 8);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const QPolygon tri = pointDown ? QPolygon({QPoint(0, 0), QPoint(16, 0), QPoint(8, 7)})
                                   : QPolygon({QPoint(8, 0), QPoint(0, 7), QPoint(16, 7)});
    p.drawPolygon(tri);
    return pm;
}

}  // namespace

TFormEdit::TFormEdit(EditorWindowContext context, QWidget* parent) : QDialog(parent), ctx_(std::move(context)) {
    setObjectName("TFormEdit");
    setWindowTitle(QStringLiteral("Orvane Recorder - 编辑"));
    setMinimumSize(780, 450);
    resize(780, 450);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    colours_ = MakeViewColours(ctx_.Colours);
    BuildMenus();
    BuildToolBar();
    BuildControls();
    TimerPlay = new QTimer(this);
    TimerPlay->setObjectName("TimerPlay");
    TimerPlay->setInterval(100);
    connect(TimerPlay, &QTimer::timeout, this, [this] { TimerPlayTimer(); });
}

TFormEdit::~TFormEdit() {
    if (TimerPlay) TimerPlay->stop();
    if (open_) CloseWorkingState();
}

QAction* TFormEdit::AddItem(QMenu* menu, const char* name, const QString& caption, void (TFormEdit::*handler)(),
                            const QKeySequence& shortcut) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        addAction(a);  // the shortcut works wherever the focus is in this window
    }
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return a;
}

void TFormEdit::BuildMenus() {
    Menu2 = new QMenuBar(this);
    Menu2->setObjectName("Menu2");
    Menu2->setNativeMenuBar(false);

    QMenu* file = Menu2->addMenu(QStringLiteral("文件"));
    file->setObjectName("menuFile");
    AddItem(file, "menuSaveAll", QStringLiteral("保存所有为..."), &TFormEdit::menuSaveAllClick);
    AddItem(file, "menuSaveSelection", QStringLiteral("保存选定部分为..."), &TFormEdit::menuSaveSelectionClick);
    file->addSeparator();
    AddItem(file, "menuExplorer", QStringLiteral("打开资源管理器"), &TFormEdit::menuExplorerClick);
    file->addSeparator();
    AddItem(file, "menuExit", QStringLiteral("退出"), &TFormEdit::menuExitClick);

    QMenu* edit = Menu2->addMenu(QStringLiteral("编辑"));
    edit->setObjectName("menuEdit");
    AddItem(edit, "menuUndo", QStringLiteral("撤消"), &TFormEdit::menuUndoClick, QKeySequence(Qt::CTRL | Qt::Key_Z));
    AddItem(edit, "menuRedo", QStringLiteral("恢复"), &TFormEdit::menuRedoClick, QKeySequence(Qt::CTRL | Qt::Key_Y));
    edit->addSeparator();
    AddItem(edit, "menuCut", QStringLiteral("剪切"), &TFormEdit::menuCutClick, QKeySequence(Qt::CTRL | Qt::Key_X));
    AddItem(edit, "menuCopy", QStringLiteral("复制"), &TFormEdit::menuCopyClick, QKeySequence(Qt::CTRL | Qt::Key_C));
    AddItem(edit, "menuPaste", QStringLiteral("粘贴"), &TFormEdit::menuPasteClick, QKeySequence(Qt::CTRL | Qt::Key_V));
    AddItem(edit, "menuDelete", QStringLiteral("删除"), &TFormEdit::menuDeleteClick, QKeySequence(Qt::Key_Delete));
    edit->addSeparator();
    AddItem(edit, "menuSelectAll", QStringLiteral("全选"), &TFormEdit::menuSelectAllClick,
            QKeySequence(Qt::CTRL | Qt::Key_A));
    edit->addSeparator();
    AddItem(edit, "menuAddMarker", QStringLiteral("添加标记"), &TFormEdit::menuAddMarkerClick, QKeySequence(Qt::Key_M));
    AddItem(edit, "menuRemoveMarker", QStringLiteral("删除标记"), &TFormEdit::menuRemoveMarkerClick,
            QKeySequence(Qt::SHIFT | Qt::Key_M));
    AddItem(edit, "menuPreviousMarker", QStringLiteral("上一个标记"), &TFormEdit::menuPreviousMarkerClick,
            QKeySequence(Qt::Key_BracketLeft));
    AddItem(edit, "menuNextMarker", QStringLiteral("下一个标记"), &TFormEdit::menuNextMarkerClick,
            QKeySequence(Qt::Key_BracketRight));

    QMenu* effects = Menu2->addMenu(QStringLiteral("效果"));
    effects->setObjectName("menuEffects");
    AddItem(effects, "menuFadeIn", QStringLiteral("淡入"), &TFormEdit::menuFadeInClick);
    AddItem(effects, "menuFadeOut", QStringLiteral("淡出"), &TFormEdit::menuFadeOutClick);
    effects->addSeparator();
    AddItem(effects, "menuAmplify", QStringLiteral("放大 +/- ..."), &TFormEdit::menuAmplifyClick);
    AddItem(effects, "menuNormalize", QStringLiteral("标准化"), &TFormEdit::menuNormalizeClick);
    effects->addSeparator();
    AddItem(effects, "menuSilence", QStringLiteral("插入静音"), &TFormEdit::menuSilenceClick);

    QMenu* options = Menu2->addMenu(QStringLiteral("选项"));
    options->setObjectName("menuOptions");
    AddItem(options, "menuSaveSettings", QStringLiteral("保存设置..."), &TFormEdit::menuSaveSettingsClick);
    options->addSeparator();
    // Linux takes the newer-system caption.
    menuPlayBack = AddItem(options, "menuPlayBack", QStringLiteral("Playback Devices"), &TFormEdit::menuPlayBackClick);

    QMenu* help = Menu2->addMenu(QStringLiteral("帮助"));
    help->setObjectName("menuHelp");
    AddItem(help, "menuOrvaneHelp", QStringLiteral("帮助内容"), &TFormEdit::menuOrvaneHelpClick);
    AddItem(help, "menuAbout", QStringLiteral("关于"), &TFormEdit::menuAboutClick);
}

void TFormEdit::BuildToolBar() {
    CoolBarFile = new QWidget(this);
    CoolBarFile->setObjectName("CoolBarFile");
    CoolBarFile->setAutoFillBackground(true);
    struct Button {
        const char* name;
        const char* text;
        const char* hint;
        void (TFormEdit::*handler)();
    };
    const Button buttons[] = {
        {"SBtnSaveAll", "保存", "保存所有为", &TFormEdit::menuSaveAllClick},
        {"SBtnSaveSel", "存选", "另存当前所选为...", &TFormEdit::menuSaveSelectionClick},
        {"SBtnExplorer", "目录", "打开资源管理器", &TFormEdit::menuExplorerClick},
        {nullptr, nullptr, nullptr, nullptr},
        {"SBtnUndo", "撤消", "撤消", &TFormEdit::menuUndoClick},
        {"SBtnRedo", "重做", "重做", &TFormEdit::menuRedoClick},
        {"SBtnCut", "剪切", "剪切", &TFormEdit::menuCutClick},
        {"SBtnCopy", "复制", "复制", &TFormEdit::menuCopyClick},
        {"SBtnPaste", "粘贴", "粘贴", &TFormEdit::menuPasteClick},
        {"SBtnDelete", "删除", "删除", &TFormEdit::menuDeleteClick},
        {nullptr, nullptr, nullptr, nullptr},
        {"SBtnFadeIn", "淡入", "淡入", &TFormEdit::menuFadeInClick},
        {"SBtnFadeOut", "淡出", "淡出", &TFormEdit::menuFadeOutClick},
        {"SBtnAmplify", "放大", "放大 +/- ...", &TFormEdit::menuAmplifyClick},
        {"SBtnNormalize", "标准", "标准化", &TFormEdit::menuNormalizeClick},
        {"SBtnSilence", "静音", "插入静音", &TFormEdit::menuSilenceClick},
        {nullptr, nullptr, nullptr, nullptr},
        {"SBtnPlayAll", "▶全部", "播放全部", &TFormEdit::SBtnPlayAllClick},
        {"SBtnPlaySelection", "▶选区", "播放选区", &TFormEdit::SBtnPlaySelectionClick},
        {"SBtnStop", "■", "停止", &TFormEdit::SBtnStopClick},
        {"SBtnSettings", "设置", "保存设置", nullptr},  // no action
    };
    int x = 4;
    for (const Button& b : buttons) {
        if (!b.name) {
            x += 6;
            continue;
        }
        auto* btn = new QToolButton(CoolBarFile);
        btn->setObjectName(b.name);
        btn->setText(QString::fromUtf8(b.text));
        btn->setToolTip(QString::fromUtf8(b.hint));
        btn->setAutoRaise(true);
        btn->setFocusPolicy(Qt::NoFocus);
        // As narrow as the caption allows: the volume knob after the last
        // button must stay inside the window at its smallest width.
        const int w = std::max(26, btn->fontMetrics().horizontalAdvance(btn->text()) + 10);
        btn->setGeometry(x, 2, w, ToolBarHeight - 4);
        x += w;
        if (b.handler) {
            auto handler = b.handler;
            connect(btn, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
        }
    }
    ImageVolume = new QLabel(CoolBarFile);
    ImageVolume->setObjectName("ImageVolume");
    ImageVolume->setToolTip(QStringLiteral("回放音量"));
    QPixmap track(VolumeTrackWidth, 12);
    track.fill(Qt::transparent);
    {
        QPainter p(&track);
        p.setPen(QColor(90, 90, 90));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(0, 4, VolumeTrackWidth - 1, 4);
    }
    ImageVolume->setPixmap(track);
    ImageVolume->setGeometry(x + 8, 9, VolumeTrackWidth, 12);
    ImageHandle = new QLabel(CoolBarFile);
    ImageHandle->setObjectName("ImageHandle");
    ImageHandle->setToolTip(QStringLiteral("回放音量"));
    QPixmap knob(VolumeKnobWidth, 20);
    knob.fill(QColor(70, 70, 80));
    {
        QPainter p(&knob);
        p.setPen(QColor(220, 220, 220));
        p.drawLine(4, 3, 4, 16);
    }
    ImageHandle->setPixmap(knob);
    ImageHandle->setGeometry(ImageVolume->x(), 5, VolumeKnobWidth, 20);
    ImageHandle->installEventFilter(this);
    // Wider fonts than expected: the window grows rather than hide the knob.
    setMinimumWidth(std::max(minimumWidth(), ImageVolume->x() + VolumeTrackWidth + 8));
}

void TFormEdit::BuildControls() {
    ScrollBar = new QScrollBar(Qt::Horizontal, this);
    ScrollBar->setObjectName("ScrollBar");
    ScrollBar->setRange(0, 0);
    connect(ScrollBar, &QScrollBar::valueChanged, this, [this](int v) {
        if (!scrollUpdating_) ScrollBarChange(v);
    });
    BtnInc = new QPushButton(QStringLiteral("+"), this);
    BtnInc->setObjectName("BtnInc");
    BtnInc->setFocusPolicy(Qt::NoFocus);
    connect(BtnInc, &QPushButton::clicked, this, [this] { BtnIncClick(); });
    BtnDec = new QPushButton(QStringLiteral("-"), this);
    BtnDec->setObjectName("BtnDec");
    BtnDec->setFocusPolicy(Qt::NoFocus);
    connect(BtnDec, &QPushButton::clicked, this, [this] { BtnDecClick(); });

    StBar = new QStatusBar(this);
    StBar->setObjectName("StBar");
    StBar->setSizeGripEnabled(false);
    for (int i = 0; i < 4; ++i) {
        StatusPanels[size_t(i)] = new QLabel(StBar);
        StatusPanels[size_t(i)]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[size_t(i)]->setGeometry(150 * i + 2, 2, 148, StatusBarHeight - 4);
    }
    ProgressBar = new QProgressBar(StBar);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    ProgressBar->hide();

    auto mark = [this](const char* name) {
        auto* w = new QWidget(this);
        w->setObjectName(name);
        w->setAttribute(Qt::WA_TransparentForMouseEvents);
        w->setAutoFillBackground(true);
        return w;
    };
    ShapeSelected = mark("ShapeSelected");
    ShapeSelected->setPalette(QPalette(QColor(80, 200, 80)));
    ImagePoint = new QLabel(this);
    ImagePoint->setObjectName("ImagePoint");
    ImagePoint->setAttribute(Qt::WA_TransparentForMouseEvents);
    ImagePoint->setPixmap(MarkPixmap(QColor(100, 100, 255), true));
    playMarkPicture_ = MarkPixmap(PlayMarkColour, false).toImage().convertToFormat(WindowPictureFormat);
}

ViewTimeline TFormEdit::Timeline() const {
    const EditorState& e = ctx_.Editor;
    ViewTimeline t;
    t.Pieces = CurrentPieces(e);
    t.RecordingPeaks = &ctx_.Buffers.Peaks;
    t.EditPeaks = &e.EditPeaks;
    t.TotalBlocks = e.TotalBlocks;
    t.SelStart = e.SelStart;
    t.SelEnd = e.SelEnd;
    t.InsertPoint = e.InsertPoint;
    t.Markers = CurrentMarkers(e);
    return t;
}

EditorContext TFormEdit::Context() {
    return EditorContext{ctx_.Capture.RawStream, ctx_.Buffers.Peaks, ctx_.Buffers, ctx_.Processing,
                         [this](float percent) {
                             if (ProgressShown) ProgressBar->setValue(static_cast<int>(RoundEven(percent)));
                             if (OnOperationStep) OnOperationStep();
                             ProcessEvents();
                         }};
}

void TFormEdit::ProcessEvents() { QCoreApplication::processEvents(); }

// ---- layout ----

void TFormEdit::LayoutEditor() {
    const int W = width();
    const int Ht = height();
    const int menuHeight = Menu2->sizeHint().height();
    Menu2->setGeometry(0, 0, W, menuHeight);
    CoolBarFile->setGeometry(0, menuHeight, W, ToolBarHeight);
    geo_ = LayoutEditorGeometry(W, Ht, menuHeight + ToolBarHeight, StatusBarHeight, ScrollBarHeight,
                                ZoomButtonWidth);
    StBar->setGeometry(0, geo_.StatusTop, W, StatusBarHeight);
    const int progressLeft = 3 * 150;
    ProgressBar->setGeometry(progressLeft, 4, std::max(W - progressLeft - 2, 1), StatusBarHeight - 6);
    ScrollBar->setGeometry(geo_.ScrollLeft, geo_.ScrollTop, geo_.ScrollWidth, ScrollBarHeight);
    BtnInc->setGeometry(geo_.IncLeft, geo_.IncTop, ZoomButtonWidth, ScrollBarHeight + 4);
    BtnDec->setGeometry(geo_.DecLeft, geo_.DecTop, ZoomButtonWidth, ScrollBarHeight + 4);
    ShapeSPlay.Area = QRect(ShapeSPlay.x(), geo_.T + 1, 1, std::max(geo_.H, 1));
    ImagePoint->setGeometry(ImagePoint->x(), geo_.PointTop, 17, 8);
    ImagePlay.Area = QRect(ImagePlay.x(), geo_.PlayMarkTop, 17, 8);
    ShapeSelected->setGeometry(ShapeSelected->x(), geo_.SelectedTop, std::max(ShapeSelected->width(), 1), 4);
    PrepareViewImages(view_, geo_);
    backdropStale_ = true;
}

VolumeKnob TFormEdit::Knob() const { return VolumeKnob{ImageVolume->x(), VolumeTrackWidth, VolumeKnobWidth}; }

// ---- show and close ----

void TFormEdit::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous() && !open_) FormShow();
}

void TFormEdit::FormShow() {
    closePending_ = false;
    editsUnsaved_ = false;
    ctx_.Host.FoundRecordingStep(EditorHost::FoundRecordingPhase::Show);
    colours_ = MakeViewColours(ctx_.Colours);
    LayoutEditor();
    statusShownFor_.reset();
    view_.ViewFirstBlock = 0;
    ClearColumnMemo(view_);

    // The editor works in the capture memory: only with capture closed.
    loan_.emplace(ctx_.Capture);
    const bool lent = loan_->Granted();
    // Only whole blocks that are in the file: a stop before the first whole
    // block leaves none, whatever the block count says.
    const platform::RawFile& raw = ctx_.Capture.RawStream;
    const int64_t bytes = raw.isOpen() ? raw.size() : 0;
    const uint32_t inFile = bytes > 0 ? static_cast<uint32_t>(bytes / BlockBytes) : 0;
    const uint32_t blocks = lent ? std::min(ctx_.Capture.TotalBlocks, inFile) : 0;

    const EditResult opened = OpenEditor(ctx_.Editor, blocks, ctx_.Capture.LastWrittenBlock,
                                         ctx_.Capture.RecordedLoopMode, ctx_.EditFileName, ctx_.ClipFileName,
                                         ctx_.Capture.Markers);
    open_ = true;
    PlaybackState& ps = ctx_.Playback.State();
    ps.Playing = false;
    ps.PlayPos = 1;

    view_.ZoomLevel = ZoomToFit(blocks, geo_.Columns());
    DrawView();
    UpdateScrollBar();
    UpdateSelectionStatus();
    ctx_.Playback.OpenPlayback();
    ps.PlaybackVolume = ctx_.Playback.GetPlaybackVolume();
    PlaceVolumeKnob(ps.PlaybackVolume);
    // The last showing's peak holds stopped falling when its timer stopped.
    view_.PeakHoldLeft = view_.PeakHoldRight = 0;
    DrawPlaybackMeter(view_, geo_, colours_, 0, 0);
    TimerPlay->start();
    update();
    if (!lent) ctx_.Host.Message("The recording cannot be edited while capture is open.");
    else if (!opened.Ok) ctx_.Host.Message(opened.Message);
    EndLongCommand();  // a close asked for while the found recording loaded
}

void TFormEdit::CloseWorkingState() {
    CloseEditor(ctx_.Editor);
    ctx_.Host.FoundRecordingStep(EditorHost::FoundRecordingPhase::Close);
    ctx_.Playback.ClosePlayback();
    loan_.reset();
    open_ = false;
}

void TFormEdit::FormClose() {
    if (!open_) return;
    TimerPlay->stop();
    {
        // Held until the working state is gone: the pump and the found
        // recording's messages let events run.
        BusyGuard guard(ctx_.Busy);
        ctx_.Playback.StopPlayback();
        ProcessEvents();
        // The recording keeps its own block count, last written block and ring
        // state: the edited length is the editor's alone.
        CloseWorkingState();
    }
    closePending_ = false;  // this close answers any asked for meanwhile
    update(PlacePlayMarks());
}

bool TFormEdit::DiscardEditsAllowed() {
    if (!open_ || !editsUnsaved_) return true;
    bool discard = false;
    {
        // The question lets events run; a close asked for meanwhile is answered by it.
        BusyGuard guard(ctx_.Busy);
        discard = ctx_.Host.Confirm(DiscardEditsQuestion);
    }
    closePending_ = false;
    return discard;
}

void TFormEdit::closeEvent(QCloseEvent* event) {
    if (EditorBusy()) {
        // Closing waits for the running operation; it closes (or asks) when that ends.
        closePending_ = true;
        event->ignore();
        return;
    }
    if (!DiscardEditsAllowed()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    QDialog::done(QDialog::Rejected);
}

void TFormEdit::reject() { close(); }

}  // namespace orv

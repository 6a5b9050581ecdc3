#include "editor/form_edit.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "editor/edit_input.h"
#include "platform/desktop.h"
#include "playback/play_timer.h"
#include "record/processing.h"

namespace orv {

namespace {

constexpr int ToolBarHeight = 30;
constexpr int StatusBarHeight = 22;
constexpr int ScrollBarHeight = 17;
constexpr int ZoomButtonWidth = 22;
constexpr int VolumeTrackWidth = 105;
constexpr int VolumeKnobWidth = 9;

QString Q(const std::string& s) { return QString::fromStdString(s); }

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
    ShapeSPlay = mark("ShapeSPlay");
    ShapeSPlay->setPalette(QPalette(QColor(255, 60, 60)));
    ShapeSPlay->hide();
    ImagePoint = new QLabel(this);
    ImagePoint->setObjectName("ImagePoint");
    ImagePoint->setAttribute(Qt::WA_TransparentForMouseEvents);
    ImagePoint->setPixmap(MarkPixmap(QColor(100, 100, 255), true));
    ImagePlay = new QLabel(this);
    ImagePlay->setObjectName("ImagePlay");
    ImagePlay->setAttribute(Qt::WA_TransparentForMouseEvents);
    ImagePlay->setPixmap(MarkPixmap(QColor(255, 60, 60), false));
    ImagePlay->hide();
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

// ---- layout and drawing ----

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
    ShapeSPlay->setGeometry(ShapeSPlay->x(), geo_.T + 1, 1, std::max(geo_.H, 1));
    ImagePoint->setGeometry(ImagePoint->x(), geo_.PointTop, 17, 8);
    ImagePlay->setGeometry(ImagePlay->x(), geo_.PlayMarkTop, 17, 8);
    ShapeSelected->setGeometry(ShapeSelected->x(), geo_.SelectedTop, std::max(ShapeSelected->width(), 1), 4);
    PrepareViewImages(view_, geo_);
}

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
    const bool selected = e.SelStart != e.SelEnd;
    StatusPanels[0]->setText(Q("Start - " + FormatBlockTimeTenths(e.SelStart - 1)));
    StatusPanels[1]->setText(Q("End - " + (selected ? FormatBlockTimeTenths(e.SelEnd) : std::string())));
    StatusPanels[2]->setText(
        Q("Length - " + (selected ? FormatBlockTimeTenths(e.SelEnd - e.SelStart + 1) : std::string())));
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

VolumeKnob TFormEdit::Knob() const { return VolumeKnob{ImageVolume->x(), VolumeTrackWidth, VolumeKnobWidth}; }

void TFormEdit::paintEvent(QPaintEvent*) {
    QPainter p(this);
    DrawViewFrame(p, geo_, colours_, CoolBarFile->geometry().bottom() + 1);
    DrawMeterFrame(p, geo_, colours_);
    p.drawImage(geo_.L, geo_.T, view_.View);
    p.drawImage(geo_.MeterLeft, geo_.T, view_.Meter);
}

void TFormEdit::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FormResize();
}

void TFormEdit::FormResize() {
    LayoutEditor();
    UpdateScrollBar();
    ZoomAfterResize(view_, ctx_.Editor.TotalBlocks, geo_.Columns());
    DrawView();
    const PlaybackState& ps = ctx_.Playback.State();
    DrawPlaybackMeter(view_, geo_, colours_, ps.Playing ? ps.BlockMaxLeft : 0, ps.Playing ? ps.BlockMaxRight : 0);
    update();
}

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
                                         ctx_.Capture.RecordedLoopMode, ctx_.EditFileName, ctx_.ClipFileName);
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
    ShapeSPlay->hide();
    ImagePlay->hide();
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

// ---- commands ----

void TFormEdit::StopPlaybackAndPump() {
    ctx_.Playback.StopPlayback();
    PlacePlayMarks();  // gone at once, not at the next tick
    ProcessEvents();
}

void TFormEdit::ShowResult(const EditResult& r) {
    if (!r.Ok) ctx_.Host.Message(r.Message);
}

void TFormEdit::RunWithProgress(const std::function<EditResult()>& operation) {
    ProgressBar->setValue(0);
    ProgressBar->show();
    ProgressShown = true;
    const EditResult r = operation();
    ProgressShown = false;
    ProgressBar->hide();
    FormResize();
    ProgressBar->hide();
    ShowResult(r);
}

void TFormEdit::EndLongCommand() {
    if (closePending_ && !EditorBusy()) {
        closePending_ = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

TFormEdit::LevelMark TFormEdit::MarkLevel() const {
    const EditorState& e = ctx_.Editor;
    return {e.CurrentLevel, e.TopLevel, e.EditHistory[e.CurrentLevel].Pieces};
}

// Any change of the current level (an edit, undo or redo) makes the recording unsaved again.
void TFormEdit::NoteEdit(const LevelMark& before) {
    if (MarkLevel() == before) return;
    editsUnsaved_ = true;
    if (ctx_.Saved) MarkRecordingEdited(*ctx_.Saved);
}

bool TFormEdit::EnoughSpaceFor(uint64_t blocks) {
    const int64_t free = ctx_.Host.FreeBytes(ctx_.WorkingFolder);
    if (free < 0 || static_cast<uint64_t>(free) >= blocks * BlockBytes) return true;
    ctx_.Host.Message("There is not enough free space in the working folder for this edit.");
    return false;
}

bool TFormEdit::EnoughSpaceForEffect() { return EnoughSpaceFor(SelectedBlockCount(ctx_.Editor)); }

#define ORV_LONG_COMMAND(body)              \
    if (EditorBusy() || !open_) return;     \
    {                                       \
        BusyGuard guard(ctx_.Busy);         \
        const LevelMark before = MarkLevel(); \
        StopPlaybackAndPump();              \
        body                                \
        NoteEdit(before);                   \
    }                                       \
    EndLongCommand();

void TFormEdit::menuCutClick() {
    ORV_LONG_COMMAND({
        EditorContext c = Context();
        RunWithProgress([&] { return CutSelection(ctx_.Editor, c); });
    })
}

void TFormEdit::menuCopyClick() {
    ORV_LONG_COMMAND({
        EditorContext c = Context();
        RunWithProgress([&] { return CopySelection(ctx_.Editor, c); });
    })
}

void TFormEdit::menuPasteClick() {
    ORV_LONG_COMMAND({
        if (EnoughSpaceFor(ctx_.Editor.ClipBlockCount)) {
            EditorContext c = Context();
            RunWithProgress([&] { return InsertBlocks(ctx_.Editor, c, "Paste"); });
        }
    })
}

void TFormEdit::menuFadeInClick() {
    ORV_LONG_COMMAND({
        if (EnoughSpaceForEffect()) {
            PrepareFade(ctx_.Editor, true);
            EditorContext c = Context();
            RunWithProgress([&] { return ApplyEffect(ctx_.Editor, c, "FadeIn"); });
        }
    })
}

void TFormEdit::menuFadeOutClick() {
    ORV_LONG_COMMAND({
        if (EnoughSpaceForEffect()) {
            PrepareFade(ctx_.Editor, false);
            EditorContext c = Context();
            RunWithProgress([&] { return ApplyEffect(ctx_.Editor, c, "FadeOut"); });
        }
    })
}

void TFormEdit::menuNormalizeClick() {
    ORV_LONG_COMMAND({
        if (EnoughSpaceForEffect()) {
            EditorContext c = Context();
            RunWithProgress([&] { return ApplyEffect(ctx_.Editor, c, "Normalize"); });
        }
    })
}

void TFormEdit::menuAmplifyClick() {
    ORV_LONG_COMMAND({
        ProgressBar->setValue(0);
        ProgressBar->show();
        ProgressShown = true;
        EditorContext c = Context();
        const long n = static_cast<long>(RoundEven(static_cast<double>(NormalizeGain(ctx_.Editor, c)) * 100.0));
        const std::string text = ctx_.Host.InputBox(
            "Amplify",
            "Input Amplification Factor (1-1000%)\rOriginal Level - 100%\rSound Clipping Level - " + std::to_string(n),
            "100");
        const AmplifyInput in = ParseAmplifyPercent(text);
        EditResult r;
        if (!in.Ok) {
            r = EditResult::Failure(in.Error);
        } else if (in.Percent != 100 && EnoughSpaceForEffect()) {
            ctx_.Editor.AmplifyFactor = in.Percent / 100.0;
            r = ApplyEffect(ctx_.Editor, c, "Amplify");
        }
        ProgressShown = false;
        ProgressBar->hide();
        FormResize();
        ProgressBar->hide();
        ShowResult(r);
    })
}

void TFormEdit::menuSilenceClick() {
    ORV_LONG_COMMAND({
        const std::string text = ctx_.Host.InputBox("Insert Silence", "Insert Silence in seconds:", "0");
        const SilenceInput in =
            ParseSilenceSeconds(text, ctx_.DecimalPoint, ctx_.Editor.TotalBlocks, PeakTableSize);
        if (!in.Ok) {
            ctx_.Host.Message(in.Error);
        } else if (in.Blocks > 0 && EnoughSpaceFor(in.Blocks)) {
            ctx_.Editor.SilenceBlockCount = in.Blocks;
            EditorContext c = Context();
            RunWithProgress([&] { return InsertBlocks(ctx_.Editor, c, "Silence"); });
        }
    })
}

#define ORV_SHORT_COMMAND(body)         \
    if (EditorBusy() || !open_) return; \
    {                                   \
        BusyGuard guard(ctx_.Busy);     \
        const LevelMark before = MarkLevel(); \
        StopPlaybackAndPump();          \
        body                            \
        NoteEdit(before);               \
    }                                   \
    FormResize();                       \
    EndLongCommand();

void TFormEdit::menuUndoClick() { ORV_SHORT_COMMAND(UndoEdit(ctx_.Editor);) }

void TFormEdit::menuRedoClick() { ORV_SHORT_COMMAND(RedoEdit(ctx_.Editor);) }

void TFormEdit::menuDeleteClick() { ORV_SHORT_COMMAND(DeleteSelection(ctx_.Editor);) }

#undef ORV_LONG_COMMAND
#undef ORV_SHORT_COMMAND

void TFormEdit::menuSelectAllClick() {
    if (EditorBusy() || !open_ || ctx_.Editor.TotalBlocks == 0) return;
    ctx_.Editor.SelStart = 1;
    ctx_.Editor.SelEnd = ctx_.Editor.TotalBlocks;
    DrawView();
    UpdateSelectionStatus();
}

void TFormEdit::SaveRange(uint32_t first, uint32_t last) {
    {
        BusyGuard guard(ctx_.Busy);
        ctx_.Playback.StopPlayback();
        const PieceSources sources{&ctx_.Capture.RawStream, &ctx_.Editor.EditFile};
        ctx_.Host.SaveEditedRange(first, last, CurrentPieces(ctx_.Editor), sources);
        // Edits leave the recording unsaved until a whole save completes.
        if (ctx_.Saved && ctx_.Saved->Saved) editsUnsaved_ = false;
    }
    DrawView();
    EndLongCommand();
}

void TFormEdit::menuSaveAllClick() {
    if (EditorBusy() || !open_ || ctx_.Editor.TotalBlocks == 0) return;
    SaveRange(1, ctx_.Editor.TotalBlocks);
}

void TFormEdit::menuSaveSelectionClick() {
    if (EditorBusy() || !open_) return;
    const EditorState& e = ctx_.Editor;
    if (e.SelStart == e.SelEnd) {
        ctx_.Host.Message("Please Select Waveform!");
        return;
    }
    SaveRange(std::min(e.SelStart, e.SelEnd), std::min(std::max(e.SelStart, e.SelEnd), e.TotalBlocks));
}

void TFormEdit::menuExplorerClick() { ctx_.Host.OpenOutputFolder(); }

void TFormEdit::menuExitClick() { close(); }

void TFormEdit::menuSaveSettingsClick() { ctx_.Host.ShowSaveSettings(); }

void TFormEdit::menuPlayBackClick() { ctx_.Host.OpenPlaybackDevices(); }

void TFormEdit::menuOrvaneHelpClick() { ctx_.Host.OpenHelp(); }

void TFormEdit::menuAboutClick() { ctx_.Host.ShowAbout(this); }

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
    DrawPlaybackMeter(view_, geo_, colours_, v.MeterLeft, v.MeterRight);
    update(geo_.MeterLeft, geo_.T, view_.Meter.width(), view_.Meter.height());
    if (v.Volume) PlaceVolumeKnob(*v.Volume);
    if (v.Progress) ProgressBar->setValue(*v.Progress);
    PlacePlayMarks();
    EndLongCommand();
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
    view_.ViewFirstBlock = ViewFirstForScroll(position, ctx_.Editor.TotalBlocks, view_.Z());
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
    if (e.SelStart != e.SelEnd) {
        edgeStart_ = EdgeColumn(view_, geo_, e.SelStart);
        edgeEnd_ = EdgeColumn(view_, geo_, e.SelEnd);
        const bool onStart = x >= edgeStart_ - 2 && x <= edgeStart_ + 1;
        const bool onEnd = x >= edgeEnd_ - 1 && x <= edgeEnd_ + 2;
        if (!onStart && !onEnd) return;  // the release handles the click
        setCursor(Qt::SizeHorCursor);
        dragging_ = true;
    } else {
        setCursor(Qt::SizeHorCursor);
        edgeStart_ = edgeEnd_ = x;
        e.SelStart = e.SelEnd = uint32_t(k);
        dragging_ = true;
    }
    e.InsertPoint = std::min(uint32_t(k), e.TotalBlocks);
    DrawView();
    UpdateSelectionStatus();
}

void TFormEdit::FormMouseMove(int x, int y, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    if (EditorBusy() || !open_) return;
    if (!(geo_.L < x && x < geo_.R && geo_.T <= y && y <= geo_.B)) return;
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
    e.InsertPoint = std::min(kb, e.TotalBlocks);
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
        e.InsertPoint = std::min(kb, e.TotalBlocks);
        ClearColumnMemo(view_);
    }
    if (x != pressX_ && dragging_) e.InsertPoint = std::min(kb, e.TotalBlocks);
    if (e.SelStart > e.SelEnd) std::swap(e.SelStart, e.SelEnd);
    dragging_ = false;
    setCursor(Qt::ArrowCursor);
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

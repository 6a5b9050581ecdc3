#include "shell/forms.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

#include "display/colour_scheme.h"

#include "record/processing.h"
#include "shell/app_state.h"

namespace orv {

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(40, 44, 52));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QRectF(size * 0.25, size * 0.25, size * 0.5, size * 0.5));
        icon.addPixmap(pm);
    }
    return icon;
}

TFormAbout::TFormAbout(QWidget* parent, const QString& soundBackend) : QDialog(parent) {
    setObjectName("TFormAbout");
    setWindowTitle(QStringLiteral("关于 Orvane Recorder"));
    auto* iconLabel = new QLabel(this);
    iconLabel->setPixmap(ProgramIcon().pixmap(48, 48));
    auto* title = new QLabel(QStringLiteral("Orvane Recorder 2.5.1"), this);
    title->setObjectName("LabTitle");
    QFont f = title->font();
    f.setBold(true);
    f.setPixelSize(26);
    title->setFont(f);
    auto* close = new QPushButton(QStringLiteral("确定"), this);
    close->setObjectName("BitBtnClose");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* top = new QHBoxLayout;
    top->addWidget(iconLabel);
    top->addWidget(title);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    if (!soundBackend.isEmpty()) {
        auto* sound = new QLabel(QStringLiteral("Sound: ") + soundBackend, this);
        sound->setObjectName("LabSoundBackend");
        layout->addWidget(sound, 0, Qt::AlignHCenter);
    }
    layout->addWidget(close, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint());
}

TFormInfo::TFormInfo(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormInfo");
    setWindowTitle(QStringLiteral("Orvane Recorder"));
    LabMessage = new QLabel(QStringLiteral("Orvane Recorder找到已录波形文件:"), this);
    LabMessage->setObjectName("LabMessage");
    LabQuestion = new QLabel(QStringLiteral("你要如何处理已录波形文件?"), this);
    LabQuestion->setObjectName("LabQuestion");
    BtnLoad = new QPushButton(QStringLiteral("载入"), this);
    BtnLoad->setObjectName("BtnLoad");
    BtnDiscard = new QPushButton(QStringLiteral("忽略"), this);
    BtnDiscard->setObjectName("BtnDiscard");
    BtnLoad->setAutoDefault(false);
    BtnDiscard->setAutoDefault(false);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setVisible(false);
    LabProgress = new QLabel(this);
    LabProgress->setObjectName("LabProgress");
    LabProgress->setVisible(false);
    connect(BtnLoad, &QPushButton::clicked, this, [this] { BtnLoadClick(); });
    connect(BtnDiscard, &QPushButton::clicked, this, [this] { BtnDiscardClick(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnLoad);
    buttons->addWidget(BtnDiscard);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabMessage);
    layout->addWidget(LabQuestion);
    layout->addWidget(ProgressBar1);
    layout->addWidget(LabProgress);
    layout->addLayout(buttons);
    // Room for the progress row from the start, so the size stays fixed.
    ProgressBar1->setVisible(true);
    LabProgress->setVisible(true);
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));
    ProgressBar1->setVisible(false);
    LabProgress->setVisible(false);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
}

void TFormInfo::Timer1Timer() {
    const float percent = percent_ ? *percent_ : 0.0f;
    ProgressBar1->setValue(static_cast<int>(RoundEven(percent)));
    LabProgress->setText(QStringLiteral("Loading...") + QString::number(double(percent), 'f', 1) +
                         QStringLiteral("%"));
}

void TFormInfo::BtnLoadClick() {
    if (loading_) return;
    loading_ = true;
    ProgressBar1->setVisible(true);
    LabProgress->setVisible(true);
    BtnLoad->setEnabled(false);
    BtnDiscard->setEnabled(false);
    if (loader_) loader_([](float) { QCoreApplication::processEvents(); });
    BtnLoad->setEnabled(true);
    BtnDiscard->setEnabled(true);
    loading_ = false;
    Timer1Timer();
    accept();
}

void TFormInfo::BtnDiscardClick() {
    if (!loading_) QDialog::reject();
}

void TFormInfo::reject() { BtnDiscardClick(); }

void TFormInfo::closeEvent(QCloseEvent* event) {
    // The load closes the dialog itself when it ends.
    if (loading_)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void TFormInfo::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the window whose Edit opened it.
    if (const QWidget* over = parentWidget(); over && over->isVisible())
        move(over->frameGeometry().center() - rect().center());
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void OfferFoundRecording(TFormInfo& form, AppState& app, Dialogs& dialogs) {
    const WorkingFiles& files = app.Shell.Files;
    if (!FoundRecordingOffered(app.Capture, files.FoundRecordingName)) return;
    FoundLoadResult result;
    bool ran = false;
    const bool keptBefore = app.Found.Kept.Valid;
    form.SetProgressSource(&app.Found.ProgressPercent);
    form.SetLoader([&](const FoundProgress& progress) {
        result = LoadFoundRecording(app.Found, app.Capture, app.Buffers, app.Busy, files.FoundRecordingName,
                                    files.PeakFileName, progress);
        ran = true;
    });
    form.exec();
    form.SetLoader({});
    if (ran && result.Outcome == FoundLoad::Loaded && !keptBefore) {
        // The saved mark now speaks of the found recording; the one just made keeps its own.
        app.Found.Kept.Saved = app.RecordingSaved.Saved;
        MarkNewRecording(app.RecordingSaved);
    }
    if (ran && !result.Message.empty()) dialogs.Message(result.Message);
}

void RestoreAfterEditor(AppState& app, Dialogs& dialogs) {
    const bool restoring = app.Found.Kept.Valid;
    const bool keptSaved = app.Found.Kept.Saved;
    const std::string error = RestoreRecordingJustMade(app.Found, app.Capture, app.Buffers);
    if (restoring) app.RecordingSaved.Saved = keptSaved;
    if (!error.empty()) dialogs.Message(error);
}

namespace {
// A rounded rectangle that reports the mouse passing over it and presses on it.
class SchemeShape : public QWidget {
public:
    SchemeShape(QWidget* parent, std::function<void()> moved, std::function<void()> pressed)
        : QWidget(parent), moved_(std::move(moved)), pressed_(std::move(pressed)) {
        setMouseTracking(true);
    }
    void SetColours(QColor fill, QColor outline) {
        fill_ = fill;
        outline_ = outline;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(outline_);
        p.setBrush(fill_);
        p.drawRoundedRect(QRectF(0.5, 0.5, width() - 1, height() - 1), 6, 6);
    }
    void mouseMoveEvent(QMouseEvent*) override { moved_(); }
    void mousePressEvent(QMouseEvent*) override { pressed_(); }

private:
    std::function<void()> moved_, pressed_;
    QColor fill_{Qt::white}, outline_{Qt::black};
};
}  // namespace

TFormColors::TFormColors(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormColors");
    setWindowTitle(QStringLiteral("可用颜色"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(163, 148);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    QFont labelFont = font();
    labelFont.setPixelSize(14);
    for (int n = 1; n <= 5; ++n) {
        auto* shape = new SchemeShape(this, [this, n] { ShapeMouseMove(n); }, [this, n] { ShapeMouseDown(n); });
        shape->setObjectName(QStringLiteral("Shape%1").arg(n));
        shape->setGeometry(6, 10 + 26 * (n - 1), 150, 24);
        // The caption passes the mouse on to its rectangle, so a click on the
        // text picks the scheme just as a click beside it does.
        auto* lab = new QLabel(QStringLiteral("颜色%1").arg(n), shape);
        lab->setObjectName(QStringLiteral("Lab%1").arg(n));
        lab->setFont(labelFont);
        lab->setAlignment(Qt::AlignCenter);
        lab->setGeometry(0, 0, 150, 24);
        lab->setAttribute(Qt::WA_TransparentForMouseEvents);
        Shapes[size_t(n - 1)] = shape;
        Labs[size_t(n - 1)] = lab;
    }
}

void TFormColors::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    for (int n = 1; n <= 5; ++n) {
        const SchemeEntry& e = SchemeTable[size_t(n - 1)];
        const QColor fill(e.Red, e.Green, e.Blue);
        const QColor outline(e.Red - 30, e.Green - 30, e.Blue - 30);
        static_cast<SchemeShape*>(Shapes[size_t(n - 1)])->SetColours(fill, outline);
    }
    HighlightSchemeLabel(ValidScheme(*scheme_));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TFormColors::HighlightSchemeLabel(int n) {
    for (int i = 1; i <= 5; ++i) {
        QPalette pal = Labs[size_t(i - 1)]->palette();
        pal.setColor(QPalette::WindowText, i == n ? QColor(150, 255, 150) : QColor(Qt::black));
        Labs[size_t(i - 1)]->setPalette(pal);
    }
}

void TFormColors::ShapeMouseDown(int n) {
    *scheme_ = n;
    accept();
}

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName("TForm1");
    setWindowTitle(QStringLiteral("FormImg"));
    hide();
}

}  // namespace orv

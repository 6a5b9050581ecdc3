#include "shell/forms.h"

#include <QFont>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

#include "display/colour_scheme.h"

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

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent) {
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
    layout->addWidget(close, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint());
}

TFormInfo::TFormInfo(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormInfo");
    setWindowTitle(QStringLiteral("Orvane Recorder"));
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

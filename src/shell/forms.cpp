#include "shell/forms.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

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

TFormColors::TFormColors(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormColors");
    setWindowTitle(QStringLiteral("可用颜色"));
    setFixedSize(163, 148);
}

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName("TForm1");
    setWindowTitle(QStringLiteral("FormImg"));
    hide();
}

}  // namespace orv

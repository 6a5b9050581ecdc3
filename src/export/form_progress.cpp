#include "export/form_progress.h"

#include "export/form_owner.h"

#include <QLocale>
#include <QVBoxLayout>
#include <cmath>

namespace orv {

TFormProgress::TFormProgress(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormProgress");
    setWindowTitle(QStringLiteral("Saving..."));
    setFixedSize(321, 139);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    BtnCancel = new QPushButton(QStringLiteral("取消"), this);
    BtnCancel->setObjectName("BtnCancel");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(ProgressBar1);
    layout->addWidget(BtnCancel, 0, Qt::AlignHCenter);
    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(BtnCancel, &QPushButton::clicked, this, [this] { BtnCancelClick(); });
    Timer1->start();
}

void TFormProgress::Begin(SaveProgress& progress, const QString& savedFileName, bool modal, QWidget* owner) {
    progress_ = &progress;
    setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
    savedFileName_ = savedFileName;
    setWindowTitle(QStringLiteral("Saving...") + savedFileName);
    OpenOver(*this, owner ? owner : parentWidget());
    Timer1Timer();
    show();
}

void TFormProgress::End() {
    Timer1Timer();
    progress_ = nullptr;
    hide();
}

void TFormProgress::Timer1Timer() {
    const float percent = progress_ ? progress_->ProgressPercent : 0.0f;
    ProgressBar1->setValue(int(std::nearbyint(percent)));
    Label1->setText(QStringLiteral("Saving...") + savedFileName_ + QStringLiteral("   ") +
                    QLocale::system().toString(double(percent), 'f', 1) + QStringLiteral("%"));
}

void TFormProgress::closeEvent(QCloseEvent* event) {
    BtnCancelClick();
    event->accept();
}

void TFormProgress::BtnCancelClick() {
    if (progress_) progress_->SaveContinue = false;
    hide();
}

}  // namespace orv

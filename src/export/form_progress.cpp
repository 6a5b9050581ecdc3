#include "export/form_progress.h"

namespace orv {

TFormProgress::TFormProgress(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormProgress");
    setWindowTitle(QStringLiteral("Saving..."));
    setFixedSize(321, 139);
    setWindowFlag(Qt::WindowStaysOnTopHint);
}

}  // namespace orv

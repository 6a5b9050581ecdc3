#include "editor/form_edit.h"

namespace orv {

TFormEdit::TFormEdit(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormEdit");
    setWindowTitle(QStringLiteral("Orvane Recorder - 编辑"));
    resize(640, 360);
}

}  // namespace orv

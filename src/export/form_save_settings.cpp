#include "export/form_save_settings.h"

namespace orv {

TFormSaveSettings::TFormSaveSettings(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormSaveSettings");
    setWindowTitle(QStringLiteral("保存设置"));
    setFixedSize(347, 266);
}

}  // namespace orv

#pragma once
// The save-format dialog.
#include <QDialog>

namespace orv {

class TFormSaveSettings : public QDialog {
    Q_OBJECT
public:
    explicit TFormSaveSettings(QWidget* parent = nullptr);
};

}  // namespace orv

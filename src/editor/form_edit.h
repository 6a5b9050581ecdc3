#pragma once
// The wave editor window, shown modally over the main window.
#include <QDialog>

namespace orv {

class TFormEdit : public QDialog {
    Q_OBJECT
public:
    explicit TFormEdit(QWidget* parent = nullptr);
};

}  // namespace orv

#pragma once
// The progress dialog of a save, with its Cancel button.
#include <QDialog>

namespace orv {

class TFormProgress : public QDialog {
    Q_OBJECT
public:
    explicit TFormProgress(QWidget* parent = nullptr);
};

}  // namespace orv

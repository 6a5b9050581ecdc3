#pragma once
// The progress dialog of a save, with its Cancel button. It stays on top
// and is shown, not run: the writer lets events run once per block, which is
// when its timer and Cancel act. It is application modal while shown (unless
// told otherwise), so it takes input even when a modal window (the editor)
// started the save.
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "export/save_progress.h"

namespace orv {

class TFormProgress : public QDialog {
    Q_OBJECT
public:
    explicit TFormProgress(QWidget* parent = nullptr);

    // Shows the dialog over owner for a save of the named file; not modal, it leaves
    // the other windows their input (a recording's Stop while its last minutes are saved).
    void Begin(SaveProgress& progress, const QString& savedFileName, bool modal = true, QWidget* owner = nullptr);
    void End();
    void Timer1Timer();
    void BtnCancelClick();

    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* BtnCancel = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    // Esc and the close box cancel the save, like the Cancel button.
    void reject() override { BtnCancelClick(); }
    void closeEvent(QCloseEvent* event) override;

private:
    SaveProgress* progress_ = nullptr;
    QString savedFileName_;
};

}  // namespace orv

#pragma once
// The small windows of the shell: About, the found-recording question, the
// colour chooser and the hidden picture form.
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "record/found_recording.h"

class QProgressBar;
class QPushButton;
class QTimer;

namespace orv {

// The program's icon, drawn once: a record dot on a dark face.
QIcon ProgramIcon();

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    // soundBackend: what the devices talk to this run, shown under the title.
    explicit TFormAbout(QWidget* parent = nullptr, const QString& soundBackend = {});
};

struct AppState;
class Dialogs;

// Asks whether to load the recording found in the working folder. Load runs
// the loader inside the click, letting events run once per block with both
// buttons disabled; a close meanwhile waits for the load, which closes the
// dialog when it ends. Discard, Esc and the window button change nothing.
class TFormInfo : public QDialog {
    Q_OBJECT
public:
    explicit TFormInfo(QWidget* parent = nullptr);

    using Loader = std::function<void(const FoundProgress& progress)>;
    void SetLoader(Loader loader) { loader_ = std::move(loader); }
    // The percentage Timer1 shows; nothing set shows 0.
    void SetProgressSource(const float* percent) { percent_ = percent; }

    void BtnLoadClick();
    void BtnDiscardClick();
    void Timer1Timer();
    bool Loading() const { return loading_; }

    QLabel* LabMessage = nullptr;
    QLabel* LabQuestion = nullptr;
    QPushButton* BtnLoad = nullptr;
    QPushButton* BtnDiscard = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* LabProgress = nullptr;
    QTimer* Timer1 = nullptr;

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    Loader loader_;
    const float* percent_ = nullptr;
    bool loading_ = false;
};

// The editor's FormShow, before it builds its view of the recording: when the
// recording mode is not a loop and "test" exists, shows the dialog modally;
// Load makes "test" the recording (app.Capture, app.Buffers.Peaks). A refusal
// or a failure is told through dialogs, and the recording just made stays.
void OfferFoundRecording(TFormInfo& form, AppState& app, Dialogs& dialogs);
// The editor's FormClose, in place of re-creating the raw file: after a load
// of "test" the recording just made comes back intact. Does nothing otherwise.
void RestoreAfterEditor(AppState& app, Dialogs& dialogs);

// The colour-scheme chooser: five rounded rectangles in the schemes' base
// colours; a click on one (or on its caption) picks that scheme and closes.
class TFormColors : public QDialog {
    Q_OBJECT
public:
    explicit TFormColors(QWidget* parent = nullptr);
    // The setting the chooser reads and sets (Settings::ColourScheme).
    void Bind(int32_t* colourScheme) { scheme_ = colourScheme; }
    void HighlightSchemeLabel(int n);
    void ShapeMouseMove(int n) { HighlightSchemeLabel(n); }
    void ShapeMouseDown(int n);

    std::array<QWidget*, 5> Shapes{};
    std::array<QLabel*, 5> Labs{};

protected:
    void showEvent(QShowEvent* event) override;

private:
    int32_t ownScheme_ = 1;
    int32_t* scheme_ = &ownScheme_;
};

// Holds the skin pictures; never shown.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
};

}  // namespace orv

// Makes the README's picture of the main window: the real window on the real
// "default" device (the screenshot script's null sink playing a tone) and the
// real clock and free space; records for a while, then saves the window as
// it is on the screen; with MENU.png, then the File menu opened over it, still
// recording. Usage: orv_screenshot OUTPUT.png [SECONDS [MENU.png]]
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/input_mixer.h"
#include "platform/system.h"
#include "platform/wave_in.h"
#include "shell/app_state.h"
#include "shell/form_main.h"
#include "shell/forms.h"
#include "support/fake_system.h"
#include "support/temp_dir.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane Recorder"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [SECONDS]\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 50;
    const QString menuOutput = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();

    auto waveIn = orv::platform::makeAlsaWaveIn("default");
    auto mixer = orv::platform::makeAlsaInputMixer("default");
    orv::platform::SystemClock clock;
    orv::platform::StatvfsFreeSpace freeSpace;
    orv::test::ScriptedDialogs dialogs;  // a message would otherwise wait for a click
    orv::test::RecordingLauncher launcher;
    orv::test::TempDir dir;  // working files away from the user's own
    orv::AppSeams seams{*waveIn, *mixer, clock, freeSpace, dialogs, launcher,
                        dir.file("orvane-recorder"), dir.path(), dir.path()};
    auto state = std::make_unique<orv::AppState>();
    orv::TFormMain w(seams, *state);
    orv::TFormColors colors(&w);
    w.SetForms(nullptr, nullptr, nullptr, &colors, nullptr);
    w.show();

    int status = 0;
    QTimer::singleShot(1500, &w, [&] {
        if (!state->Capture.CaptureOpen) {
            std::fprintf(stderr, "the device did not open%s%s\n", dialogs.messages.empty() ? "" : ": ",
                         dialogs.messages.empty() ? "" : dialogs.messages[0].c_str());
            status = 1;
            QApplication::exit(1);
            return;
        }
        w.BtnRecord->click();
    });
    QTimer::singleShot(1500 + seconds * 1000, &w, [&] {
        const QPixmap shot = w.grab();
        if (!shot.save(output, "PNG")) {
            std::fprintf(stderr, "could not write %s\n", argv[1]);
            status = 1;
        }
        for (const std::string& m : dialogs.messages) std::fprintf(stderr, "message: %s\n", m.c_str());
        QMenu* file = w.findChild<QMenu*>("menuFile");
        if (menuOutput.isEmpty() || !file) {
            w.BtnStop->click();
            QApplication::exit(status);
            return;
        }
        const QRect item = w.menuBar()->actionGeometry(file->menuAction());
        file->popup(w.menuBar()->mapToGlobal(item.bottomLeft()));
        QTimer::singleShot(700, &w, [&, file] {
            // The screen, not the window: the menu is a window of its own.
            const QRect area = w.frameGeometry().united(file->geometry());
            const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
            if (!shot.save(menuOutput, "PNG")) status = 1;
            file->close();
            w.BtnStop->click();
            QApplication::exit(status);
        });
    });
    const int rc = app.exec();
    return rc != 0 ? rc : status;
}

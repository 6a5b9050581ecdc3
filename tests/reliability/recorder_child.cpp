// The recorder as its executable builds it (real device, files, dialogs and
// windows), with one difference: it presses Record itself once the window is
// up, and prints "recording" when it did. With --start-only it quits once
// start-up has run. Message boxes are printed ("message: ...") and answered
// with OK, as a user would. The kill tests run it and kill it.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

#include "editor/form_edit.h"
#include "export/form_progress.h"
#include "export/form_save_settings.h"
#include "platform/input_mixer.h"
#include "platform/system.h"
#include "platform/wave_in.h"
#include "shell/app_state.h"
#include "shell/form_main.h"
#include "shell/forms.h"
#include "shell/qt_dialogs.h"

int main(int argc, char** argv) {
    const bool startOnly = argc > 1 && std::strcmp(argv[1], "--start-only") == 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane Recorder"));

    // The user reads every message and clicks OK.
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::printf("message: %s\n", box->text().replace('\n', ' ').toUtf8().constData());
            std::fflush(stdout);
            box->accept();
        }
    });
    reader.start(100);

    auto waveIn = orv::platform::makeAlsaWaveIn("default");
    auto mixer = orv::platform::makeAlsaInputMixer("default");
    orv::platform::SystemClock clock;
    orv::platform::StatvfsFreeSpace freeSpace;
    orv::QtDialogs dialogs;
    orv::DesktopLauncher launcher;
    orv::AppSeams seams{*waveIn, *mixer, clock, freeSpace, dialogs, launcher,
                        orv::platform::executablePath(), orv::platform::userDataFolder(),
                        orv::platform::homeFolder()};
    auto state = std::make_unique<orv::AppState>();

    orv::TFormMain formMain(seams, *state);
    orv::TFormEdit formEdit(&formMain);
    orv::TFormSaveSettings formSaveSettings(&formMain);
    orv::TFormProgress formProgress(&formMain);
    orv::TFormAbout formAbout(&formMain);
    orv::TFormColors formColors(&formMain);
    orv::TFormInfo formInfo(&formMain);
    orv::TForm1 form1;
    formMain.SetForms(&formEdit, &formAbout, &formSaveSettings, &formColors, &formProgress);
    formMain.show();
    QTimer::singleShot(0, &formMain, [&] {
        if (startOnly) {
            std::printf("started\n");
            std::fflush(stdout);
            QApplication::quit();
            return;
        }
        formMain.BtnRecordClick();
        std::printf(state->Capture.Recording ? "recording\n" : "not recording\n");
        std::fflush(stdout);
    });
    return app.exec();
}

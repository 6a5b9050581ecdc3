// Program entry: the real devices and dialogs, the windows in their order,
// then the message loop until the main window closes.
#include <QApplication>
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
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane Recorder"));
    // Lets a Wayland desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.orvane.Recorder"));
    QApplication::setWindowIcon(orv::ProgramIcon());

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
    return app.exec();
}

// Program entry: the settings file, the real devices and dialogs, the
// windows in their order, then the message loop until the main window closes
// (or a termination signal ends it).
#include <QApplication>
#include <memory>

#include "editor/form_edit.h"
#include "export/form_progress.h"
#include "export/form_save_settings.h"
#include "platform/desktop.h"
#include "platform/input_mixer.h"
#include "platform/source_name.h"
#include "platform/system.h"
#include "platform/wave_in.h"
#include "platform/wave_out.h"
#include "playback/wave_playback.h"
#include "shell/app_state.h"
#include "shell/editor_host.h"
#include "shell/form_main.h"
#include "shell/forms.h"
#include "shell/ini_file.h"
#include "shell/qt_dialogs.h"
#include "shell/signal_ending.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane Recorder"));
    // Lets a Wayland desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.orvane.Recorder"));
    QApplication::setWindowIcon(orv::ProgramIcon());

    // Before any window: the settings file.
    auto state = std::make_unique<orv::AppState>();
    state->Shell.SettingsFileName = orv::LocateSettingsFile(
        orv::platform::executablePath(), orv::platform::userConfigFolder(), orv::platform::homeFolder());
    state->Settings = orv::ReadSettingsFile(state->Shell.SettingsFileName);

    auto waveIn = orv::platform::makeWaveIn(orv::platform::makePulseSourceNames());
    auto mixer = orv::platform::makeInputMixer(*waveIn);
    orv::platform::SystemClock clock;
    orv::platform::StatvfsFreeSpace freeSpace;
    orv::QtDialogs dialogs;
    orv::DesktopLauncher launcher;
    orv::AppSeams seams{*waveIn, *mixer, clock, freeSpace, dialogs, launcher,
                        orv::platform::executablePath(), orv::platform::userDataFolder(),
                        orv::platform::homeFolder()};

    orv::TFormMain formMain(seams, *state);
    // One device object for the whole run, so the playback volume survives the editor's close.
    auto waveOut = orv::platform::makeWaveOut();
    orv::WavePlayback playback(state->Editor, state->Capture.RawStream, state->Buffers,
                               orv::PlaybackSeams{*waveOut, [&dialogs](const std::string& t) { dialogs.Message(t); },
                                                  [] { QCoreApplication::processEvents(); }, &state->Busy});
    orv::MainEditorHost editorHost(formMain, seams, *state, nullptr);
    auto formEdit = orv::MakeEditorWindow(*state, editorHost, playback, &formMain);
    orv::TFormSaveSettings formSaveSettings(&formMain);
    orv::TFormProgress formProgress(&formMain);
    orv::TFormAbout formAbout(&formMain);
    editorHost.SetAbout(&formAbout);
    orv::TFormColors formColors(&formMain);
    orv::TFormInfo formInfo(&formMain);
    editorHost.SetFoundRecordingForm(&formInfo);
    orv::TForm1 form1;
    formMain.SetForms(formEdit.get(), &formAbout, &formSaveSettings, &formColors, &formProgress);
    formMain.show();

    orv::SignalEnding ending(formMain);  // logout, kill, Ctrl+C: the recording is kept
    return app.exec();
}

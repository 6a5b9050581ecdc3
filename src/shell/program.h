#pragma once
// The whole program as it runs: its state, the real devices and dialogs, the
// windows in their order and their wiring. main() makes one over the user's
// folders; the end-to-end tests make one over folders of their own.
#include <memory>
#include <string>

#include "editor/form_edit.h"
#include "export/form_progress.h"
#include "export/form_save_settings.h"
#include "platform/input_mixer.h"
#include "platform/system.h"
#include "platform/wave_in.h"
#include "platform/wave_out.h"
#include "playback/wave_playback.h"
#include "shell/app_state.h"
#include "shell/editor_host.h"
#include "shell/form_main.h"
#include "shell/forms.h"
#include "shell/qt_dialogs.h"

namespace orv {

// Where the program keeps and finds things.
struct ProgramPlaces {
    std::string SettingsFileName;  // empty: no settings file is read or written
    std::string ExecutablePath;
    std::string DataFolder;  // the working folder is "Orvane Recorder" inside
    std::string HomeFolder;  // the default output folder
};

// The user's places: the settings file beside the program or in the user's
// configuration, $XDG_DATA_HOME, $HOME.
ProgramPlaces UserPlaces();

// Before the application object: how windows reach the X server. Returns
// what the programs it starts must not inherit of that.
platform::ChildEnvironment PrepareWindowSystem();

// The application's name, desktop entry and icon; before any window.
void SetUpApplication();

class Program {
public:
    // children: what started programs leave out (from PrepareWindowSystem).
    explicit Program(const ProgramPlaces& places, platform::ChildEnvironment children = {});
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program();

    void Show() { formMain_->show(); }

    TFormMain& Main() { return *formMain_; }
    TFormEdit& Editor() { return *formEdit_; }
    TFormProgress& Progress() { return *formProgress_; }
    TFormInfo& FoundRecording() { return *formInfo_; }
    PlaybackControl& Playback() { return *playback_; }
    AppState& State() { return *state_; }
    // Chosen once at start: capture and playback both use it.
    platform::SoundBackend Backend() const { return backend_; }

private:
    std::unique_ptr<AppState> state_;
    platform::SoundBackend backend_;
    std::unique_ptr<platform::WaveIn> waveIn_;
    std::unique_ptr<platform::InputMixer> mixer_;
    platform::SystemClock clock_;
    platform::StatvfsFreeSpace freeSpace_;
    QtDialogs dialogs_;
    DesktopLauncher launcher_;
    std::unique_ptr<AppSeams> seams_;
    std::unique_ptr<TFormMain> formMain_;
    // One device object for the whole run, so the playback volume survives the editor's close.
    std::unique_ptr<platform::WaveOut> waveOut_;
    std::unique_ptr<WavePlayback> playback_;
    std::unique_ptr<MainEditorHost> editorHost_;
    std::unique_ptr<TFormEdit> formEdit_;
    std::unique_ptr<TFormSaveSettings> formSaveSettings_;
    std::unique_ptr<TFormProgress> formProgress_;
    std::unique_ptr<TFormAbout> formAbout_;
    std::unique_ptr<TFormColors> formColors_;
    std::unique_ptr<TFormInfo> formInfo_;
    std::unique_ptr<TForm1> form1_;
};

}  // namespace orv

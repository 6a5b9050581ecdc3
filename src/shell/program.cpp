#include "shell/program.h"

#include <QApplication>

#include "platform/desktop.h"
#include "platform/source_name.h"
#include "shell/ini_file.h"

namespace orv {

ProgramPlaces UserPlaces() {
    const std::string exe = platform::executablePath();
    return {LocateSettingsFile(exe, platform::userConfigFolder(), platform::homeFolder()), exe,
            platform::userDataFolder(), platform::homeFolder()};
}

platform::ChildEnvironment PrepareWindowSystem() {
    // With shared-memory images Qt waits for the X server before it paints
    // again where it painted the tick before: a round trip and two more
    // wake-ups per 100 ms, to send a few columns of meters and chart. Sent on
    // the connection they cost less. A user's own setting stands.
    // Programs it starts get the user's environment: theirs is not ours to tune.
    platform::ChildEnvironment children;
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) {
        qputenv("QT_XCB_NO_MITSHM", "1");
        children.removed.push_back("QT_XCB_NO_MITSHM");
    }
    return children;
}

void SetUpApplication() {
    QApplication::setApplicationName(QStringLiteral("Orvane Recorder"));
    // Lets a Wayland desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.orvane.Recorder"));
    QApplication::setWindowIcon(ProgramIcon());
}

Program::Program(const ProgramPlaces& places, platform::ChildEnvironment children)
    // The sound server's own protocol when one answers, else ALSA's "default";
    // one choice for capture and playback alike.
    : state_(std::make_unique<AppState>()), backend_(platform::chooseSoundBackend()), launcher_(std::move(children)) {
    // Before any window: the settings file.
    state_->Shell.SettingsFileName = places.SettingsFileName;
    state_->Settings = ReadSettingsFile(places.SettingsFileName);

    waveIn_ = platform::makeWaveIn(backend_, platform::makePulseSourceNames());
    mixer_ = platform::makeInputMixer(*waveIn_);
    seams_ = std::make_unique<AppSeams>(AppSeams{*waveIn_, *mixer_, clock_, freeSpace_, dialogs_, launcher_,
                                                 places.ExecutablePath, places.DataFolder, places.HomeFolder});

    formMain_ = std::make_unique<TFormMain>(*seams_, *state_);
    waveOut_ = platform::makeWaveOut(backend_);
    playback_ = std::make_unique<WavePlayback>(
        state_->Editor, state_->Capture.RawStream, state_->Buffers,
        PlaybackSeams{*waveOut_, [this](const std::string& t) { dialogs_.Message(t); },
                      [] { QCoreApplication::processEvents(); }, &state_->Busy});
    editorHost_ = std::make_unique<MainEditorHost>(*formMain_, *seams_, *state_, nullptr);
    formEdit_ = MakeEditorWindow(*state_, *editorHost_, *playback_, formMain_.get());
    formSaveSettings_ = std::make_unique<TFormSaveSettings>(formMain_.get());
    formProgress_ = std::make_unique<TFormProgress>(formMain_.get());
    formAbout_ = std::make_unique<TFormAbout>(formMain_.get(), platform::soundBackendName(backend_));
    editorHost_->SetAbout(formAbout_.get());
    formColors_ = std::make_unique<TFormColors>(formMain_.get());
    formInfo_ = std::make_unique<TFormInfo>(formMain_.get());
    editorHost_->SetFoundRecordingForm(formInfo_.get());
    form1_ = std::make_unique<TForm1>();
    formMain_->SetForms(formEdit_.get(), formAbout_.get(), formSaveSettings_.get(), formColors_.get(),
                        formProgress_.get());
}

// The members go in reverse order: the small windows before the main window
// they belong to, the devices after every window that uses them.
Program::~Program() = default;

}  // namespace orv

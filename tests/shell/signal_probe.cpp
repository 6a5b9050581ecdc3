// The program as main() builds it, on the real "default" device, with a
// recording started at once: the real-device tests send it a termination
// signal. Prints "recording" when it records and "blocks=N" when it ends.
#include <QApplication>
#include <cstdio>
#include <memory>

#include "platform/input_mixer.h"
#include "platform/source_name.h"
#include "platform/system.h"
#include "platform/wave_in.h"
#include "shell/app_state.h"
#include "shell/form_main.h"
#include "shell/ini_file.h"
#include "shell/signal_ending.h"
#include "support/fake_system.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    QApplication app(argc, argv);
    const std::string folder = argv[1];
    auto waveIn = orv::platform::makeAlsaWaveIn("default", orv::platform::makePulseSourceNames());
    auto mixer = orv::platform::makeAlsaInputMixer("default");
    orv::platform::SystemClock clock;
    orv::platform::StatvfsFreeSpace freeSpace;
    orv::test::ScriptedDialogs dialogs;
    orv::test::RecordingLauncher launcher;
    orv::AppSeams seams{*waveIn, *mixer, clock, freeSpace, dialogs, launcher,
                        folder + "/orvane-recorder", folder, folder};
    auto state = std::make_unique<orv::AppState>();
    state->Shell.SettingsFileName = orv::LocateSettingsFile(seams.ExecutablePath, "", folder);
    state->Settings = orv::ReadSettingsFile(state->Shell.SettingsFileName);
    orv::TFormMain window(seams, *state);
    orv::SignalEnding ending(window);
    window.show();
    window.BtnRecordClick();
    for (const auto& m : dialogs.messages) std::fprintf(stderr, "message: %s\n", m.c_str());
    if (!state->Capture.Recording) return 3;
    std::printf("recording\n");
    std::fflush(stdout);
    const int rc = app.exec();
    for (const auto& m : dialogs.messages) std::fprintf(stderr, "message: %s\n", m.c_str());
    std::printf("blocks=%u\n", state->Capture.LastBlockSeen);
    return rc;
}

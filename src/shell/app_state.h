#pragma once
// The module-level state of the whole program, one plain struct per module,
// owned by the application object; and the seams it reaches the system by.
#include <string>

#include "platform/input_mixer.h"
#include "platform/system.h"
#include "platform/wave_in.h"
#include "display/colour_scheme.h"
#include "display/displays.h"
#include "editor/operations.h"
#include "record/busy.h"
#include "record/capture_engine.h"
#include "record/found_recording.h"
#include "record/input_device.h"
#include "record/processing.h"
#include "record/recording_saved.h"
#include "shell/dialogs.h"
#include "shell/settings.h"
#include "shell/working_folder.h"

namespace orv {

struct ShellState {
    WorkingFiles Files;
    std::string WorkingFolderError;  // "Can not create …" when the folder could not be made
    bool Minimized = false;
    bool FirstPaintPending = false;
    bool Restarting = false;
    // Ending on a termination signal: no questions, the recording left for the next start.
    bool Terminating = false;
    std::string SettingsFileName;   // empty: no settings file is written
};

struct AppState {
    orv::Settings Settings;
    ShellState Shell;
    RecordBuffers Buffers;
    ProcessingState Processing;
    CaptureState Capture;
    InputDeviceState Input;
    ColourSchemeState Colours;
    DisplayState Displays;
    // Held by whatever lets events run inside a handler; see record/busy.h.
    BusyState Busy;
    // Whether the recording has been saved since it was made or last edited.
    RecordingSavedState RecordingSaved;
    // The edit history and working files while the editor is open.
    EditorState Editor;
    // The found recording "test" and the recording set aside while it is loaded.
    FoundRecordingState Found;
};

struct AppSeams {
    platform::WaveIn& WaveIn;
    platform::InputMixer& Mixer;
    platform::Clock& Clock;
    platform::FreeSpace& FreeSpace;
    orv::Dialogs& Dialogs;
    orv::Launcher& Launcher;
    std::string ExecutablePath;  // the program's own executable
    std::string DataFolder;      // $XDG_DATA_HOME or ~/.local/share
    std::string HomeFolder;      // default output folder
};

}  // namespace orv

#pragma once
// The test doubles behind a main window, and the seams that hand them to it:
// a scratch executable folder and data folder, the capture device fed block
// by block, the mixer, a fixed clock, a given free space, scripted dialogs
// and a launcher that only records what it is asked to start.
#include "shell/app_state.h"
#include "support/fake_system.h"
#include "support/fake_wave_in.h"
#include "support/temp_dir.h"

namespace orv::test {

struct MainWindowRig {
    TempDir exeDir, dataDir;
    FakeWaveIn device;
    FakeMixer mixer;
    FixedClock clock;
    GivenFreeSpace freeSpace;
    ScriptedDialogs dialogs;
    RecordingLauncher launcher;
    AppSeams seams{device, mixer, clock, freeSpace, dialogs, launcher,
                   exeDir.file("bin/orvane-recorder"), dataDir.path(), "/home/user"};
};

}  // namespace orv::test

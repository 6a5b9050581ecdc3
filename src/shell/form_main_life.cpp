// The main window's life: closing, restart, ending by a signal, the settings it writes.

#include "shell/form_main.h"

#include <QCloseEvent>
#include <QCoreApplication>

#include "export/form_save_flow.h"
#include "platform/raw_file.h"
#include "shell/ini_file.h"

namespace orv {

void TFormMain::closeEvent(QCloseEvent* event) {
    if (st_.Shell.Restarting || st_.Shell.Terminating || FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

bool TFormMain::FormCloseQuery() {
    // A save or an edit lets events run: close once it has ended or was
    // cancelled, asking nothing now.
    if (st_.Busy.Busy()) {
        closePending_ = true;
        return false;
    }
    closePending_ = false;
    if (st_.Capture.Recording) {
        if (!seams_.Dialogs.ConfirmDefaultNo("Are you sure you want to interrupt recording?")) return false;
        // Interrupting is not throwing away: the recording is stopped with
        // every block kept, and the question below decides its fate.
        control_->BtnStopClick();
        if (st_.Capture.Recording) return false;
    }
    if (RecordingUnsaved(st_.RecordingSaved, st_.Shell.Files.RawFileName) &&
        !seams_.Dialogs.ConfirmDefaultNo(DiscardRecordingQuestion))
        return false;
    // Events run below: no Record, timer or second close may reopen capture
    // or start a file that is deleted next.
    BusyGuard busy(st_.Busy);
    engine_->CloseCapture();
    // The mode really used: the list cannot show another one.
    st_.Settings.RecordingModeIndex = controlState_.ModeIndex;
    WriteSettings();  // a failure is told once; the close goes on
    ProcessEvents();
    st_.Capture.RawStream.close();
    ProcessEvents();
    closePending_ = false;
    if (st_.Shell.WorkingFolderError.empty()) {
        st_.Capture.RawFileName = st_.Shell.Files.RawFileName;
        platform::removeFile(st_.Shell.Files.EditFileName);
        platform::removeFile(st_.Shell.Files.ClipFileName);
        platform::removeFile(st_.Shell.Files.RawFileName);
        platform::removeFile(st_.Shell.Files.RingFileName);
        platform::removeFile(st_.Shell.Files.RecentFileName);
        platform::removeFile(st_.Shell.Files.MarkerFileName);
    }
    return true;
}

void TFormMain::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (TimerRec) TimerRec->stop();
    if (TimerStatus) TimerStatus->stop();
    engine_->CloseCapture();  // the device is never left open behind the window
    if (control_) control_->RestoreInputMute();
    seams_.Mixer.recordFree();
}

bool TFormMain::WriteSettings() {
    if (st_.Shell.SettingsFileName.empty()) return true;
    std::string error;
    if (WriteSettingsFile(st_.Shell.SettingsFileName, st_.Settings, error)) return true;
    if (!st_.Shell.Terminating) control_->Message(error);
    return false;
}

// Nothing is in the way of a restart: no recording, nothing unsaved (Save As
// and Edit must still work on it), no editor, no operation, no message box,
// and the sound settings program is closed.
bool TFormMain::RestartAllowed() const {
    return !st_.Capture.Recording && !controlState_.RecordingStarted && !controlState_.EditorOpen &&
           !RecordingUnsaved(st_.RecordingSaved, st_.Capture.RawFileName) &&
           !st_.Busy.Busy() && controlState_.MessageDepth == 0 && !st_.Shell.Restarting &&
           !st_.Shell.Terminating && !seams_.Launcher.IsRunning("pavucontrol");
}

void TFormMain::RestartProgram() {
    TimerStatus->stop();
    st_.Settings.RecordingModeIndex = controlState_.ModeIndex;
    WriteSettings();
    ProcessEvents();
    control_->Message("The recording source is now " + st_.Capture.CurrentDeviceName +
                      ".\nThe program will be restarted.");
    ProcessEvents();
    engine_->CloseCapture();
    // The next instance takes the name on the session bus; a second start
    // would otherwise find this one and end.
    if (InstanceName) InstanceName(false);
    if (!seams_.Launcher.Start(seams_.ExecutablePath, {})) {
        if (InstanceName) InstanceName(true);
        // Follow the new device in place instead, and keep the automatic stops working.
        control_->Message("The program could not be restarted: " + seams_.ExecutablePath);
        st_.Input.KnownDeviceName.clear();
        TimerStatus->start();
        return;
    }
    st_.Capture.RawStream.close();
    // A restart waits until the recording is saved: the next instance need
    // not offer it as an interrupted one.
    if (st_.Shell.WorkingFolderError.empty() && st_.Capture.RawFileName == st_.Shell.Files.RawFileName &&
        !RecordingUnsaved(st_.RecordingSaved, st_.Capture.RawFileName)) {
        platform::removeFile(st_.Shell.Files.RawFileName);
        platform::removeFile(st_.Shell.Files.RingFileName);
        platform::removeFile(st_.Shell.Files.MarkerFileName);
    }
    st_.Shell.Restarting = true;
    QCoreApplication::quit();
}

// Ends the program within moments whatever is open: a dialog, a question,
// the editor or a save (the saves of the last minutes included, which leave
// the recording running).
void TFormMain::TerminateBySignal() {
    if (st_.Shell.Terminating) return;
    st_.Shell.Terminating = true;
    // A running save stops at its next block as a cancel (its partial file removed).
    saveFlow_->AbandonSave();
    // Every full block in memory is written by the close; the file stays for
    // the next start. A stop under way (it holds the recording) does the same itself.
    if (!st_.Busy.HoldsRecording()) {
        engine_->CloseCapture();
        control_->RestoreInputMute();
        st_.Capture.RawStream.flush();
        if (!st_.Busy.Busy()) st_.Capture.RawStream.close();
    }
    st_.Settings.RecordingModeIndex = controlState_.ModeIndex;
    WriteSettings();
    // Every running event loop ends, the nested ones of modal windows too, and
    // none starts again: each dialog returns as cancelled (a question as No, a
    // file dialog with no name), the handlers below unwind, and main's loop returns.
    QCoreApplication::exit(0);
}

// Whatever lets events run holds the busy guard: a click, timer or close that
// arrives now waits (or is ignored) instead of touching the recording.
void TFormMain::ProcessEvents(Holds holds) {
    BusyGuard busy(st_.Busy, holds);
    QCoreApplication::processEvents();
}

}  // namespace orv

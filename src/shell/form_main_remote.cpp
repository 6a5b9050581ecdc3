// The main window's commands from outside the window: the session bus and
// the command line reach the recording through these, never re-entrantly.

#include <QApplication>
#include <QFileInfo>

#include "export/form_progress.h"
#include "export/form_save_flow.h"
#include "platform/raw_file.h"
#include "shell/form_main.h"
#include "shell/remote_command.h"

namespace orv {

// A command arrives between events: inside a dialog's loop, or while an
// operation lets events run. Whatever the window's own input could not reach
// now, a command does not touch either.
std::string TFormMain::CommandRefusal(Holds needs) const {
    if (controlState_.EditorOpen) return EditorOpenText;
    // Message boxes of the recording logic count before they are up.
    if (const QWidget* modal = QApplication::activeModalWidget(); (modal && modal->isVisible()) ||
                                                                 controlState_.MessageDepth > 0)
        return DialogOpenText;
    if (needs == Holds::Everything ? st_.Busy.Busy() : st_.Busy.HoldsRecording()) return BusyText;
    if (st_.Shell.Terminating || st_.Shell.Restarting) return BusyText;
    return {};
}

std::string TFormMain::RecordCommand() {
    if (st_.Capture.Recording) return AlreadyRecordingText;
    if (std::string refusal = CommandRefusal(Holds::Everything); !refusal.empty()) return refusal;
    if (!st_.Shell.WorkingFolderError.empty()) return st_.Shell.WorkingFolderError;
    // The window asks before a new recording replaces an unsaved one; unasked, it is kept.
    if (!st_.Capture.CurrentDeviceName.empty() && RecordingUnsaved(st_.RecordingSaved, st_.Capture.RawFileName))
        return UnsavedRecordingText;
    std::string said = control_->Unattended([this] { control_->BtnRecordClick(); });
    if (st_.Capture.Recording) {
        MarkNewRecording(st_.RecordingSaved);
        EnableSaveRecent();
        return {};
    }
    return said.empty() ? std::string("The recording did not start.") : said;
}

std::string TFormMain::StopCommand() {
    if (!st_.Capture.Recording) return NothingRecordingText;
    if (std::string refusal = CommandRefusal(Holds::AllButTheRecording); !refusal.empty()) return refusal;
    // What the stop has to tell (sound lost on the way) is shown once the
    // command has been answered: the sender does not wait for the box.
    const std::string said = control_->Unattended([this] { control_->BtnStopClick(); });
    EnableSaveRecent();
    if (!said.empty()) QMetaObject::invokeMethod(this, [this, said] { control_->Message(said); }, Qt::QueuedConnection);
    return st_.Capture.Recording ? BusyText : std::string();
}

std::string TFormMain::MarkCommand() {
    if (!st_.Capture.Recording) return NothingRecordingText;
    if (std::string refusal = CommandRefusal(Holds::AllButTheRecording); !refusal.empty()) return refusal;
    // The M key's marker at the block being recorded; a second one on the
    // same block is the same moment, marked already.
    menuAddMarkerClick();
    return {};
}

std::string TFormMain::SaveRecentCommand(const std::string& folder, std::string& saved) {
    saved.clear();
    if (!st_.Capture.Recording) return NothingRecordingText;
    if (std::string refusal = CommandRefusal(Holds::Everything); !refusal.empty()) return refusal;
    // The sender's own folder is not this program's: only an absolute path says where.
    const QFileInfo target(QString::fromStdString(folder));
    if (folder.empty() || !target.isAbsolute() || !target.isDir()) return NoFolderText + folder;
    // Named after the moment asked for, not the end of the copy.
    const std::time_t asked = seams_.Clock.now();
    UnattendedSave unattended;
    unattended.Path = [&](const std::string& extension) {
        return RecentSavePath(folder, asked, extension, [](const std::string& p) { return platform::fileExists(p); });
    };
    SaveRecent(&unattended);
    saved = unattended.Saved;
    if (!saved.empty()) return {};
    return unattended.Refusal.empty() ? std::string("Nothing was saved.") : unattended.Refusal;
}

std::string TFormMain::StateName() const {
    if (formProgress_ && formProgress_->isVisible()) return "saving";
    if (controlState_.EditorOpen) return "editing";
    if (st_.Capture.Recording) return "recording";
    return "listening";
}

void TFormMain::BringToFront() {
    if (isMinimized()) showNormal();
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible()) w = this;
    w->raise();
    w->activateWindow();
}

}  // namespace orv

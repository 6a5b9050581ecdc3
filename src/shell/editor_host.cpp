#include "shell/editor_host.h"

#include <QLocale>

#include "export/form_owner.h"
#include "playback/play_timer.h"
#include "shell/form_main.h"
#include "shell/forms.h"

namespace orv {

void MainEditorHost::Message(const std::string& text) { seams_.Dialogs.Message(text); }

bool MainEditorHost::Confirm(const std::string& text) { return seams_.Dialogs.ConfirmDefaultNo(text); }

std::string MainEditorHost::InputBox(const std::string& caption, const std::string& prompt,
                                     const std::string& defaultText) {
    return seams_.Dialogs.InputBox(caption, prompt, defaultText);
}

int64_t MainEditorHost::FreeBytes(const std::string& folder) { return seams_.FreeSpace.freeBytes(folder); }

void MainEditorHost::SaveEditedRange(uint32_t first, uint32_t last, std::span<const Piece> pieces,
                                     const PieceSources& sources, const MarkerList& markers, QWidget* over) {
    main_.SaveEditedRange(first, last, pieces, sources, over, markers);
}

void MainEditorHost::OpenOutputFolder() { main_.menuExplorerClick(); }

void MainEditorHost::ShowSaveSettings(QWidget* over) { main_.menuSaveSettingsClick(over); }

void MainEditorHost::OpenPlaybackDevices() {
    if (const std::string missing = OpenPlaybackSettings(seams_.Launcher); !missing.empty())
        seams_.Dialogs.Message(missing);
}

void MainEditorHost::OpenHelp() { main_.OrvaneRecorderHelpClick(); }

void MainEditorHost::ShowAbout(QWidget* over) {
    if (!about_) return;
    about_->adjustSize();
    OpenOver(*about_, over);
    about_->exec();
}

void MainEditorHost::FoundRecordingStep(FoundRecordingPhase phase) {
    if (phase == FoundRecordingPhase::Show) {
        if (info_) OfferFoundRecording(*info_, st_, seams_.Dialogs);
    } else {
        RestoreAfterEditor(st_, seams_.Dialogs);
    }
}

std::unique_ptr<TFormEdit> MakeEditorWindow(AppState& state, EditorHost& host, PlaybackControl& playback,
                                            QWidget* parent) {
    const WorkingFiles& files = state.Shell.Files;
    EditorWindowContext context{state.Editor,     state.Capture,  state.Buffers, state.Processing,
                                state.Colours,    state.Busy,     playback,      host,
                                files.WorkingFolder, files.EditFileName, files.ClipFileName,
                                QLocale::system().decimalPoint().toStdString(), &state.RecordingSaved};
    return std::make_unique<TFormEdit>(std::move(context), parent);
}

}  // namespace orv

#pragma once
// The shell's side of the editor window: messages and input boxes through the
// dialog seam, the main window's save path, the launcher, About.
#include <memory>

#include "editor/form_edit.h"
#include "playback/playback.h"
#include "shell/app_state.h"

namespace orv {

class TFormMain;
class TFormAbout;
class TFormInfo;

class MainEditorHost final : public EditorHost {
public:
    MainEditorHost(TFormMain& main, AppSeams& seams, AppState& state, TFormAbout* about)
        : main_(main), seams_(seams), st_(state), about_(about) {}
    void SetAbout(TFormAbout* about) { about_ = about; }
    void SetFoundRecordingForm(TFormInfo* info) { info_ = info; }

    void Message(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& defaultText) override;
    int64_t FreeBytes(const std::string& folder) override;
    void SaveEditedRange(uint32_t first, uint32_t last, std::span<const Piece> pieces,
                         const PieceSources& sources, const MarkerList& markers, QWidget* over) override;
    void OpenOutputFolder() override;
    void ShowSaveSettings(QWidget* over) override;
    void OpenPlaybackDevices() override;
    void OpenHelp() override;
    void ShowAbout(QWidget* over) override;
    // Before the editor opens: the found recording "test" is offered; after
    // it closes: the recording just made comes back.
    void FoundRecordingStep(FoundRecordingPhase phase) override;

private:
    TFormMain& main_;
    AppSeams& seams_;
    AppState& st_;
    TFormAbout* about_;
    TFormInfo* info_ = nullptr;
};

// The editor window over the program's state, with the given playback.
std::unique_ptr<TFormEdit> MakeEditorWindow(AppState& state, EditorHost& host, PlaybackControl& playback,
                                            QWidget* parent);

}  // namespace orv

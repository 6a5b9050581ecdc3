#pragma once
// A main window that remembers what it was told to show and answers the
// editor and the save dialog from the test's script.
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "record/recording_control.h"

namespace orv::test {

class ScriptedRecordingView : public RecordingView {
public:
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        if (onMessage) onMessage();
    }
    void SetRecordedTime(const std::string& text) override { recordedTime = text; }
    void SetStatusPanel(int panel, const std::string& text) override { panels.at(panel) = text; }
    void SetCaption(const std::string& text) override { caption = text; }
    void SetModeListEnabled(bool enabled) override { modeListEnabled = enabled; }
    void SetTaskbarTitle(const std::string& text) override { taskbarTitles.push_back(text); }
    void SetTaskbarIcon(int level) override { taskbarIcons.push_back(level); }
    bool Minimized() override { return minimized; }
    void DrawTimeBarFrame() override { ++timeBarFrames; }
    void RedrawTimeBar() override { ++timeBarRedraws; }
    void DrawLiveDisplays() override { ++liveDraws; }
    void ShowEditor() override {
        ++editorShown;
        if (onEditor) onEditor();
    }

    bool Confirm(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    bool answer = true;
    std::function<void()> onMessage;  // runs inside the "modal" box
    std::string recordedTime;
    std::array<std::string, 4> panels;
    std::string caption;
    bool modeListEnabled = true;
    std::vector<std::string> taskbarTitles;
    std::vector<int> taskbarIcons;
    bool minimized = false;
    int timeBarFrames = 0;
    int timeBarRedraws = 0;
    int liveDraws = 0;
    int editorShown = 0;
    std::function<void()> onEditor;
};

}  // namespace orv::test

#pragma once
// The editor's host for the benches: nobody answers, questions take their
// default, saves and side windows do nothing, and a message is handed to
// the bench (which counts it as a failed run).
#include <functional>
#include <span>
#include <string>
#include <utility>

#include "editor/form_edit.h"

namespace orv {

class BenchHost final : public EditorHost {
public:
    explicit BenchHost(std::function<void(const std::string&)> onMessage) : onMessage_(std::move(onMessage)) {}
    void Message(const std::string& text) override { onMessage_(text); }
    bool Confirm(const std::string&) override { return true; }
    std::string InputBox(const std::string&, const std::string&, const std::string& d) override { return d; }
    int64_t FreeBytes(const std::string&) override { return -1; }
    void SaveEditedRange(uint32_t, uint32_t, std::span<const Piece>, const PieceSources&, const MarkerList&,
                         QWidget*) override {}
    void OpenOutputFolder() override {}
    void ShowSaveSettings(QWidget*) override {}
    void OpenPlaybackDevices() override {}
    void OpenHelp() override {}
    void ShowAbout(QWidget*) override {}

private:
    std::function<void(const std::string&)> onMessage_;
};

}  // namespace orv

#pragma once
#include <QPointer>
#include <QWidget>

#include "platform/system.h"
#include "shell/dialogs.h"

namespace orv {

class QtDialogs final : public Dialogs {
public:
    void SetParentHint(void* window) override { parent_ = static_cast<QWidget*>(window); }
    void Message(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    bool ConfirmDefaultNo(const std::string& text) override;
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& defaultText) override;
    std::string SaveFileName(const std::string& folder, const std::string& filter,
                             const std::string& defaultExtension) override;

private:
    // The window the user is in: the active modal window (the editor, say),
    // else the active window, else the main window.
    QWidget* Owner() const;

    QPointer<QWidget> parent_;
};

// Started programs and the desktop's handlers get the environment the
// program was started with, less what it set for itself.
class DesktopLauncher final : public Launcher {
public:
    explicit DesktopLauncher(platform::ChildEnvironment environment = {}) : environment_(std::move(environment)) {}
    bool Start(const std::string& program, const std::vector<std::string>& args) override;
    bool OpenPath(const std::string& path) override;
    bool HasProgram(const std::string& name) override;
    bool IsRunning(const std::string& name) override;

private:
    platform::ChildEnvironment environment_;
};

}  // namespace orv

#pragma once
// Every message box, question and file dialog of the program goes through
// this seam, so that tests answer them from a script.
#include <string>
#include <vector>

namespace orv {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void Message(const std::string& text) = 0;
    // Yes/No question; true for Yes.
    virtual bool Confirm(const std::string& text) = 0;
    // Yes/No question whose default button (Enter) is No: for questions whose
    // Yes throws a recording away.
    virtual bool ConfirmDefaultNo(const std::string& text) { return Confirm(text); }
    // An input box; returns defaultText when cancelled.
    virtual std::string InputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& defaultText) = 0;
    // Save-file dialog with one filter entry ("description|pattern"); empty when cancelled.
    virtual std::string SaveFileName(const std::string& folder, const std::string& filter,
                                     const std::string& defaultExtension) = 0;
    // The window the dialogs belong to (an opaque window pointer).
    virtual void SetParentHint(void* window) { (void)window; }
};

// Starting other programs and opening files or folders with the desktop's handler.
class Launcher {
public:
    virtual ~Launcher() = default;
    virtual bool Start(const std::string& program, const std::vector<std::string>& args) = 0;
    virtual bool OpenPath(const std::string& path) = 0;
    virtual bool HasProgram(const std::string& name) = 0;
    // True when a process of this user runs the program of that name.
    virtual bool IsRunning(const std::string& name) {
        (void)name;
        return false;
    }
};

}  // namespace orv

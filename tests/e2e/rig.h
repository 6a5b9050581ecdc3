#pragma once
// One user's session with the whole program on a real X server and the test
// command's sound server. The program runs on the window thread; a row's
// steps run on a thread of their own, so that a step may open a modal window
// (whose nested loop keeps serving the steps) and the row still reads as a
// straight list of what the user does. Every input goes through the window
// system's input path (QTest's QWindow overloads).
#include <gtest/gtest.h>

#include <QPoint>
#include <QString>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "shell/command_service.h"
#include "shell/program.h"
#include "support/temp_dir.h"

namespace orv::e2e {

// A frame of the counting signal (or anything else): left, right.
struct Frame {
    int16_t l = 0, r = 0;
    bool operator==(const Frame&) const = default;
};

// The frames of a raw recording file or of a WAV file's data chunk (44.1 kHz
// stereo 16-bit, else empty with a failure).
std::vector<Frame> ReadRaw(const std::string& path);
std::vector<Frame> ReadWav(const std::string& path);
// Frame indices where the counting signal does not continue, after the
// silence before it arrived; all-zero frames inside (the server's playback
// running dry) neither count nor break it.
std::vector<size_t> CountBreaks(const std::vector<Frame>& frames);
std::string ReadBytes(const std::string& path);
std::vector<std::string> FileNames(const std::string& folder);

// Runs a shell command line in the background; its process id.
int StartProcess(const std::string& commandLine);

class Rig {
public:
    Rig();
    ~Rig();

    const std::string& Data() const { return data_; }      // $XDG_DATA_HOME of the row
    const std::string& Out() const { return out_; }        // the output folder
    std::string Work() const { return data_ + "/Orvane Recorder"; }  // the working folder
    std::string BinaryPath() const;
    std::string File(const std::string& name) const { return dir_.file(name); }  // in the row's folder

    // --- on the steps' thread ---
    // Makes the program (like main) and waits until its main window is shown.
    // Without waiting, a message raised on the way is the row's to answer,
    // then Shown() waits.
    ::testing::AssertionResult Start(bool wait = true);
    ::testing::AssertionResult Shown();
    // f on the window thread, waited for. f must not open a modal window.
    template <class F>
    auto Gui(F f) -> decltype(f()) {
        if (OnWindowThread()) return f();
        std::packaged_task<decltype(f())()> task(std::move(f));
        auto result = task.get_future();
        Post([&task] { task(); });
        return result.get();
    }
    // f on the window thread, not waited for: for input that may open a modal window.
    void Post(std::function<void()> f);
    // User input on the window thread: waited for until it has been handled
    // or has opened a modal window.
    void Input(std::function<void()> f);
    // Polls cond on the window thread until it holds; false after a generous bound.
    bool WaitFor(const std::function<bool()>& cond);

    Program& P() { return *program_; }  // window thread only
    // A left click in the middle of the widget, through its window.
    void Click(std::function<QWidget*()> widget);
    void Key(std::function<QWidget*()> window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Opens the menu (object name) of the window's menu bar and clicks the item.
    ::testing::AssertionResult Menu(std::function<QWidget*()> window, const char* menu, const char* item);
    // A drag across the editor's view, from and to a share of its width.
    void DragInView(double from, double to);
    // Waits for a modal message box whose text contains `text` and answers it
    // with a key; fails on another message. The box's parent window in *parent.
    ::testing::AssertionResult Answer(const std::string& text, int key, QWidget** parent = nullptr);
    // Waits for the modal file dialog (or input box), types the name and presses Enter.
    ::testing::AssertionResult SaveAs(const std::string& fileName);
    // Presses the key on the widget's window at its first show from now on.
    void KeyWhenShown(std::function<QWidget*()> widget, int key);
    // Record now … Stop after at least this many blocks.
    ::testing::AssertionResult Record(uint32_t blocks);
    ::testing::AssertionResult OpenEditor();  // Edit, the editor up (no found recording)
    bool EditorOpen();
    bool Idle();  // no save or edit runs, no modal window waits
    // The program's commands on the session bus, as main() serves them.
    ::testing::AssertionResult ServeCommands();
    // A window of another program takes the focus from the program's.
    ::testing::AssertionResult FocusElsewhere();
    // The program's executable run with these options from a second process
    // (a minute at most); its exit status, stdout and stderr.
    int Command(const std::string& options, std::string* out = nullptr, std::string* err = nullptr);

    // --- on either thread ---
    static bool OnWindowThread();
    void DestroyProgram() {
        service_.reset();
        other_.reset();
        program_.reset();
    }

private:
    test::TempDir dir_;
    std::string data_, out_;
    std::unique_ptr<Program> program_;
    std::unique_ptr<CommandService> service_;
    std::unique_ptr<QWidget> other_;
};

}  // namespace orv::e2e

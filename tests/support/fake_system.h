#pragma once
// Test doubles for the system seams: a clock that stands still until moved,
// a disk with a given free space, a mixer with chosen inputs, dialogs that
// answer from a script and a launcher that only records what it was asked.
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/input_mixer.h"
#include "platform/system.h"
#include "shell/dialogs.h"

namespace orv::test {

class FixedClock final : public platform::Clock {
public:
    std::time_t time = 1'700'000'000;
    std::time_t now() override { return time; }
};

class GivenFreeSpace final : public platform::FreeSpace {
public:
    int64_t bytes = 500'000'000'000;
    std::string mount = "/srv/audio";
    bool same = true;  // every path on the working folder's file system
    int64_t freeBytes(const std::string&) override { return bytes; }
    std::string mountPoint(const std::string&) override { return mount; }
    bool sameFileSystem(const std::string&, const std::string&) override { return same; }
};

class FakeMixer final : public platform::InputMixer {
public:
    struct Input {
        std::string name;
        bool off = false;
        uint32_t volume = 50;
    };
    std::vector<Input> inputs{{"Capture", false, 50}};
    bool initialised = false;
    bool recordInitialised = false;
    std::vector<std::pair<int, uint32_t>> setCalls;

    bool init(int, uint32_t) override { return initialised = true; }
    bool recordInit(int) override { return recordInitialised = true; }
    bool recordSetDevice(int) override { return true; }
    bool recordFree() override {
        recordInitialised = false;
        return true;
    }
    uint32_t recordGetInput(int n) override {
        const Input* in = At(n);
        if (!in) return platform::INPUT_INVALID;
        return (in->off ? platform::INPUT_OFF : 0u) | in->volume;
    }
    bool recordSetInput(int n, uint32_t setting) override {
        setCalls.emplace_back(n, setting);
        Input* in = At(n);
        if (!in) return false;
        if (setting & platform::INPUT_ON) in->off = false;
        else if (setting & platform::INPUT_OFF) in->off = true;
        if (setting & platform::INPUT_VOLUME) in->volume = setting & 0xFFFF;
        return true;
    }
    std::string recordGetInputName(int n) override {
        const Input* in = At(n);
        return in ? in->name : std::string();
    }

private:
    Input* At(int n) {
        if (n == -1 && !inputs.empty()) return &inputs[0];
        if (n < 0 || size_t(n) >= inputs.size()) return nullptr;
        return &inputs[size_t(n)];
    }
};

class ScriptedDialogs final : public Dialogs {
public:
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<bool> confirmAnswers;          // Yes when the script runs out
    std::deque<std::string> inputAnswers;     // the default text when it runs out
    std::deque<std::string> saveAnswers;      // cancelled when it runs out
    std::vector<std::string> saveFilters;
    std::vector<std::string> defaultNoQuestions;  // asked with No as the default button

    // Runs while a message is open, as the box's own event loop runs the timers.
    std::function<void(const std::string&)> whileMessageOpen;
    std::function<void()> whileQuestionOpen;  // the same beneath a question

    void Message(const std::string& text) override {
        messages.push_back(text);
        if (whileMessageOpen) whileMessageOpen(text);
    }
    bool Confirm(const std::string& text) override {
        questions.push_back(text);
        if (whileQuestionOpen) whileQuestionOpen();
        if (confirmAnswers.empty()) return true;
        const bool a = confirmAnswers.front();
        confirmAnswers.pop_front();
        return a;
    }
    bool ConfirmDefaultNo(const std::string& text) override {
        defaultNoQuestions.push_back(text);
        return Confirm(text);
    }
    std::string InputBox(const std::string&, const std::string& prompt, const std::string& defaultText) override {
        questions.push_back(prompt);
        if (inputAnswers.empty()) return defaultText;
        std::string a = inputAnswers.front();
        inputAnswers.pop_front();
        return a;
    }
    std::string SaveFileName(const std::string&, const std::string& filter, const std::string&) override {
        saveFilters.push_back(filter);
        if (saveAnswers.empty()) return {};
        std::string a = saveAnswers.front();
        saveAnswers.pop_front();
        return a;
    }
};

class RecordingLauncher final : public Launcher {
public:
    std::vector<std::vector<std::string>> started;
    std::vector<std::string> opened;
    std::vector<std::string> available;  // programs that HasProgram finds
    std::vector<std::string> running;    // programs that IsRunning finds
    bool startFails = false;

    bool Start(const std::string& program, const std::vector<std::string>& args) override {
        std::vector<std::string> call{program};
        call.insert(call.end(), args.begin(), args.end());
        started.push_back(call);
        return !startFails;
    }
    bool OpenPath(const std::string& path) override {
        opened.push_back(path);
        return true;
    }
    bool HasProgram(const std::string& name) override {
        for (const auto& a : available)
            if (a == name) return true;
        return false;
    }
    bool IsRunning(const std::string& name) override {
        for (const auto& r : running)
            if (r == name) return true;
        return false;
    }
};

}  // namespace orv::test

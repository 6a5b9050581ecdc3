#pragma once
// Commands from outside the window, without any window: the command line's
// options, the texts a refused command answers with, and the name a save of
// the last minutes gets when no file dialog asks for one.
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace orv {

// The well-known name on the session bus, its object and interface.
inline constexpr const char* CommandBusName = "org.orvane.Recorder";
inline constexpr const char* CommandObjectPath = "/org/orvane/Recorder";
inline constexpr const char* CommandInterface = "org.orvane.Recorder";
// The D-Bus error of a refused command; its message is the text the user reads.
inline constexpr const char* CommandRefusedError = "org.orvane.Recorder.Error.Refused";
// Answered while the program is still coming up; the sender tries again.
inline constexpr const char* CommandStartingError = "org.orvane.Recorder.Error.Starting";

inline constexpr const char* NothingRecordingText = "Nothing is recording.";
inline constexpr const char* AlreadyRecordingText = "Orvane Recorder is already recording.";
inline constexpr const char* EditorOpenText = "The editor is open in Orvane Recorder: close it first.";
inline constexpr const char* DialogOpenText =
    "Orvane Recorder is waiting for an answer in its window: close its dialog first.";
inline constexpr const char* BusyText = "Orvane Recorder is busy with a save or an edit: try again when it has ended.";
inline constexpr const char* UnsavedRecordingText =
    "The last recording has not been saved: save it, or press 记录 (Record) in the window to discard it.";
inline constexpr const char* StartingText = "Orvane Recorder is starting: try again in a moment.";
inline constexpr const char* NoFolderText = "There is no folder ";

enum class CommandKind { Start, Record, Stop, Mark, SaveRecent, Help, Bad };

struct CommandLine {
    CommandKind Kind = CommandKind::Start;
    std::string Folder;  // --save-recent's folder as given; empty: the Music folder
    std::string Error;   // Bad: what was wrong
};

// The arguments after the program's name (Qt's own already taken out).
CommandLine ParseCommandLine(const std::vector<std::string>& args);
// Whether the command needs the window system: a plain start and --record
// may become the program itself; the others only send.
bool NeedsWindows(const std::vector<std::string>& args);
std::string UsageText();

// "Orvane 2026-12-08 06-20-09.wav": the local date and time of t, with '-'
// between hours, minutes and seconds (file systems and file managers that
// refuse ':' take it). A name already taken gets " (2)", " (3)" … before the
// extension; exists tells.
std::string RecentSavePath(const std::string& folder, std::time_t t, const std::string& extension,
                           const std::function<bool(const std::string&)>& exists);

}  // namespace orv

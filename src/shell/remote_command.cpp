#include "shell/remote_command.h"

namespace orv {

static CommandKind KindOf(const std::string& a) {
    if (a == "--record") return CommandKind::Record;
    if (a == "--stop") return CommandKind::Stop;
    if (a == "--mark") return CommandKind::Mark;
    if (a == "--save-recent") return CommandKind::SaveRecent;
    if (a == "--help" || a == "-h") return CommandKind::Help;
    return CommandKind::Bad;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine c;
    if (args.empty()) return c;
    c.Kind = KindOf(args[0]);
    if (c.Kind == CommandKind::Bad) {
        c.Error = "unknown option " + args[0];
        return c;
    }
    size_t used = 1;
    // A folder may itself begin with "-" only after "--".
    if (c.Kind == CommandKind::SaveRecent && args.size() > 1) {
        if (args[1] == "--" && args.size() > 2) {
            c.Folder = args[2];
            used = 3;
        } else if (args[1].empty() || args[1][0] != '-') {
            c.Folder = args[1];
            used = 2;
        }
    }
    if (args.size() > used) {
        c.Kind = CommandKind::Bad;
        c.Error = "one command at a time: " + args[used] + " is too many";
    } else if (c.Kind == CommandKind::SaveRecent && used == 2 && c.Folder.empty()) {
        c.Kind = CommandKind::Bad;
        c.Error = "--save-recent: the folder is empty";
    }
    return c;
}

bool NeedsWindows(const std::vector<std::string>& args) {
    if (args.empty()) return true;
    const CommandKind k = KindOf(args[0]);
    // Qt's own options (-platform, -display …) are taken out by the window
    // system's application object before the options are read.
    return k == CommandKind::Record || (k == CommandKind::Bad && args[0].rfind("--", 0) != 0);
}

std::string UsageText() {
    return "Usage: orvane-recorder [--record | --stop | --mark | --save-recent [FOLDER]]\n"
           "  (no option)          start Orvane Recorder, or bring the running one to the front\n"
           "  --record             start recording (starting the program when it does not run)\n"
           "  --stop               stop the recording\n"
           "  --mark               mark this moment of the recording\n"
           "  --save-recent [DIR]  save what the recording holds to DIR (default: the Music folder)\n"
           "                       as \"Orvane <date> <time>\" in the save format, and print its path\n"
           "A refused command prints why and exits with 1.\n";
}

std::string RecentSavePath(const std::string& folder, std::time_t t, const std::string& extension,
                           const std::function<bool(const std::string&)>& exists) {
    std::tm local{};
    localtime_r(&t, &local);
    char stamp[64];
    const size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local);
    std::string base = folder;
    if (base.empty() || base.back() != '/') base += '/';
    base += "Orvane " + std::string(stamp, n);
    const std::string dot = extension.empty() ? std::string() : "." + extension;
    std::string path = base + dot;
    for (int i = 2; exists && exists(path) && i < 10000; ++i) path = base + " (" + std::to_string(i) + ")" + dot;
    return path;
}

}  // namespace orv

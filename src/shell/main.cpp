// Program entry: a command for the running program is sent to it; otherwise
// the program over the user's folders, then the message loop until the main
// window closes (or a termination signal ends it).
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "shell/command_service.h"
#include "shell/program.h"
#include "shell/remote_command.h"
#include "shell/signal_ending.h"

namespace {

std::vector<std::string> Arguments(const QStringList& all) {
    std::vector<std::string> args;
    for (qsizetype i = 1; i < all.size(); ++i) args.push_back(all[i].toStdString());
    return args;
}

// Options apart, or the usage: 0 to go on, else the exit status.
int CheckCommand(const orv::CommandLine& command) {
    if (command.Kind == orv::CommandKind::Help) {
        std::fputs(orv::UsageText().c_str(), stdout);
        return -1;
    }
    if (command.Kind == orv::CommandKind::Bad) {
        std::fputs(("orvane-recorder: " + command.Error + "\n" + orv::UsageText()).c_str(), stderr);
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Stop, Mark and Save only send: no window system needed for them.
    if (!orv::NeedsWindows(std::vector<std::string>(argv + std::min(argc, 1), argv + argc))) {
        QCoreApplication app(argc, argv);
        const orv::CommandLine command = orv::ParseCommandLine(Arguments(app.arguments()));
        if (const int status = CheckCommand(command)) return status < 0 ? 0 : status;
        return orv::SendCommand(command);
    }
    const orv::platform::ChildEnvironment children = orv::PrepareWindowSystem();
    QApplication app(argc, argv);
    const orv::CommandLine command = orv::ParseCommandLine(Arguments(app.arguments()));
    if (const int status = CheckCommand(command)) return status < 0 ? 0 : status;
    orv::SetUpApplication();
    // One recorder per session: a second start sends its command to the first.
    orv::CommandService service;
    if (service.ClaimName() == orv::CommandService::Claim::Taken) {
        bool notRunning = false;
        const int status = orv::SendCommand(command, &notRunning);
        // The first one ended meanwhile: this one is the program.
        if (!notRunning || service.ClaimName() == orv::CommandService::Claim::Taken) return status;
    }
    orv::Program program(orv::UserPlaces(), children);
    service.Serve(program.Main());
    program.Show();
    orv::SignalEnding ending(program.Main());  // logout, kill, Ctrl+C: the recording is kept
    if (command.Kind == orv::CommandKind::Record)
        QTimer::singleShot(0, &program.Main(), [&program] {
            const std::string refusal = program.Main().RecordCommand();
            if (!refusal.empty()) std::fputs((refusal + "\n").c_str(), stderr);
        });
    return app.exec();
}

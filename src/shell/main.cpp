// Program entry: the program over the user's folders, then the message loop
// until the main window closes (or a termination signal ends it).
#include <QApplication>

#include "shell/program.h"
#include "shell/signal_ending.h"

int main(int argc, char** argv) {
    const orv::platform::ChildEnvironment children = orv::PrepareWindowSystem();
    QApplication app(argc, argv);
    orv::SetUpApplication();
    orv::Program program(orv::UserPlaces(), children);
    program.Show();
    orv::SignalEnding ending(program.Main());  // logout, kill, Ctrl+C: the recording is kept
    return app.exec();
}

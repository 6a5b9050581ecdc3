// The recorder's own main() with a scripted user beside it: once the main
// window is up the user presses Record and the program prints "recording";
// with --start-only it prints "started" and quits once start-up has run.
// Every message box is printed ("message: ...") and answered with OK. The
// kill tests run this program and kill it.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>

#define main orv_recorder_main
#include "shell/main.cpp"
#undef main

namespace {

bool startOnly = false;

void ScriptedUser() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::printf("message: %s\n", box->text().replace('\n', ' ').toUtf8().constData());
            std::fflush(stdout);
            box->accept();
            return;
        }
        static bool done = false;
        if (done) return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* form = qobject_cast<orv::TFormMain*>(w);
            if (!form || !form->isVisible()) continue;
            done = true;
            if (startOnly) {
                std::printf("started\n");
                std::fflush(stdout);
                QApplication::quit();
                return;
            }
            form->BtnRecordClick();
            std::printf(form->State().Capture.Recording ? "recording\n" : "not recording\n");
            std::fflush(stdout);
        }
    });
    timer->start(50);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(ScriptedUser)

int main(int argc, char** argv) {
    startOnly = argc > 1 && std::strcmp(argv[1], "--start-only") == 0;
    // The option is this harness's own: the program is started plainly.
    if (startOnly) {
        argv[1] = argv[0];
        return orv_recorder_main(argc - 1, argv + 1);
    }
    return orv_recorder_main(argc, argv);
}

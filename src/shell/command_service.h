#pragma once
// The program's commands on the session bus under its well-known name, and
// the sending side that the command line uses.
//
// Calls are delivered by the event loop, so they may arrive inside a dialog's
// loop or while an operation lets events run; the window's command functions
// refuse then (a D-Bus error whose message is the text the user reads), and
// nothing runs re-entrantly or waits behind a modal window.
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <QString>

#include "shell/remote_command.h"

namespace orv {

class TFormMain;

class CommandService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvane.Recorder")
    // "listening", "recording", "editing" or "saving".
    Q_PROPERTY(QString State READ State)
    // The recorded time the window shows, "hh:mm:ss".
    Q_PROPERTY(QString RecordedTime READ RecordedTime)

public:
    enum class Claim { Owned, Taken, NoBus };

    // Puts the object on the session bus; until Serve every command is
    // answered with "starting", which the sender takes as "try again".
    CommandService();
    ~CommandService() override;
    // Asks for the well-known name: never queued, never taken from its owner.
    Claim ClaimName();
    // The window the commands drive; its restart gives the name to the next instance.
    void Serve(TFormMain& main);

    QString State() const;
    QString RecordedTime() const;

public slots:
    void Record();
    void Stop();
    void Mark();
    // Saves what the running recording holds into folder (absolute) as
    // "Orvane <date> <time>.<ext>" in the save format; returns the file's path.
    QString SaveRecent(const QString& folder);
    // The running window to the front (a second plain start).
    void Raise();

private:
    // Answers a refusal as an error (and a notification); false when refused.
    bool Answer(const std::string& refusal);
    void Notify(const QString& summary, const QString& body);

    QDBusConnection bus_;
    QPointer<TFormMain> main_;
    bool owned_ = false;
};

// The command line's sending side. Returns the exit status: 0 done, 1 refused
// or nobody to send to (the reason on stderr); --save-recent prints the saved
// file's path on stdout. A plain start raises the running window.
// notRunning: set when no instance holds the name.
int SendCommand(const CommandLine& command, bool* notRunning = nullptr);

}  // namespace orv

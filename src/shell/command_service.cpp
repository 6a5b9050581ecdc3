#include "shell/command_service.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QStandardPaths>
#include <QThread>
#include <QVariantMap>
#include <cstdio>

#include "shell/form_main.h"

namespace orv {

static QString Q(const char* s) { return QString::fromUtf8(s); }

CommandService::CommandService() : bus_(QDBusConnection::sessionBus()) {
    if (bus_.isConnected())
        bus_.registerObject(Q(CommandObjectPath), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
}

CommandService::~CommandService() {
    if (main_) main_->InstanceName = nullptr;
    if (!bus_.isConnected()) return;
    if (owned_) bus_.interface()->unregisterService(Q(CommandBusName));
    bus_.unregisterObject(Q(CommandObjectPath));
}

CommandService::Claim CommandService::ClaimName() {
    if (!bus_.isConnected() || !bus_.interface()) return Claim::NoBus;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus_.interface()->registerService(
        Q(CommandBusName), QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) return Claim::NoBus;
    owned_ = reply.value() == QDBusConnectionInterface::ServiceRegistered;
    return owned_ ? Claim::Owned : Claim::Taken;
}

void CommandService::Serve(TFormMain& main) {
    main_ = &main;
    main.InstanceName = [this](bool keep) {
        if (!bus_.isConnected()) return;
        if (keep) {
            ClaimName();
        } else if (owned_) {
            bus_.interface()->unregisterService(Q(CommandBusName));
            owned_ = false;
        }
    };
}

QString CommandService::State() const {
    return main_ ? QString::fromStdString(main_->StateName()) : QStringLiteral("starting");
}

QString CommandService::RecordedTime() const {
    return main_ ? QString::fromStdString(main_->RecordedTimeText()) : QStringLiteral("00:00:00");
}

bool CommandService::Answer(const std::string& refusal) {
    if (refusal.empty()) return true;
    if (calledFromDBus()) sendErrorReply(Q(CommandRefusedError), QString::fromStdString(refusal));
    // A key bound to the command has no terminal: the desktop says it instead.
    Notify(QStringLiteral("Orvane Recorder"), QString::fromStdString(refusal));
    return false;
}

void CommandService::Record() {
    if (!main_) {
        if (calledFromDBus()) sendErrorReply(Q(CommandStartingError), Q(StartingText));
        return;
    }
    Answer(main_->RecordCommand());
}

void CommandService::Stop() {
    if (!main_) {
        if (calledFromDBus()) sendErrorReply(Q(CommandStartingError), Q(StartingText));
        return;
    }
    Answer(main_->StopCommand());
}

void CommandService::Mark() {
    if (!main_) {
        if (calledFromDBus()) sendErrorReply(Q(CommandStartingError), Q(StartingText));
        return;
    }
    Answer(main_->MarkCommand());
}

QString CommandService::SaveRecent(const QString& folder) {
    if (!main_) {
        if (calledFromDBus()) sendErrorReply(Q(CommandStartingError), Q(StartingText));
        return {};
    }
    std::string saved;
    if (!Answer(main_->SaveRecentCommand(folder.toStdString(), saved))) return {};
    const QString path = QString::fromStdString(saved);
    Notify(QStringLiteral("Orvane Recorder: the last minutes saved"), path);
    return path;
}

void CommandService::Raise() {
    if (!main_) {
        if (calledFromDBus()) sendErrorReply(Q(CommandStartingError), Q(StartingText));
        return;
    }
    main_->BringToFront();
}

void CommandService::Notify(const QString& summary, const QString& body) {
    // Not waited for: without a notification service the error reply is dropped.
    QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                    QStringLiteral("/org/freedesktop/Notifications"),
                                                    QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), Q(CommandBusName));
    m << QStringLiteral("Orvane Recorder") << uint(0) << QStringLiteral("orvane-recorder") << summary << body
      << QStringList() << hints << int(-1);
    bus_.call(m, QDBus::NoBlock);
}

// --- the sending side ---

static void Say(FILE* to, const QString& text) {
    std::fputs((text.toStdString() + "\n").c_str(), to);
    std::fflush(to);
}

// The folder as the running program must read it: absolute, from the
// sender's own folder; the Music folder when none is given.
static QString TargetFolder(const std::string& given) {
    if (!given.empty()) return QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromStdString(given)));
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty()) music = QDir::homePath();
    QDir().mkpath(music);  // the user's own Music folder, as the desktop names it
    return music;
}

int SendCommand(const CommandLine& command, bool* notRunning) {
    if (notRunning) *notRunning = false;
    QString method;
    QVariantList args;
    switch (command.Kind) {
        case CommandKind::Start: method = QStringLiteral("Raise"); break;
        case CommandKind::Record: method = QStringLiteral("Record"); break;
        case CommandKind::Stop: method = QStringLiteral("Stop"); break;
        case CommandKind::Mark: method = QStringLiteral("Mark"); break;
        case CommandKind::SaveRecent:
            method = QStringLiteral("SaveRecent");
            args << TargetFolder(command.Folder);
            break;
        default: return 2;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (notRunning) *notRunning = true;
        Say(stderr, QStringLiteral("Orvane Recorder cannot be reached: there is no session bus."));
        return 1;
    }
    // A save runs as long as it takes; the sender waits for its path.
    const int timeout = command.Kind == CommandKind::SaveRecent ? 24 * 3600 * 1000 : 60 * 1000;
    // A program still coming up answers "starting": a minute of tries.
    for (int attempt = 0;; ++attempt) {
        QDBusMessage call = QDBusMessage::createMethodCall(Q(CommandBusName), Q(CommandObjectPath),
                                                           Q(CommandInterface), method);
        call.setArguments(args);
        const QDBusMessage reply = bus.call(call, QDBus::Block, timeout);
        if (reply.type() == QDBusMessage::ReplyMessage) {
            if (command.Kind == CommandKind::SaveRecent && !reply.arguments().isEmpty())
                Say(stdout, reply.arguments().first().toString());
            return 0;
        }
        const QString error = reply.errorName();
        if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
            if (notRunning) *notRunning = true;
            if (command.Kind != CommandKind::Start && command.Kind != CommandKind::Record)
                Say(stderr, Q(NothingRecordingText));
            return 1;
        }
        const bool starting = error == Q(CommandStartingError) ||
                              error == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
                              error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod");
        if (starting && attempt < 300) {
            QThread::msleep(200);
            continue;
        }
        Say(stderr, reply.errorMessage().isEmpty() ? error : reply.errorMessage());
        return 1;
    }
}

}  // namespace orv

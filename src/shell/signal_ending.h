#pragma once
// SIGTERM, SIGINT and SIGHUP end the program through the main window's
// TerminateBySignal, run by the window thread between events; the handler
// itself only writes a byte to a pipe.
#include <QSocketNotifier>
#include <memory>

#include "platform/desktop.h"

namespace orv {

class TFormMain;

class SignalEnding {
public:
    explicit SignalEnding(TFormMain& window);

private:
    platform::TerminationSignals signals_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace orv

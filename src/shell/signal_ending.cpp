#include "shell/signal_ending.h"

#include "shell/form_main.h"

namespace orv {

SignalEnding::SignalEnding(TFormMain& window) {
    if (!signals_.installed()) return;
    notifier_ = std::make_unique<QSocketNotifier>(signals_.readFd(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, &window, [this, &window] {
        signals_.take();
        window.TerminateBySignal();
    });
}

}  // namespace orv

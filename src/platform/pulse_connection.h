#pragma once
// One connection to the sound server in its own protocol, with a threaded
// main loop: the loop's thread is the driver thread of whatever stream is
// made on the connection. Every call on the context or its streams, and
// every field their callbacks touch, is made with the loop's lock held
// (callbacks run with it held).
#include <pulse/context.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <memory>
#include <string>

namespace orv::platform {

class PulseConnection {
public:
    // Connected, its thread running; nullptr when no server answers within
    // the budget. Never starts a server.
    static std::unique_ptr<PulseConnection> Open(std::chrono::milliseconds budget);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    class Lock {
    public:
        explicit Lock(const PulseConnection& c) : loop_(c.loop_) { pa_threaded_mainloop_lock(loop_); }
        ~Lock() { pa_threaded_mainloop_unlock(loop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

    pa_context* context() const { return ctx_; }
    pa_mainloop_api* api() const { return pa_threaded_mainloop_get_api(loop_); }
    // The rest with the lock held.
    bool Good() const { return PA_CONTEXT_IS_GOOD(pa_context_get_state(ctx_)); }
    // The server's last error, as text.
    std::string ErrorText() const;
    // Wakes whoever waits in WaitFor; callbacks that a waiter depends on call it.
    void Signal() const { pa_threaded_mainloop_signal(loop_, 0); }
    // Waits (the lock released meanwhile) until done() holds, the context
    // fails or the budget runs out; returns done().
    template <class Done>
    bool WaitFor(Done done, std::chrono::milliseconds budget) {
        Deadline deadline(*this, budget);
        while (!done() && Good() && !deadline.passed) pa_threaded_mainloop_wait(loop_);
        return done();
    }
    // Runs an operation to its end; false when it did not end in time.
    // Takes the operation's reference.
    bool Await(pa_operation* op, std::chrono::milliseconds budget);
    // The default source's or sink's name; empty when there is none or no answer.
    std::string DefaultSourceName(std::chrono::milliseconds budget);
    // A source's description (its name when it has none); empty when there is no answer.
    std::string SourceDescription(const std::string& source, std::chrono::milliseconds budget);

private:
    PulseConnection() = default;

    // A timer on the loop that signals the waiter once the budget has passed.
    struct Deadline {
        Deadline(PulseConnection& c, std::chrono::milliseconds budget);
        ~Deadline();
        PulseConnection& conn;
        pa_time_event* event = nullptr;
        bool passed = false;
    };

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* ctx_ = nullptr;
};

// What the recorder's input knob needs from the capture device: the source
// it records (pinned at open), so that the knob acts on that source even
// after the server's default has moved on.
class PulseRecorder {
public:
    virtual ~PulseRecorder() = default;
    // Empty while closed.
    virtual std::string recordedSource() const = 0;
};

inline constexpr auto kPulseConnectBudget = std::chrono::milliseconds(250);
inline constexpr auto kPulseReplyBudget = std::chrono::milliseconds(1000);

}  // namespace orv::platform

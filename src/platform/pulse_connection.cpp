#include "platform/pulse_connection.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/rtclock.h>
#include <pulse/subscribe.h>

namespace orv::platform {

std::unique_ptr<PulseConnection> PulseConnection::Open(std::chrono::milliseconds budget) {
    std::unique_ptr<PulseConnection> c(new PulseConnection);
    if (!(c->loop_ = pa_threaded_mainloop_new())) return nullptr;
    if (!(c->ctx_ = pa_context_new(pa_threaded_mainloop_get_api(c->loop_), "Orvane Recorder"))) return nullptr;
    pa_context_set_state_callback(
        c->ctx_, [](pa_context*, void* u) { static_cast<PulseConnection*>(u)->Signal(); }, c.get());
    if (pa_context_connect(c->ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return nullptr;
    if (pa_threaded_mainloop_start(c->loop_) < 0) return nullptr;
    Lock lock(*c);
    if (!c->WaitFor([&] { return pa_context_get_state(c->ctx_) == PA_CONTEXT_READY; }, budget)) return nullptr;
    return c;
}

PulseConnection::~PulseConnection() {
    if (ctx_) {
        if (loop_) pa_threaded_mainloop_lock(loop_);
        pa_context_set_state_callback(ctx_, nullptr, nullptr);
        pa_context_set_subscribe_callback(ctx_, nullptr, nullptr);
        pa_context_disconnect(ctx_);
        pa_context_unref(ctx_);
        if (loop_) pa_threaded_mainloop_unlock(loop_);
    }
    if (loop_) {
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
    }
}

std::string PulseConnection::ErrorText() const { return pa_strerror(pa_context_errno(ctx_)); }

PulseConnection::Deadline::Deadline(PulseConnection& c, std::chrono::milliseconds budget) : conn(c) {
    event = pa_context_rttime_new(
        c.ctx_, pa_rtclock_now() + static_cast<pa_usec_t>(budget.count()) * 1000,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* u) {
            auto* self = static_cast<Deadline*>(u);
            self->passed = true;
            self->conn.Signal();
        },
        this);
    if (!event) passed = true;
}

PulseConnection::Deadline::~Deadline() {
    if (event) pa_threaded_mainloop_get_api(conn.loop_)->time_free(event);
}

bool PulseConnection::Await(pa_operation* op, std::chrono::milliseconds budget) {
    if (!op) return false;
    pa_operation_set_state_callback(
        op, [](pa_operation*, void* u) { static_cast<PulseConnection*>(u)->Signal(); }, this);
    const bool ended = WaitFor([&] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, budget);
    if (!ended) pa_operation_cancel(op);
    pa_operation_set_state_callback(op, nullptr, nullptr);
    const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
    pa_operation_unref(op);
    return ended && done;
}

std::string PulseConnection::DefaultSourceName(std::chrono::milliseconds budget) {
    std::string name;
    pa_operation* op = pa_context_get_server_info(
        ctx_,
        [](pa_context*, const pa_server_info* info, void* u) {
            if (info && info->default_source_name) *static_cast<std::string*>(u) = info->default_source_name;
        },
        &name);
    if (!Await(op, budget)) return {};
    return name;
}

std::string PulseConnection::SourceDescription(const std::string& source, std::chrono::milliseconds budget) {
    std::string description;
    pa_operation* op = pa_context_get_source_info_by_name(
        ctx_, source.c_str(),
        [](pa_context*, const pa_source_info* info, int eol, void* u) {
            auto* out = static_cast<std::string*>(u);
            if (!eol && info && out->empty()) *out = info->description ? info->description : info->name;
        },
        &description);
    if (!Await(op, budget)) return {};
    return description;
}

}  // namespace orv::platform

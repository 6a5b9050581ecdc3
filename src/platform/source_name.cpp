#include "platform/source_name.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/subscribe.h>

#include <chrono>
#include <cstring>

namespace orv::platform {

std::string CapsNameOf(const std::string& name) {
    constexpr size_t MaxBytes = 31;
    if (name.size() <= MaxBytes) return name;
    size_t cut = MaxBytes;
    // Back off continuation bytes so that no character is split.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

std::string DeviceZeroName::choose(const SourceLookup& lookup, const std::string& alsaName) {
    if (lookup.result == SourceLookup::Result::Named && !lookup.description.empty())
        last_ = CapsNameOf(lookup.description);
    if (!last_.empty()) return last_;
    return CapsNameOf(alsaName);
}

namespace {

constexpr auto LookupBudget = std::chrono::milliseconds(250);

// One connection for the program's life, told by the server when its default
// source or a source changes: a lookup with nothing changed costs no message.
// A new connection each time cost as much as the capture itself.
class PulseSourceNames final : public SourceNames {
public:
    ~PulseSourceNames() override {
        Disconnect();
        if (loop_) pa_mainloop_free(loop_);
    }

    SourceLookup defaultSource() override {
        if (!loop_ && !(loop_ = pa_mainloop_new())) return {};
        TakeEvents();
        if (ctx_ && !PA_CONTEXT_IS_GOOD(state_)) Disconnect();
        const auto deadline = std::chrono::steady_clock::now() + LookupBudget;
        if (!ctx_ && !Connect(deadline)) return {};
        if (known_) return last_;

        SourceLookup out;
        out.result = SourceLookup::Result::Failed;
        // Whatever arrives from here on is newer than the answer.
        known_ = true;
        serverInfoDone_ = sourceDone_ = false;
        defaultName_.clear();
        description_.clear();
        pa_operation* op = pa_context_get_server_info(
            ctx_,
            [](pa_context*, const pa_server_info* info, void* u) {
                auto* self = static_cast<PulseSourceNames*>(u);
                if (info && info->default_source_name) self->defaultName_ = info->default_source_name;
                self->serverInfoDone_ = true;
            },
            this);
        const bool answered = Finish(op, deadline, serverInfoDone_);
        if (answered && !defaultName_.empty()) {
            op = pa_context_get_source_info_by_name(
                ctx_, defaultName_.c_str(),
                [](pa_context*, const pa_source_info* info, int eol, void* u) {
                    auto* self = static_cast<PulseSourceNames*>(u);
                    if (info && info->description && self->description_.empty())
                        self->description_ = info->description;
                    if (eol) self->sourceDone_ = true;
                },
                this);
            if (Finish(op, deadline, sourceDone_) && !description_.empty()) {
                out.result = SourceLookup::Result::Named;
                out.description = description_;
            }
        }
        // Only a name is worth keeping: a failed answer is asked again next time.
        if (out.result != SourceLookup::Result::Named) known_ = false;
        if (ctx_) last_ = out;
        return out;
    }

private:
    // Runs the loop until `done` or the deadline; false on timeout or a broken loop.
    template <class Done>
    bool RunUntil(std::chrono::steady_clock::time_point deadline, Done done) {
        while (!done()) {
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) return false;
            const auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
            if (pa_mainloop_prepare(loop_, int(us)) < 0 || pa_mainloop_poll(loop_) < 0 ||
                pa_mainloop_dispatch(loop_) < 0)
                return false;
        }
        return true;
    }

    // Whatever the server said since the last lookup, without waiting.
    void TakeEvents() {
        if (!ctx_) return;
        for (int i = 0; i < 64 && pa_mainloop_iterate(loop_, 0, nullptr) > 0; ++i) {
        }
    }

    // An operation that did not finish in time leaves the connection in doubt: dropped.
    bool Finish(pa_operation* op, std::chrono::steady_clock::time_point deadline, const bool& done) {
        if (!op) {
            Disconnect();
            return false;
        }
        const bool ok = RunUntil(deadline, [&] { return done || !PA_CONTEXT_IS_GOOD(state_); }) && done;
        if (!ok) pa_operation_cancel(op);
        pa_operation_unref(op);
        if (!ok) Disconnect();
        return ok;
    }

    bool Connect(std::chrono::steady_clock::time_point deadline) {
        ctx_ = pa_context_new(pa_mainloop_get_api(loop_), "Orvane Recorder");
        if (!ctx_) return false;
        state_ = PA_CONTEXT_UNCONNECTED;
        known_ = false;
        pa_context_set_state_callback(
            ctx_,
            [](pa_context* c, void* u) { static_cast<PulseSourceNames*>(u)->state_ = pa_context_get_state(c); },
            this);
        if (pa_context_connect(ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
            !RunUntil(deadline, [&] { return state_ == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state_); }) ||
            state_ != PA_CONTEXT_READY) {
            Disconnect();
            return false;
        }
        pa_context_set_subscribe_callback(
            ctx_, [](pa_context*, pa_subscription_event_type_t, uint32_t, void* u) {
                static_cast<PulseSourceNames*>(u)->known_ = false;
            },
            this);
        // Asked before the first lookup, so that no change between the two is missed.
        pa_operation* op = pa_context_subscribe(
            ctx_, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_SOURCE), nullptr,
            nullptr);
        if (!op) {
            Disconnect();
            return false;
        }
        pa_operation_unref(op);
        return true;
    }

    void Disconnect() {
        if (!ctx_) return;
        pa_context_set_state_callback(ctx_, nullptr, nullptr);
        pa_context_set_subscribe_callback(ctx_, nullptr, nullptr);
        pa_context_disconnect(ctx_);
        pa_context_unref(ctx_);
        ctx_ = nullptr;
        state_ = PA_CONTEXT_UNCONNECTED;
        known_ = false;
    }

    pa_mainloop* loop_ = nullptr;
    pa_context* ctx_ = nullptr;
    pa_context_state_t state_ = PA_CONTEXT_UNCONNECTED;
    bool known_ = false;  // last_ still holds: no change reported since it was asked
    SourceLookup last_;
    bool serverInfoDone_ = false;
    bool sourceDone_ = false;
    std::string defaultName_;
    std::string description_;
};

}  // namespace

std::unique_ptr<SourceNames> makePulseSourceNames() { return std::make_unique<PulseSourceNames>(); }

}  // namespace orv::platform

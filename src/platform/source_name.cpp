#include "platform/source_name.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

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

struct Query {
    pa_context_state_t state = PA_CONTEXT_UNCONNECTED;
    bool serverInfoDone = false;
    std::string defaultSource;
    bool sourceDone = false;
    std::string description;
};

class PulseSourceNames final : public SourceNames {
public:
    SourceLookup defaultSource() override {
        SourceLookup out;
        pa_mainloop* loop = pa_mainloop_new();
        if (!loop) return out;
        pa_context* ctx = pa_context_new(pa_mainloop_get_api(loop), "Orvane Recorder");
        if (!ctx) {
            pa_mainloop_free(loop);
            return out;
        }
        Query q;
        pa_context_set_state_callback(
            ctx, [](pa_context* c, void* u) { static_cast<Query*>(u)->state = pa_context_get_state(c); }, &q);
        const auto deadline = std::chrono::steady_clock::now() + LookupBudget;
        auto runUntil = [&](auto done) {
            while (!done()) {
                const auto left = deadline - std::chrono::steady_clock::now();
                if (left <= std::chrono::steady_clock::duration::zero()) return false;
                const auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
                if (pa_mainloop_prepare(loop, int(us)) < 0 || pa_mainloop_poll(loop) < 0 ||
                    pa_mainloop_dispatch(loop) < 0)
                    return false;
            }
            return true;
        };

        if (pa_context_connect(ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
            runUntil([&] { return q.state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(q.state); }) &&
            q.state == PA_CONTEXT_READY) {
            out.result = SourceLookup::Result::Failed;
            pa_operation* op = pa_context_get_server_info(
                ctx,
                [](pa_context*, const pa_server_info* info, void* u) {
                    auto* qq = static_cast<Query*>(u);
                    if (info && info->default_source_name) qq->defaultSource = info->default_source_name;
                    qq->serverInfoDone = true;
                },
                &q);
            const bool haveDefault = op && runUntil([&] { return q.serverInfoDone; }) && !q.defaultSource.empty();
            if (op) pa_operation_unref(op);
            if (haveDefault) {
                op = pa_context_get_source_info_by_name(
                    ctx, q.defaultSource.c_str(),
                    [](pa_context*, const pa_source_info* info, int eol, void* u) {
                        auto* qq = static_cast<Query*>(u);
                        if (info && info->description && qq->description.empty()) qq->description = info->description;
                        if (eol) qq->sourceDone = true;
                    },
                    &q);
                if (op && runUntil([&] { return q.sourceDone; }) && !q.description.empty()) {
                    out.result = SourceLookup::Result::Named;
                    out.description = q.description;
                }
                if (op) pa_operation_unref(op);
            }
        }
        pa_context_set_state_callback(ctx, nullptr, nullptr);
        pa_context_disconnect(ctx);
        pa_context_unref(ctx);
        pa_mainloop_free(loop);
        return out;
    }
};

}  // namespace

std::unique_ptr<SourceNames> makePulseSourceNames() { return std::make_unique<PulseSourceNames>(); }

}  // namespace orv::platform

// Input mixer over the sound server: one input, the volume and mute of the
// source being recorded. The state word is kept from the server's change
// events, so that reading it (every status tick) asks the server nothing.
#include <pulse/introspect.h>
#include <pulse/subscribe.h>
#include <pulse/volume.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/pulse_connection.h"
#include "platform/input_mixer.h"
#include "platform/wave_in.h"

namespace orv::platform {
namespace {

class PulseInputMixer final : public InputMixer {
public:
    explicit PulseInputMixer(const WaveIn* recorder) : recorder_(dynamic_cast<const PulseRecorder*>(recorder)) {}
    ~PulseInputMixer() override {
        if (conn_) {
            PulseConnection::Lock lock(*conn_);
            pa_context_set_subscribe_callback(conn_->context(), nullptr, nullptr);
        }
        conn_.reset();
    }

    bool init(int, uint32_t) override { return true; }

    bool recordInit(int device) override {
        recordFree();
        if (device != 0 && device != -1) return false;
        if (conn_) {
            bool good = false;
            {
                PulseConnection::Lock lock(*conn_);
                good = conn_->Good();
            }
            if (!good) conn_.reset();
        }
        if (!conn_) {
            if (!(conn_ = PulseConnection::Open(kPulseConnectBudget))) return false;
            PulseConnection::Lock lock(*conn_);
            pa_context_set_subscribe_callback(conn_->context(), &PulseInputMixer::OnEvent, this);
            if (!conn_->Await(pa_context_subscribe(conn_->context(), PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr),
                              kPulseReplyBudget)) {
                return false;
            }
        }
        // The source the capture device records; the default one when it is closed.
        std::string source = recorder_ ? recorder_->recordedSource() : std::string();
        PulseConnection::Lock lock(*conn_);
        if (source.empty()) source = conn_->DefaultSourceName(kPulseReplyBudget);
        if (source.empty()) return false;
        source_ = source;
        if (!conn_->Await(pa_context_get_source_info_by_name(conn_->context(), source.c_str(), &OnInfo, this),
                          kPulseReplyBudget) ||
            !known_)
            return false;
        ready_ = true;
        return true;
    }

    bool recordSetDevice(int device) override { return ready_ && device == 0; }

    bool recordFree() override {
        const bool was = ready_;
        ready_ = false;
        if (conn_) {
            PulseConnection::Lock lock(*conn_);
            known_ = false;
            index_ = PA_INVALID_INDEX;
        }
        return was;
    }

    uint32_t recordGetInput(int input) override {
        Follow();
        if (!ready_ || (input != 0 && input != -1)) return INPUT_INVALID;
        PulseConnection::Lock lock(*conn_);
        return known_ && conn_->Good() ? state_ : INPUT_INVALID;
    }

    bool recordSetInput(int input, uint32_t setting) override {
        Follow();
        if (!ready_ || (input != 0 && input != -1)) return false;
        PulseConnection::Lock lock(*conn_);
        if (!known_ || !conn_->Good()) return false;
        pa_context* c = conn_->context();
        if (setting & INPUT_ON) {
            if (pa_operation* op = pa_context_set_source_mute_by_index(c, index_, 0, nullptr, nullptr))
                pa_operation_unref(op);
            state_ &= ~INPUT_OFF;
        } else if (setting & INPUT_OFF) {
            if (pa_operation* op = pa_context_set_source_mute_by_index(c, index_, 1, nullptr, nullptr))
                pa_operation_unref(op);
            state_ |= INPUT_OFF;
        }
        if (setting & INPUT_VOLUME) {
            const uint32_t percent = std::min<uint32_t>(setting & 0xFFFF, 100);
            pa_cvolume cv;
            pa_cvolume_set(&cv, channels_,
                           static_cast<pa_volume_t>(std::lround(double(percent) * PA_VOLUME_NORM / 100.0)));
            if (pa_operation* op = pa_context_set_source_volume_by_index(c, index_, &cv, nullptr, nullptr))
                pa_operation_unref(op);
            // Shown at once; the server's event confirms it.
            state_ = (state_ & INPUT_OFF) | percent;
        }
        return true;
    }

    std::string recordGetInputName(int input) override {
        if (!ready_ || (input != 0 && input != -1)) return {};
        PulseConnection::Lock lock(*conn_);
        return known_ ? name_ : std::string();
    }

private:
    // The recorder opened on another source than the one set up (the default
    // moved between two opens): the knob acts on the source it records.
    void Follow() {
        if (!ready_ || !recorder_) return;
        const std::string recorded = recorder_->recordedSource();
        if (!recorded.empty() && recorded != source_) recordInit(0);
    }

    // Loop thread, lock held.
    static void OnInfo(pa_context*, const pa_source_info* info, int eol, void* u) {
        auto* self = static_cast<PulseInputMixer*>(u);
        if (eol || !info) return;
        // An answer about another source (one asked for before a re-initialisation).
        if (self->known_ ? info->index != self->index_ : self->source_ != (info->name ? info->name : "")) return;
        self->index_ = info->index;
        self->channels_ = std::max<uint8_t>(1, info->volume.channels);
        self->name_ = info->description ? info->description : info->name;
        // The loudest channel as 0 … 100, like the capture volume of a card.
        const double percent = double(pa_cvolume_max(&info->volume)) * 100.0 / PA_VOLUME_NORM;
        self->state_ = static_cast<uint32_t>(std::clamp<long>(std::lround(percent), 0, 100));
        if (info->mute) self->state_ |= INPUT_OFF;
        self->known_ = true;
    }

    static void OnEvent(pa_context* c, pa_subscription_event_type_t t, uint32_t index, void* u) {
        auto* self = static_cast<PulseInputMixer*>(u);
        if (!self->known_ || index != self->index_) return;
        if ((t & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
            self->known_ = false;
            return;
        }
        if (pa_operation* op = pa_context_get_source_info_by_index(c, index, &OnInfo, self)) pa_operation_unref(op);
    }

    const PulseRecorder* recorder_;
    std::unique_ptr<PulseConnection> conn_;
    bool ready_ = false;  // program thread: recordInit succeeded

    // Under the loop's lock.
    bool known_ = false;  // the source is there and state_ describes it
    std::string source_;  // the source's name, as asked for at initialisation
    uint32_t index_ = PA_INVALID_INDEX;
    uint8_t channels_ = 2;
    uint32_t state_ = 0;
    std::string name_;
};

}  // namespace

std::unique_ptr<InputMixer> makePulseInputMixer(const WaveIn* recorder) {
    return std::make_unique<PulseInputMixer>(recorder);
}

}  // namespace orv::platform

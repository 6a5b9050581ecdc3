// Wave-in over a record stream of the sound server. The stream is pinned to
// the source that was the default when it opened: the server neither moves
// it when the default changes nor keeps it alive when its source goes, which
// then shows as a device failure. The loop's thread copies each fragment into
// the queued buffers, front first, and publishes the bytes-recorded field
// with a release store once the bytes are in place.
#include <pulse/error.h>
#include <pulse/stream.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <optional>
#include <string>

#include "platform/alsa_stats.h"
#include "platform/wave_in.h"
#include "platform/pulse_connection.h"
#include "platform/wave_error_text.h"

namespace orv::platform {
namespace {

using namespace std::chrono_literals;

constexpr auto kReconnectEvery = 1s;  // the engine asks every 200 ms; a dead server is asked less

MMResult ResultOfServerError(int err) {
    switch (err) {
        case PA_ERR_NOENTITY: return MMSYSERR_BADDEVICEID;
        case PA_ERR_NOTSUPPORTED:
        case PA_ERR_INVALID: return WAVERR_BADFORMAT;
        case PA_ERR_BUSY: return MMSYSERR_ALLOCATED;
        default: return MMSYSERR_ERROR;
    }
}

class PulseWaveIn final : public WaveIn, public CaptureStatsSource, public PulseRecorder {
public:
    explicit PulseWaveIn(std::unique_ptr<SourceNames> names) : names_(std::move(names)) {}
    ~PulseWaveIn() override {
        if (conn_) {
            PulseConnection::Lock lock(*conn_);
            DropStream();
        }
        conn_.reset();  // before the fields its callbacks read
    }

    uint32_t getNumDevs() override { return Connect() ? 1 : 0; }

    MMResult getDevCaps(uint32_t device, WaveInCaps& caps) override {
        if (device != 0 || !Connect()) return MMSYSERR_BADDEVICEID;
        caps = WaveInCaps{};
        // A fixed name while the server has named nothing: the engine compares
        // it every tick, and a name that changed would restart the program.
        const std::string fallback = "Sound server";
        const std::string name = names_ ? deviceName_.choose(names_->defaultSource(), fallback) : fallback;
        std::strncpy(caps.name, CapsNameOf(name).c_str(), sizeof caps.name - 1);
        caps.formats = 0xFFF;  // the server converts whatever it is asked for
        caps.channels = 2;
        return MMSYSERR_NOERROR;
    }

    MMResult open(uint32_t device, const WaveFormat& format) override {
        if (device != 0) return Fail(MMSYSERR_BADDEVICEID, {});
        if (stream_) return Fail(MMSYSERR_ALLOCATED, {});
        pa_sample_spec sampleFormat{};
        sampleFormat.format = format.bitsPerSample == 16 ? PA_SAMPLE_S16LE
                      : format.bitsPerSample == 8 ? PA_SAMPLE_U8
                                                  : PA_SAMPLE_INVALID;
        sampleFormat.rate = format.samplesPerSec;
        sampleFormat.channels = static_cast<uint8_t>(format.channels);
        if (format.formatTag != 1 || format.channels < 1 || format.channels > 2 ||
            sampleFormat.format == PA_SAMPLE_INVALID || format.samplesPerSec == 0 ||
            format.blockAlign != format.channels * format.bitsPerSample / 8 || !pa_sample_spec_valid(&sampleFormat))
            return Fail(WAVERR_BADFORMAT, {});
        if (!Connect()) return Fail(MMSYSERR_ERROR, "sound server: no answer");

        PulseConnection::Lock lock(*conn_);
        const std::string source = conn_->DefaultSourceName(kPulseReplyBudget);
        if (source.empty()) return Fail(MMSYSERR_BADDEVICEID, "sound server: no default source");
        pa_stream* s = pa_stream_new(conn_->context(), "Recording", &sampleFormat, nullptr);
        if (!s) return Fail(MMSYSERR_NOMEM, conn_->ErrorText());
        frameBytes_ = format.blockAlign;
        queue_.clear();
        frontFill_.reset();
        run_ = accepting_ = inDropGap_ = false;
        corksSent_ = corksAcked_ = lastUncork_ = 0;
        stats_ = CaptureStats{};
        error_.clear();
        source_ = source;
        stream_ = s;
        pa_stream_set_state_callback(s, &PulseWaveIn::OnState, this);
        pa_stream_set_read_callback(s, &PulseWaveIn::OnRead, this);
        pa_stream_set_overflow_callback(s, &PulseWaveIn::OnOverflow, this);

        // About a block per fragment: the loop's thread wakes ten times a second.
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.fragsize = format.samplesPerSec / 10 * frameBytes_;
        attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_DONT_MOVE | PA_STREAM_ADJUST_LATENCY |
                                                          PA_STREAM_START_CORKED);
        const bool ready = pa_stream_connect_record(s, source.c_str(), &attr, flags) == 0 &&
                           conn_->WaitFor([&] { return pa_stream_get_state(s) != PA_STREAM_CREATING; },
                                          kPulseReplyBudget) &&
                           pa_stream_get_state(s) == PA_STREAM_READY;
        if (!ready) {
            const int err = pa_context_errno(conn_->context());
            DropStream();
            return Fail(ResultOfServerError(err), source + ": " + pa_strerror(err));
        }
        error_.clear();
        // Named as device 0 is named, so that the program can tell it from the default.
        sourceName_ = CapsNameOf(conn_->SourceDescription(source, kPulseReplyBudget));
        return MMSYSERR_NOERROR;
    }

    MMResult prepareHeader(WaveHeader& h) override {
        if (!stream_) return MMSYSERR_INVALHANDLE;
        PulseConnection::Lock lock(*conn_);
        h.flags |= WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }

    MMResult addBuffer(WaveHeader& h) override {
        if (!stream_) return MMSYSERR_INVALHANDLE;
        PulseConnection::Lock lock(*conn_);
        if (!(h.flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
        if (h.flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
        h.flags = (h.flags & ~WHDR_DONE) | WHDR_INQUEUE;
        queue_.push_back(&h);
        return MMSYSERR_NOERROR;
    }

    MMResult start() override {
        if (!stream_) return MMSYSERR_INVALHANDLE;
        PulseConnection::Lock lock(*conn_);
        if (run_) return MMSYSERR_NOERROR;
        run_ = true;
        Cork(false);
        return MMSYSERR_NOERROR;
    }

    MMResult reset() override {
        if (!stream_) return MMSYSERR_INVALHANDLE;
        PulseConnection::Lock lock(*conn_);
        // From here on the loop's thread writes into no buffer.
        run_ = accepting_ = false;
        if (pa_stream_get_state(stream_) == PA_STREAM_READY) {
            Cork(true);
            if (pa_operation* op = pa_stream_flush(stream_, nullptr, nullptr)) pa_operation_unref(op);
        }
        for (WaveHeader* h : queue_) h->flags = (h->flags & ~WHDR_INQUEUE) | WHDR_DONE;
        queue_.clear();
        frontFill_.reset();
        return MMSYSERR_NOERROR;
    }

    MMResult unprepareHeader(WaveHeader& h) override {
        if (!stream_) return MMSYSERR_INVALHANDLE;
        PulseConnection::Lock lock(*conn_);
        if (h.flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
        h.flags &= ~WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }

    MMResult close() override {
        if (!stream_) return MMSYSERR_INVALHANDLE;
        PulseConnection::Lock lock(*conn_);
        if (!queue_.empty()) return Fail(WAVERR_STILLPLAYING, {});
        DropStream();
        return MMSYSERR_NOERROR;
    }

    std::string getErrorText(MMResult result) override {
        std::string text = WaveInErrorText(result);
        if (result == lastResult_ && !lastDetail_.empty()) text += " (" + lastDetail_ + ")";
        return text;
    }

    std::string deviceError() override {
        if (!stream_) return {};
        PulseConnection::Lock lock(*conn_);
        return error_;
    }

    CaptureStats captureStats() const override {
        if (!conn_) return {};
        PulseConnection::Lock lock(*conn_);
        return stats_;
    }

    std::string recordedSourceName() override {
        if (!stream_) return {};
        PulseConnection::Lock lock(*conn_);
        return sourceName_;
    }

    std::string recordedSource() const override {
        if (!stream_) return {};
        PulseConnection::Lock lock(*conn_);
        return source_;
    }

private:
    MMResult Fail(MMResult result, std::string detail) {
        lastResult_ = result;
        lastDetail_ = std::move(detail);
        return result;
    }

    // A live connection, made again when the server went away and nothing of
    // ours is left on the old one. A stream whose server went away leaves
    // device 0 gone until it is closed.
    bool Connect() {
        if (conn_) {
            PulseConnection::Lock lock(*conn_);
            if (conn_->Good()) return true;
            if (stream_) return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (triedAt_ && now - *triedAt_ < kReconnectEvery) return false;
        triedAt_ = now;
        conn_.reset();
        conn_ = PulseConnection::Open(kPulseConnectBudget);
        return conn_ != nullptr;
    }

    // With the lock held.
    void DropStream() {
        if (!stream_) return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_overflow_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
        source_.clear();
        sourceName_.clear();
    }

    // With the lock held. The server answers in order, so the answer to the
    // last uncork marks where fresh sound begins: whatever came before it
    // was captured before the start.
    void Cork(bool cork) {
        const uint64_t seq = ++corksSent_;
        if (!cork) lastUncork_ = seq;
        pa_operation* op = pa_stream_cork(
            stream_, cork ? 1 : 0,
            [](pa_stream*, int, void* u) {
                auto* self = static_cast<PulseWaveIn*>(u);
                if (++self->corksAcked_ == self->lastUncork_ && self->run_) self->accepting_ = true;
            },
            this);
        if (op) pa_operation_unref(op);
    }

    static void OnState(pa_stream* s, void* u) {
        auto* self = static_cast<PulseWaveIn*>(u);
        const pa_stream_state_t state = pa_stream_get_state(s);
        if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
            // The source went away or the server did: no more sound comes on
            // this stream, so the failure stays until it is closed.
            self->stats_.lastDriverError = -pa_context_errno(pa_stream_get_context(s));
            self->error_ = WaveInErrorText(MMSYSERR_ERROR) + " (" + self->source_ + ": " +
                           pa_strerror(pa_context_errno(pa_stream_get_context(s))) + ")";
            self->accepting_ = false;
        }
        self->conn_->Signal();
    }

    static void OnOverflow(pa_stream*, void* u) {
        auto* self = static_cast<PulseWaveIn*>(u);
        ++self->stats_.overruns;
        ++self->stats_.gaps;
    }

    static void OnRead(pa_stream* s, size_t, void* u) {
        auto* self = static_cast<PulseWaveIn*>(u);
        const void* data = nullptr;
        size_t n = 0;
        while (pa_stream_peek(s, &data, &n) == 0 && n > 0) {
            if (self->accepting_) {
                if (data) {
                    self->Deliver(static_cast<const uint8_t*>(data), n);
                } else {
                    // A hole: sound the server had and lost.
                    ++self->stats_.gaps;
                    self->stats_.framesLost += n / self->frameBytes_;
                }
            }
            pa_stream_drop(s);
        }
    }

    // Loop thread, lock held: into the queued buffers in order, the rest
    // read into nowhere.
    void Deliver(const uint8_t* p, size_t n) {
        while (n > 0) {
            if (queue_.empty()) {
                stats_.framesDropped += n / frameBytes_;
                stats_.framesLost += n / frameBytes_;
                if (!inDropGap_) ++stats_.gaps;
                inDropGap_ = true;
                return;
            }
            inDropGap_ = false;
            WaveHeader* h = queue_.front();
            if (!frontFill_) frontFill_ = h->bytesRecorded.load(std::memory_order_relaxed);
            const uint32_t usable = h->bufferLength - h->bufferLength % frameBytes_;
            const uint32_t fill = std::min(*frontFill_, usable);
            const uint32_t take = static_cast<uint32_t>(std::min<size_t>(usable - fill, n));
            std::memcpy(h->data + fill, p, take);
            p += take;
            n -= take;
            const uint32_t now = fill + take;
            *frontFill_ = now;
            stats_.framesCaptured += now / frameBytes_ - fill / frameBytes_;
            h->bytesRecorded.store(now - now % frameBytes_, std::memory_order_release);
            if (now == usable) {
                h->flags = (h->flags & ~WHDR_INQUEUE) | WHDR_DONE;
                queue_.pop_front();
                frontFill_.reset();
            }
        }
    }

    std::unique_ptr<SourceNames> names_;
    DeviceZeroName deviceName_;

    // Program thread only.
    std::unique_ptr<PulseConnection> conn_;
    std::optional<std::chrono::steady_clock::time_point> triedAt_;
    MMResult lastResult_ = MMSYSERR_NOERROR;
    std::string lastDetail_;

    // Under the loop's lock. stream_ is set and cleared by the program thread.
    pa_stream* stream_ = nullptr;
    std::string source_;              // the source the stream records, pinned at open
    std::string sourceName_;          // its description, cut as a capability name
    uint32_t frameBytes_ = 4;
    std::deque<WaveHeader*> queue_;   // in the order added; the front is being filled
    std::optional<uint32_t> frontFill_;  // bytes in the front buffer, partial frames included
    bool run_ = false;                // started and not reset
    bool accepting_ = false;          // the server has started: what arrives is fresh
    bool inDropGap_ = false;          // frames are being read into nowhere
    uint64_t corksSent_ = 0, corksAcked_ = 0, lastUncork_ = 0;
    CaptureStats stats_;
    std::string error_;               // the failure of the stream, until it is closed
};

}  // namespace

std::unique_ptr<WaveIn> makePulseWaveIn(std::unique_ptr<SourceNames> names) {
    if (!names) names = makePulseSourceNames();
    return std::make_unique<PulseWaveIn>(std::move(names));
}

}  // namespace orv::platform

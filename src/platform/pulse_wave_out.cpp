// Wave-out over a playback stream of the sound server. The loop's thread
// writes the queued buffers as the server asks for data. A buffer is done
// once the server's own figures say its last frame has left the sink: the
// stream's read index less the sink's latency, both taken in one answer (a
// figure interpolated from our clock runs ahead of a busy server). The last
// frames written are also drained, which starts a short play and plays the
// tail out. The volume is the stream's volume at the server, so the
// desktop's volume control shows it; unity is the server's normal volume,
// which passes the samples untouched.
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/volume.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <optional>
#include <string>

#include "platform/pulse_connection.h"
#include "platform/wave_out.h"
#include "platform/wave_error_text.h"

namespace orv::platform {
namespace {

// While buffers wait to be written, each request of the server for more
// data brings one look at its figures (a quarter of the buffer, as a period
// on ALSA); once all is written, a timer takes over, at these gaps in µs.
constexpr pa_usec_t kMinMeasureGap = 50000;
constexpr pa_usec_t kMaxMeasureGap = 200000;

MMResult ResultOfServerError(int err) {
    switch (err) {
        case PA_ERR_NOENTITY: return MMSYSERR_BADDEVICEID;
        case PA_ERR_NOTSUPPORTED:
        case PA_ERR_INVALID: return WAVERR_BADFORMAT;
        case PA_ERR_BUSY: return MMSYSERR_ALLOCATED;
        default: return MMSYSERR_ERROR;
    }
}

// One channel's 16-bit volume word as the server's volume: linear in
// amplitude, as the word always was; 0xFFFF is the server's normal volume.
pa_volume_t ServerVolume(uint32_t word) {
    if (word >= 0xFFFF) return PA_VOLUME_NORM;
    if (word == 0) return PA_VOLUME_MUTED;
    return pa_sw_volume_from_linear(double(word) / 65535.0);
}

uint32_t VolumeWord(pa_volume_t v) {
    if (v >= PA_VOLUME_NORM) return 0xFFFF;
    return static_cast<uint32_t>(std::clamp(std::lround(pa_sw_volume_to_linear(v) * 65535.0), 0L, 0xFFFFL));
}

class PulseWaveOut final : public WaveOut, public PlaybackStatsSource {
public:
    explicit PulseWaveOut(unsigned bufferMillis) : bufferMillis_(std::max(20u, bufferMillis)) {}
    ~PulseWaveOut() override {
        if (conn_) {
            PulseConnection::Lock lock(*conn_);
            DropStream();
        }
        conn_.reset();  // before the fields its callbacks read
    }

    MMResult open(uint32_t device, const WaveFormat& format) override {
        if (device != 0) return Fail(MMSYSERR_BADDEVICEID, {});
        if (open_) return Fail(MMSYSERR_ALLOCATED, {});
        if (format.formatTag != 1 || format.bitsPerSample != 16 || format.channels < 1 ||
            format.channels > 2 || format.samplesPerSec == 0 || format.blockAlign != format.channels * 2 ||
            format.samplesPerSec > PA_RATE_MAX)
            return Fail(WAVERR_BADFORMAT, {});
        // A server that went away is connected to again.
        if (conn_) {
            bool good = false;
            {
                PulseConnection::Lock lock(*conn_);
                good = conn_->Good();
                if (!good) DropStream();
            }
            if (!good) conn_.reset();
        }
        if (!conn_) {
            if (!(conn_ = PulseConnection::Open(kPulseConnectBudget)))
                return Fail(MMSYSERR_ERROR, "sound server: no answer");
            // The desktop's volume control may change the volume too.
            PulseConnection::Lock lock(*conn_);
            pa_context_set_subscribe_callback(conn_->context(), &PulseWaveOut::OnEvent, this);
            if (pa_operation* op = pa_context_subscribe(conn_->context(), PA_SUBSCRIPTION_MASK_SINK_INPUT, nullptr,
                                                        nullptr))
                pa_operation_unref(op);
        }

        PulseConnection::Lock lock(*conn_);
        spec_ = pa_sample_spec{PA_SAMPLE_S16LE, format.samplesPerSec, static_cast<uint8_t>(format.channels)};
        frameBytes_ = format.blockAlign;
        queue_.clear();
        pending_.clear();
        frontOffset_ = 0;
        failure_ = MMSYSERR_NOERROR;
        failureText_.clear();
        stats_ = PlaybackStats{};
        if (!MakeStream()) return Fail(MMSYSERR_NOMEM, conn_->ErrorText());
        pa_stream* s = stream_;
        if (!conn_->WaitFor([&] { return pa_stream_get_state(s) != PA_STREAM_CREATING; }, kPulseReplyBudget) ||
            pa_stream_get_state(s) != PA_STREAM_READY) {
            const int err = pa_context_errno(conn_->context());
            DropStream();
            return Fail(ResultOfServerError(err), std::string("sound server: ") + pa_strerror(err));
        }
        failure_ = MMSYSERR_NOERROR;
        failureText_.clear();
        open_ = true;
        return MMSYSERR_NOERROR;
    }

    MMResult prepareHeader(WaveOutHeader& h) override {
        if (!open_) return MMSYSERR_INVALHANDLE;
        h.flags.fetch_or(WHDR_PREPARED, std::memory_order_acq_rel);
        return MMSYSERR_NOERROR;
    }

    MMResult write(WaveOutHeader& h) override {
        if (!open_) return MMSYSERR_INVALHANDLE;
        PulseConnection::Lock lock(*conn_);
        const uint32_t f = h.flags.load(std::memory_order_acquire);
        if (!(f & WHDR_PREPARED)) return WAVERR_UNPREPARED;
        if (f & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
        h.flags.store((f & ~WHDR_DONE) | WHDR_INQUEUE, std::memory_order_release);
        queue_.push_back(&h);
        Feed();
        return MMSYSERR_NOERROR;
    }

    MMResult reset() override {
        if (!open_) return MMSYSERR_INVALHANDLE;
        PulseConnection::Lock lock(*conn_);
        for (WaveOutHeader* h : queue_) Complete(*h);
        for (const Pending& p : pending_) Complete(*p.header);
        queue_.clear();
        pending_.clear();
        frontOffset_ = 0;
        stats_.framesWritten = stats_.framesPlayed = 0;
        // A fresh stream: the old one's sound stops with it, and the new one
        // counts from zero, so no figure of the old one can complete a buffer.
        if (failure_ == MMSYSERR_NOERROR && stream_ && written_ > 0) {
            DropStream();
            if (!MakeStream()) SetFailure(conn_->ErrorText());
        }
        return MMSYSERR_NOERROR;
    }

    MMResult unprepareHeader(WaveOutHeader& h) override {
        if (!open_) return MMSYSERR_INVALHANDLE;
        PulseConnection::Lock lock(*conn_);
        if (h.flags.load(std::memory_order_acquire) & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
        h.flags.fetch_and(~WHDR_PREPARED, std::memory_order_acq_rel);
        return MMSYSERR_NOERROR;
    }

    MMResult close() override {
        if (!open_) return MMSYSERR_INVALHANDLE;
        PulseConnection::Lock lock(*conn_);
        if (!queue_.empty() || !pending_.empty()) return Fail(WAVERR_STILLPLAYING, {});
        DropStream();
        open_ = false;
        return MMSYSERR_NOERROR;
    }

    MMResult getVolume(uint32_t& volume) override {
        if (!open_) return MMSYSERR_INVALHANDLE;
        volume = volume_.load(std::memory_order_relaxed);
        return MMSYSERR_NOERROR;
    }

    MMResult setVolume(uint32_t volume) override {
        if (!open_) return MMSYSERR_INVALHANDLE;
        volume_.store(volume, std::memory_order_relaxed);
        PulseConnection::Lock lock(*conn_);
        if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY) ApplyVolume();
        return MMSYSERR_NOERROR;
    }

    std::string getErrorText(MMResult result) override {
        std::string text = WaveOutErrorText(result);
        std::string detail;
        if (conn_) {
            PulseConnection::Lock lock(*conn_);
            if (result == failure_) detail = failureText_;
        }
        if (detail.empty() && result == lastResult_) detail = lastDetail_;
        if (!detail.empty()) text += " (" + detail + ")";
        return text;
    }

    MMResult failure() override {
        if (!conn_) return MMSYSERR_NOERROR;
        PulseConnection::Lock lock(*conn_);
        return failure_;
    }

    PlaybackStats playbackStats() const override {
        if (!conn_) return {};
        PulseConnection::Lock lock(*conn_);
        return stats_;
    }

private:
    struct Pending {
        WaveOutHeader* header;
        uint64_t endByte;  // bytes written once its last frame was written
    };

    MMResult Fail(MMResult result, std::string detail) {
        lastResult_ = result;
        lastDetail_ = std::move(detail);
        return result;
    }

    static void Complete(WaveOutHeader& h) {
        const uint32_t f = h.flags.load(std::memory_order_relaxed);
        h.flags.store((f & ~WHDR_INQUEUE) | WHDR_DONE, std::memory_order_release);
    }

    pa_cvolume CVolume() const {
        const uint32_t word = volume_.load(std::memory_order_relaxed);
        pa_cvolume cv;
        pa_cvolume_init(&cv);
        cv.channels = spec_.channels;
        cv.values[0] = ServerVolume(word & 0xFFFF);
        if (spec_.channels > 1) cv.values[1] = ServerVolume(word >> 16);
        return cv;
    }

    // Lock held from here on.
    void ApplyVolume() {
        const pa_cvolume cv = CVolume();
        if (pa_operation* op = pa_context_set_sink_input_volume(conn_->context(), pa_stream_get_index(stream_), &cv,
                                                                nullptr, nullptr))
            pa_operation_unref(op);
    }

    void SetFailure(std::string text) {
        if (failure_ != MMSYSERR_NOERROR) return;
        failure_ = MMSYSERR_ERROR;
        failureText_ = std::move(text);
    }

    // Connects a new stream; READY comes later, through OnState.
    bool MakeStream() {
        stream_ = pa_stream_new(conn_->context(), "Playback", &spec_, nullptr);
        if (!stream_) return false;
        written_ = drainedAt_ = 0;
        draining_ = measuring_ = false;
        tail_.reset();
        pa_stream_set_state_callback(stream_, &PulseWaveOut::OnState, this);
        pa_stream_set_write_callback(stream_, &PulseWaveOut::OnWritable, this);
        pa_stream_set_underflow_callback(stream_, &PulseWaveOut::OnUnderflow, this);
        // The buffer wish in four requests: the loop's thread wakes about
        // four times per buffer.
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(uint64_t{spec_.rate} * bufferMillis_ / 1000) * frameBytes_;
        attr.minreq = attr.tlength / 4 / frameBytes_ * frameBytes_;
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(-1);
        const pa_cvolume cv = CVolume();
        if (pa_stream_connect_playback(stream_, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, &cv, nullptr) < 0) {
            DropStream();
            return false;
        }
        return true;
    }

    void DropStream() {
        FreeTimer();
        if (!stream_) return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }

    void FreeTimer() {
        if (!timer_) return;
        conn_->api()->time_free(timer_);
        timer_ = nullptr;
    }

    // Writes what the server has room for, front first; once everything is
    // written, drains, which also starts a play too short to fill the buffer.
    void Feed() {
        if (!stream_ || failure_ != MMSYSERR_NOERROR || pa_stream_get_state(stream_) != PA_STREAM_READY) return;
        size_t room = pa_stream_writable_size(stream_);
        if (room == static_cast<size_t>(-1)) return;
        const uint64_t before = written_;
        while (!queue_.empty()) {
            WaveOutHeader* h = queue_.front();
            const uint32_t total = h->bufferLength - h->bufferLength % frameBytes_;
            const size_t take = std::min<size_t>(total - frontOffset_, room / frameBytes_ * frameBytes_);
            if (take > 0) {
                if (pa_stream_write(stream_, h->data + frontOffset_, take, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                    SetFailure(conn_->ErrorText());
                    return;
                }
                written_ += take;
                stats_.framesWritten += take / frameBytes_;
                frontOffset_ += static_cast<uint32_t>(take);
                room -= take;
            }
            if (frontOffset_ < total) break;
            queue_.pop_front();
            frontOffset_ = 0;
            pending_.push_back({h, written_});
        }
        if (queue_.empty() && written_ > drainedAt_ && !draining_) {
            draining_ = true;
            drainedAt_ = written_;
            if (pa_operation* op = pa_stream_drain(stream_, &PulseWaveOut::OnDrained, this)) pa_operation_unref(op);
        }
        // One look per batch written: the server asks once per quarter buffer.
        if (written_ > before) Measure();
    }

    // Asks for the server's figures while buffers wait for their done flag.
    void Measure() {
        if (measuring_ || pending_.empty() || !stream_) return;
        if (pa_operation* op = pa_stream_update_timing_info(stream_, &PulseWaveOut::OnTiming, this)) {
            measuring_ = true;
            pa_operation_unref(op);
        }
    }

    // Buffers whose last frame has left the sink, by the server's last answer.
    void TakeMeasure() {
        const pa_timing_info* t = pa_stream_get_timing_info(stream_);
        if (!t || t->read_index_corrupt || t->read_index < 0) return;
        const uint64_t inSink = pa_usec_to_bytes(t->sink_usec, &spec_);
        const auto read = static_cast<uint64_t>(t->read_index);
        uint64_t played = std::min<uint64_t>(written_, read > inSink ? read - inSink : 0);
        // Once drained, the sink plays silence behind our last frame and its
        // latency no longer counts our frames: the tail is heard once the
        // latency measured first after the drain has passed.
        if (tail_) {
            const pa_usec_t now = pa_rtclock_now();
            if (!tail_->heardAt) tail_->heardAt = now + t->sink_usec + t->transport_usec;
            if (now >= *tail_->heardAt) {
                played = std::max(played, tail_->bytes);
                tail_.reset();
            }
        }
        stats_.framesPlayed = std::max<uint64_t>(stats_.framesPlayed, played / frameBytes_);
        stats_.measuredAt = std::chrono::steady_clock::now();
        while (!pending_.empty() && pending_.front().endByte <= played) {
            Complete(*pending_.front().header);
            pending_.pop_front();
        }
    }

    // Next look when the oldest waiting buffer should have been heard.
    void ScheduleMeasure() {
        if (pending_.empty()) return;
        const uint64_t playedBytes = stats_.framesPlayed * frameBytes_;
        const uint64_t ahead = pending_.front().endByte > playedBytes ? pending_.front().endByte - playedBytes : 0;
        pa_usec_t wait = std::clamp<pa_usec_t>(pa_bytes_to_usec(ahead, &spec_), kMinMeasureGap, kMaxMeasureGap);
        if (tail_ && tail_->heardAt) {
            const pa_usec_t now = pa_rtclock_now();
            wait = std::min(wait, *tail_->heardAt > now ? *tail_->heardAt - now + 1000 : 1000);
        }
        if (timer_) {
            pa_context_rttime_restart(conn_->context(), timer_, pa_rtclock_now() + wait);
            return;
        }
        timer_ = pa_context_rttime_new(
            conn_->context(), pa_rtclock_now() + wait,
            [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* u) {
                static_cast<PulseWaveOut*>(u)->Measure();
            },
            this);
    }

    static void OnState(pa_stream* s, void* u) {
        auto* self = static_cast<PulseWaveOut*>(u);
        const pa_stream_state_t state = pa_stream_get_state(s);
        if (state == PA_STREAM_READY) {
            // A volume set while the stream was being made.
            self->ApplyVolume();
            self->Feed();
        } else if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
            const int err = pa_context_errno(pa_stream_get_context(s));
            self->stats_.lastDriverError = -err;
            self->SetFailure(std::string("sound server: ") + pa_strerror(err));
        }
        self->conn_->Signal();
    }

    static void OnEvent(pa_context* c, pa_subscription_event_type_t t, uint32_t index, void* u) {
        auto* self = static_cast<PulseWaveOut*>(u);
        if (!self->stream_ || index != pa_stream_get_index(self->stream_) ||
            (t & PA_SUBSCRIPTION_EVENT_TYPE_MASK) != PA_SUBSCRIPTION_EVENT_CHANGE)
            return;
        pa_operation* op = pa_context_get_sink_input_info(
            c, index,
            [](pa_context*, const pa_sink_input_info* info, int eol, void* u) {
                auto* self = static_cast<PulseWaveOut*>(u);
                if (eol || !info || !self->stream_ || info->index != pa_stream_get_index(self->stream_)) return;
                // Our own setting comes back as it was set; only another's changes the word.
                const uint32_t word = self->volume_.load(std::memory_order_relaxed);
                const uint32_t words[2] = {word & 0xFFFF, word >> 16};
                uint32_t seen = 0;
                for (unsigned ch = 0; ch < 2; ++ch) {
                    const pa_volume_t v = info->volume.values[std::min<unsigned>(ch, info->volume.channels - 1)];
                    seen |= (v == ServerVolume(words[ch]) ? words[ch] : VolumeWord(v)) << (16 * ch);
                }
                self->volume_.store(seen, std::memory_order_relaxed);
            },
            self);
        if (op) pa_operation_unref(op);
    }

    static void OnWritable(pa_stream*, size_t, void* u) { static_cast<PulseWaveOut*>(u)->Feed(); }

    static void OnUnderflow(pa_stream*, void* u) {
        auto* self = static_cast<PulseWaveOut*>(u);
        // A server that ran dry while buffers waited with us.
        if (!self->queue_.empty()) ++self->stats_.underruns;
    }

    static void OnDrained(pa_stream* s, int success, void* u) {
        auto* self = static_cast<PulseWaveOut*>(u);
        if (s != self->stream_) return;
        self->draining_ = false;
        // Everything written before the drain has left the stream; what was
        // written since is drained next.
        if (success) self->tail_ = Tail{self->drainedAt_, std::nullopt};
        self->Feed();
        self->Measure();
    }

    static void OnTiming(pa_stream* s, int success, void* u) {
        auto* self = static_cast<PulseWaveOut*>(u);
        if (s != self->stream_) return;
        self->measuring_ = false;
        if (success) self->TakeMeasure();
        if (self->queue_.empty()) self->ScheduleMeasure();
    }

    const unsigned bufferMillis_;

    // Program thread only.
    std::unique_ptr<PulseConnection> conn_;
    bool open_ = false;
    MMResult lastResult_ = MMSYSERR_NOERROR;
    std::string lastDetail_;
    std::atomic<uint32_t> volume_{WaveOutFullVolume};

    // Under the loop's lock.
    pa_stream* stream_ = nullptr;
    pa_sample_spec spec_{PA_SAMPLE_S16LE, 44100, 2};
    uint32_t frameBytes_ = 4;
    std::deque<WaveOutHeader*> queue_;  // written by the program, not yet all with the server
    std::deque<Pending> pending_;       // all with the server, not yet heard
    uint32_t frontOffset_ = 0;          // bytes of the front buffer already with the server
    uint64_t written_ = 0;              // bytes written to the current stream
    uint64_t drainedAt_ = 0;            // bytes written when the last drain was asked for
    struct Tail {
        uint64_t bytes;                      // drained: all written before this has left the stream
        std::optional<pa_usec_t> heardAt;    // by the sink latency measured after the drain
    };
    std::optional<Tail> tail_;
    bool draining_ = false;
    bool measuring_ = false;
    pa_time_event* timer_ = nullptr;
    MMResult failure_ = MMSYSERR_NOERROR;
    std::string failureText_;
    PlaybackStats stats_;
};

}  // namespace

std::unique_ptr<WaveOut> makePulseWaveOut(unsigned bufferMillis) { return std::make_unique<PulseWaveOut>(bufferMillis); }

}  // namespace orv::platform

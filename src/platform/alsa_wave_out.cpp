// Wave-out over an ALSA playback PCM. A driver thread writes the queued
// buffers in order, applying the volume as a gain, and raises a buffer's done
// flag only when its last frame has been played: by the PCM's delay while
// more follows it, and by draining the PCM for the last frames written. A
// sound server's plug-in can report less delay than it still holds (a busy
// server lags behind the clock the figure is reckoned from), and the reset
// that follows the last done flag would throw the rest away unheard.
//
// The driver reads a buffer only under the lock, into its own scratch, and
// closes the PCM itself when it ends; so a driver stuck in a call to a
// stopped server can be let go (see kDriverAnswerBudget) without a thread
// left touching the program's buffers.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/wave_error_text.h"
#include "platform/alsa_pcm.h"
#include "platform/wave_out.h"

namespace orv::platform {
namespace {

constexpr int kMaxErrorsInARow = 3;  // then the device counts as failed

// s × g ÷ 65535 rounded to nearest (no ties: 65535 is odd), so 65535 is unity.
inline int16_t Scale(int16_t s, uint32_t g) {
    const int32_t x = int32_t{s} * static_cast<int32_t>(g);
    return static_cast<int16_t>((x + (x >= 0 ? 32767 : -32767)) / 65535);
}

// One open device with its driver thread; shared with that thread, so that
// a driver that was let go keeps what it uses until it ends.
class PlaybackDriver final : public WaveOut, public PlaybackStatsSource,
                             public std::enable_shared_from_this<PlaybackDriver> {
public:
    PlaybackDriver(std::string pcmName, unsigned bufferMillis)
        : pcmName_(std::move(pcmName)), bufferMicros_(std::max(20u, bufferMillis) * 1000u) {}
    ~PlaybackDriver() override { pcm_.reset(); }

    // The driver did not answer in time: the buffers were handed back and the
    // thread let go. Nothing of this object may be used but its volume.
    bool LetGo() const { return letGo_; }
    void KeepVolume(uint32_t volume) { volume_.store(volume, std::memory_order_relaxed); }
    uint32_t Volume() const { return volume_.load(std::memory_order_relaxed); }
    // Ends the driver, closing the PCM, within the budget; else lets it go.
    void Shutdown() { StopThread(); }

    MMResult open(uint32_t device, const WaveFormat& format) override {
        if (device != 0) return Fail(MMSYSERR_BADDEVICEID, 0);
        if (pcm_) return Fail(MMSYSERR_ALLOCATED, 0);
        if (format.formatTag != 1 || format.bitsPerSample != 16 || format.channels < 1 ||
            format.channels > 2 || format.samplesPerSec == 0 || format.blockAlign != format.channels * 2)
            return Fail(WAVERR_BADFORMAT, 0);

        snd_pcm_t* raw = nullptr;
        int err = snd_pcm_open(&raw, pcmName_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        if (err < 0) return Fail(ResultOfOpenError(err), err);
        PcmHandle pcm(raw);

        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        unsigned bufferMicros = bufferMicros_, periodMicros = bufferMicros_ / 4;
        int dir = 0;
        if ((err = snd_pcm_hw_params_any(pcm.get(), hw)) < 0 ||
            (err = snd_pcm_hw_params_set_access(pcm.get(), hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
            (err = snd_pcm_hw_params_set_format(pcm.get(), hw, SND_PCM_FORMAT_S16_LE)) < 0 ||
            (err = snd_pcm_hw_params_set_channels(pcm.get(), hw, format.channels)) < 0 ||
            (err = snd_pcm_hw_params_set_rate(pcm.get(), hw, format.samplesPerSec, 0)) < 0)
            return Fail(WAVERR_BADFORMAT, err);
        // Wishes: a device that cannot meet them keeps its own sizes.
        snd_pcm_hw_params_set_buffer_time_near(pcm.get(), hw, &bufferMicros, &dir);
        snd_pcm_hw_params_set_period_time_near(pcm.get(), hw, &periodMicros, &dir);
        if ((err = snd_pcm_hw_params(pcm.get(), hw)) < 0) return Fail(WAVERR_BADFORMAT, err);
        snd_pcm_uframes_t period = 0, buffer = 0;
        if (snd_pcm_hw_params_get_period_size(hw, &period, &dir) < 0 || period == 0)
            period = format.samplesPerSec / 20;
        if (snd_pcm_hw_params_get_buffer_size(hw, &buffer) < 0 || buffer < period) buffer = period * 4;

        // Start as soon as one period is in, so that a short range plays too.
        snd_pcm_sw_params_t* sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        if (snd_pcm_sw_params_current(pcm.get(), sw) >= 0) {
            snd_pcm_sw_params_set_start_threshold(pcm.get(), sw, period);
            snd_pcm_sw_params_set_avail_min(pcm.get(), sw, period);
            snd_pcm_sw_params(pcm.get(), sw);
        }

        channels_ = format.channels;
        periodFrames_ = period;
        waitMillis_ = std::max(1, static_cast<int>(period * 1000 / format.samplesPerSec));
        scratch_.assign(static_cast<size_t>(buffer) * channels_, 0);
        {
            std::lock_guard lk(mu_);
            queue_.clear();
            pending_.clear();
            frontOffset_ = 0;
            run_ = quit_ = false;
            idle_ = true;
            failure_ = MMSYSERR_NOERROR;
            failureAlsaError_ = 0;
            // Errors of the device closed before count nothing against this one.
            errorsInARow_ = 0;
            stats_ = PlaybackStats{};
        }
        pcm_ = std::move(pcm);
        try {
            ended_ = false;
            driver_ = std::thread([self = shared_from_this()] { self->DriverLoop(); });
        } catch (const std::system_error&) {
            pcm_.reset();
            return Fail(MMSYSERR_NOMEM, -EAGAIN);
        }
        return MMSYSERR_NOERROR;
    }

    MMResult prepareHeader(WaveOutHeader& h) override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        h.flags.fetch_or(WHDR_PREPARED, std::memory_order_acq_rel);
        return MMSYSERR_NOERROR;
    }

    MMResult write(WaveOutHeader& h) override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        std::lock_guard lk(mu_);
        const uint32_t f = h.flags.load(std::memory_order_acquire);
        if (!(f & WHDR_PREPARED)) return WAVERR_UNPREPARED;
        if (f & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
        h.flags.store((f & ~WHDR_DONE) | WHDR_INQUEUE, std::memory_order_release);
        queue_.push_back(&h);
        run_ = true;
        cv_.notify_all();
        return MMSYSERR_NOERROR;
    }

    MMResult reset() override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        std::unique_lock lk(mu_);
        run_ = false;
        cv_.notify_all();
        // Once idle, the thread has dropped what the PCM held and touches no buffer.
        if (!cv_.wait_for(lk, kDriverAnswerBudget, [this] { return idle_; })) {
            Abandon(lk);
            return MMSYSERR_NOERROR;
        }
        for (WaveOutHeader* h : queue_) Complete(*h);
        for (const Pending& p : pending_) Complete(*p.header);
        queue_.clear();
        pending_.clear();
        frontOffset_ = 0;
        stats_.framesWritten = stats_.framesPlayed = 0;
        return MMSYSERR_NOERROR;
    }

    MMResult unprepareHeader(WaveOutHeader& h) override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        std::lock_guard lk(mu_);
        if (h.flags.load(std::memory_order_acquire) & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
        h.flags.fetch_and(~WHDR_PREPARED, std::memory_order_acq_rel);
        return MMSYSERR_NOERROR;
    }

    MMResult close() override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        {
            std::lock_guard lk(mu_);
            if (!queue_.empty() || !pending_.empty()) return Fail(WAVERR_STILLPLAYING, 0);
        }
        StopThread();
        return MMSYSERR_NOERROR;
    }

    MMResult getVolume(uint32_t& volume) override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        volume = volume_.load(std::memory_order_relaxed);
        return MMSYSERR_NOERROR;
    }

    MMResult setVolume(uint32_t volume) override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        volume_.store(volume, std::memory_order_relaxed);
        return MMSYSERR_NOERROR;
    }

    std::string getErrorText(MMResult result) override {
        std::string text = WaveOutErrorText(result);
        int alsaError = 0;
        {
            std::lock_guard lk(mu_);
            if (result == failure_) alsaError = failureAlsaError_;
        }
        if (alsaError == 0 && result == lastResult_) alsaError = lastAlsaError_;
        if (alsaError < 0) text += " (" + pcmName_ + ": " + snd_strerror(alsaError) + ")";
        return text;
    }

    MMResult failure() override {
        std::lock_guard lk(mu_);
        return failure_;
    }

    PlaybackStats playbackStats() const override {
        std::lock_guard lk(mu_);
        return stats_;
    }

private:
    struct Pending {
        WaveOutHeader* header;
        uint64_t endFrame;  // framesWritten once its last frame was handed to the PCM
    };

    MMResult Fail(MMResult result, int alsaError) {
        lastResult_ = result;
        lastAlsaError_ = alsaError;
        return result;
    }

    static void Complete(WaveOutHeader& h) {
        const uint32_t f = h.flags.load(std::memory_order_relaxed);
        h.flags.store((f & ~WHDR_INQUEUE) | WHDR_DONE, std::memory_order_release);
    }

    // The thread closes the PCM as it ends (a close drops what the PCM
    // holds, which waits for a sound server).
    void StopThread() {
        if (!driver_.joinable()) return;
        std::unique_lock lk(mu_);
        quit_ = true;
        run_ = false;
        cv_.notify_all();
        if (!cv_.wait_for(lk, kDriverAnswerBudget, [this] { return ended_; })) {
            Abandon(lk);
            return;
        }
        lk.unlock();
        driver_.join();
    }

    // With mu_ held, on the program thread: every buffer handed back, the
    // thread let go with its PCM. It finds quit_ when its call returns.
    void Abandon(std::unique_lock<std::mutex>& lk) {
        quit_ = true;
        run_ = false;
        for (WaveOutHeader* h : queue_) Complete(*h);
        for (const Pending& p : pending_) Complete(*p.header);
        queue_.clear();
        pending_.clear();
        frontOffset_ = 0;
        letGo_ = true;
        cv_.notify_all();
        lk.unlock();
        driver_.detach();
    }

    // With mu_ held. Underruns and suspends are recovered; only a device
    // that keeps failing is given up.
    void Recover(std::unique_lock<std::mutex>& lk, int err, bool counted) {
        stats_.lastDriverError = err;
        if (err == -EPIPE && counted) ++stats_.underruns;
        lk.unlock();
        int e = snd_pcm_recover(pcm_.get(), err, 1);
        if (e < 0) e = snd_pcm_prepare(pcm_.get());
        lk.lock();
        // Whatever the PCM held is gone or played.
        stats_.framesPlayed = stats_.framesWritten;
        CompletePlayed();
        if (e < 0 || (err != -EPIPE && ++errorsInARow_ >= kMaxErrorsInARow)) {
            failure_ = MMSYSERR_ERROR;
            failureAlsaError_ = e < 0 ? e : err;
        }
    }

    // With mu_ held: done flags for every buffer the device has played.
    void CompletePlayed() {
        while (!pending_.empty() && pending_.front().endFrame <= stats_.framesPlayed) {
            Complete(*pending_.front().header);
            pending_.pop_front();
        }
    }

    // With mu_ held: frames played = frames written − the PCM's delay.
    // Returns false when the PCM ran dry or failed (and was recovered).
    bool TakeMeasure(std::unique_lock<std::mutex>& lk, int err, snd_pcm_sframes_t delay) {
        stats_.measuredAt = std::chrono::steady_clock::now();
        if (err == -EPIPE) {
            // Ran dry: everything written has been played. Only a dry device
            // with buffers still waiting counts as an underrun.
            Recover(lk, -EPIPE, !queue_.empty());
            return false;
        }
        if (err < 0) {
            Recover(lk, err, true);
            return false;
        }
        const uint64_t held = static_cast<uint64_t>(std::max<snd_pcm_sframes_t>(0, delay));
        uint64_t played = stats_.framesWritten > held ? stats_.framesWritten - held : 0;
        // With nothing more to write, only a drain says the last frame was heard.
        if (queue_.empty() && played >= stats_.framesWritten && played > 0) played = stats_.framesWritten - 1;
        stats_.framesPlayed = std::max(stats_.framesPlayed, played);
        CompletePlayed();
        return true;
    }

    // One wake-up with buffers queued, with mu_ held: wait until a period
    // has room, mark what has been played, then write as much of the queue
    // as fits. One avail-and-delay query per period keeps the cost down.
    void Service(std::unique_lock<std::mutex>& lk) {
        lk.unlock();
        snd_pcm_sframes_t avail = 0, delay = 0;
        int err = 0;
        // Full after the last write: sleep first, then look once.
        if (full_ && snd_pcm_state(pcm_.get()) == SND_PCM_STATE_RUNNING) err = snd_pcm_wait(pcm_.get(), waitMillis_);
        if (err >= 0) err = snd_pcm_avail_delay(pcm_.get(), &avail, &delay);
        lk.lock();
        full_ = false;
        if (!TakeMeasure(lk, err, delay)) return;

        const uint32_t frameBytes = channels_ * 2;
        while (avail > 0 && run_ && !queue_.empty()) {
            WaveOutHeader* h = queue_.front();
            const uint32_t totalFrames = h->bufferLength / frameBytes;
            const uint32_t doneFrames = frontOffset_ / frameBytes;
            if (doneFrames >= totalFrames) {
                queue_.pop_front();
                frontOffset_ = 0;
                pending_.push_back({h, stats_.framesWritten});
                continue;
            }
            const uint8_t* src = h->data + frontOffset_;
            const auto want = std::min<snd_pcm_uframes_t>(
                {static_cast<snd_pcm_uframes_t>(avail), totalFrames - doneFrames, scratch_.size() / channels_});
            // Copied with the lock held: the PCM's calls may outlast a reset
            // that hands the buffer back.
            const uint32_t vol = volume_.load(std::memory_order_relaxed);
            if (vol == WaveOutFullVolume) {
                std::memcpy(scratch_.data(), src, want * frameBytes);
            } else {
                const uint32_t gains[2] = {vol & 0xFFFF, vol >> 16};
                for (size_t i = 0; i < want * channels_; ++i) {
                    int16_t sample;
                    std::memcpy(&sample, src + 2 * i, 2);
                    scratch_[i] = Scale(sample, gains[i % channels_]);
                }
            }
            lk.unlock();
            const snd_pcm_sframes_t n = snd_pcm_writei(pcm_.get(), scratch_.data(), want);
            if (n == -EAGAIN) snd_pcm_wait(pcm_.get(), waitMillis_);  // never spin on a busy device
            lk.lock();
            if (quit_) return;  // let go meanwhile: h is no longer ours
            if (n == -EAGAIN || n == 0) break;
            if (n < 0) {
                Recover(lk, static_cast<int>(n), true);
                return;
            }
            errorsInARow_ = 0;
            avail -= n;
            stats_.framesWritten += static_cast<uint64_t>(n);
            frontOffset_ += static_cast<uint32_t>(n) * frameBytes;
            if (frontOffset_ / frameBytes >= totalFrames) {
                queue_.pop_front();
                frontOffset_ = 0;
                pending_.push_back({h, stats_.framesWritten});
            }
        }
        full_ = avail >= 0 && static_cast<snd_pcm_uframes_t>(avail) < periodFrames_;
        if (queue_.empty() && stats_.framesWritten > 0) {
            // A range shorter than the start threshold must play too.
            lk.unlock();
            if (snd_pcm_state(pcm_.get()) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm_.get());
            lk.lock();
        }
    }

    // With mu_ held and nothing queued: waits, unlocked, until the PCM has
    // played every frame written (a sound server acknowledges only then), so
    // a reset meanwhile waits for what the delay left out. Then the PCM is
    // ready for more.
    void Drain(std::unique_lock<std::mutex>& lk) {
        lk.unlock();
        snd_pcm_nonblock(pcm_.get(), 0);
        const int err = snd_pcm_drain(pcm_.get());
        snd_pcm_nonblock(pcm_.get(), 1);
        lk.lock();
        if (err < 0) {
            Recover(lk, err, false);
            return;
        }
        lk.unlock();
        const int e = snd_pcm_prepare(pcm_.get());
        lk.lock();
        full_ = false;
        stats_.framesPlayed = stats_.framesWritten;
        CompletePlayed();
        if (e < 0) Recover(lk, e, false);
    }

    void DriverLoop() {
        std::unique_lock lk(mu_);
        bool active = false;  // the PCM holds or plays something of ours
        while (!quit_) {
            if (!run_ || failure_ != MMSYSERR_NOERROR) {
                if (active) {
                    lk.unlock();
                    snd_pcm_drop(pcm_.get());
                    snd_pcm_prepare(pcm_.get());
                    lk.lock();
                    active = false;
                    full_ = false;
                }
                idle_ = true;
                cv_.notify_all();
                cv_.wait(lk, [this] { return quit_ || (run_ && failure_ == MMSYSERR_NOERROR); });
                continue;
            }
            idle_ = false;
            if (!queue_.empty()) {
                active = true;
                Service(lk);
            } else if (!pending_.empty()) {
                // Nothing more to write: watch the tail go, a period at a time.
                cv_.wait_for(lk, std::chrono::milliseconds(waitMillis_),
                             [this] { return quit_ || !run_ || !queue_.empty(); });
                if (!run_ || quit_) continue;
                lk.unlock();
                snd_pcm_sframes_t avail = 0, delay = 0;
                const int err = snd_pcm_avail_delay(pcm_.get(), &avail, &delay);
                lk.lock();
                // Within a period of the end by the delay: play the rest out.
                if (TakeMeasure(lk, err, delay) && queue_.empty() &&
                    stats_.framesWritten - stats_.framesPlayed <= periodFrames_)
                    Drain(lk);
            } else {
                cv_.wait(lk, [this] { return quit_ || !run_ || !queue_.empty(); });
            }
        }
        lk.unlock();
        if (active) snd_pcm_drop(pcm_.get());
        pcm_.reset();
        lk.lock();
        idle_ = ended_ = true;
        cv_.notify_all();
    }

    const std::string pcmName_;
    const unsigned bufferMicros_;

    // Program thread only.
    MMResult lastResult_ = MMSYSERR_NOERROR;
    int lastAlsaError_ = 0;

    // Set while open; the thread uses the PCM, the program only opens and closes it.
    PcmHandle pcm_;
    uint32_t channels_ = 2;
    snd_pcm_uframes_t periodFrames_ = 2205;
    int waitMillis_ = 50;
    std::vector<int16_t> scratch_;  // gain output, thread only
    bool full_ = false;             // thread only: the last write left less than a period of room
    std::thread driver_;
    std::atomic<uint32_t> volume_{WaveOutFullVolume};

    // Shared with the driver thread.
    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::deque<WaveOutHeader*> queue_;  // written by the program, not yet all in the PCM
    std::deque<Pending> pending_;       // all in the PCM, not yet played
    uint32_t frontOffset_ = 0;          // bytes of the front buffer already in the PCM
    bool run_ = false;                  // buffers written since open or the last reset
    bool quit_ = false;
    bool idle_ = true;
    bool ended_ = true;   // the thread has closed the PCM and ends
    bool letGo_ = false;  // see LetGo
    int errorsInARow_ = 0;
    MMResult failure_ = MMSYSERR_NOERROR;
    int failureAlsaError_ = 0;
    PlaybackStats stats_;
};

// The device the program holds: its driver, and a fresh one in place of a
// driver that was let go. Until the program closes it, a device whose driver
// was let go is failed: it takes no buffer, and reset has nothing to hand back.
class AlsaWaveOut final : public WaveOut, public PlaybackStatsSource {
public:
    AlsaWaveOut(std::string pcmName, unsigned bufferMillis)
        : pcmName_(std::move(pcmName)), bufferMillis_(bufferMillis), driver_(NewDriver()) {}
    ~AlsaWaveOut() override { driver_->Shutdown(); }

    MMResult open(uint32_t device, const WaveFormat& format) override {
        if (failed_) return MMSYSERR_ALLOCATED;
        return driver_->open(device, format);
    }
    MMResult prepareHeader(WaveOutHeader& h) override {
        if (!failed_) return driver_->prepareHeader(h);
        h.flags.fetch_or(WHDR_PREPARED, std::memory_order_acq_rel);
        return MMSYSERR_NOERROR;
    }
    MMResult write(WaveOutHeader& h) override {
        if (failed_) return MMSYSERR_ERROR;
        return driver_->write(h);
    }
    MMResult reset() override {
        if (failed_) return MMSYSERR_NOERROR;
        const MMResult r = driver_->reset();
        Replace(true);
        return r;
    }
    MMResult unprepareHeader(WaveOutHeader& h) override {
        if (!failed_) return driver_->unprepareHeader(h);
        h.flags.fetch_and(~WHDR_PREPARED, std::memory_order_acq_rel);
        return MMSYSERR_NOERROR;
    }
    MMResult close() override {
        if (failed_) {
            failed_ = false;
            return MMSYSERR_NOERROR;
        }
        const MMResult r = driver_->close();
        if (driver_->LetGo()) {
            Replace(false);
            return MMSYSERR_NOERROR;
        }
        return r;
    }
    MMResult getVolume(uint32_t& volume) override {
        if (!failed_) return driver_->getVolume(volume);
        volume = driver_->Volume();
        return MMSYSERR_NOERROR;
    }
    MMResult setVolume(uint32_t volume) override {
        if (!failed_) return driver_->setVolume(volume);
        driver_->KeepVolume(volume);
        return MMSYSERR_NOERROR;
    }
    std::string getErrorText(MMResult result) override {
        if (failed_ && result == MMSYSERR_ERROR) return WaveOutErrorText(result) + " (" + pcmName_ + ": not answering)";
        return driver_->getErrorText(result);
    }
    MMResult failure() override { return failed_ ? MMSYSERR_ERROR : driver_->failure(); }
    PlaybackStats playbackStats() const override { return driver_->playbackStats(); }

private:
    std::shared_ptr<PlaybackDriver> NewDriver() const {
        return std::make_shared<PlaybackDriver>(pcmName_, bufferMillis_);
    }

    // A driver that was let go gives way to a fresh one with the same volume.
    void Replace(bool stillOpen) {
        if (!driver_->LetGo()) return;
        auto fresh = NewDriver();
        fresh->KeepVolume(driver_->Volume());
        driver_ = std::move(fresh);
        failed_ = stillOpen;
    }

    const std::string pcmName_;
    const unsigned bufferMillis_;
    std::shared_ptr<PlaybackDriver> driver_;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<WaveOut> makeAlsaWaveOut(const std::string& pcmName, unsigned bufferMillis) {
    return std::make_unique<AlsaWaveOut>(pcmName, bufferMillis);
}

}  // namespace orv::platform

// Wave-in over an ALSA capture PCM. A driver thread reads a period at a time
// and copies it, with the lock held, into the queued buffers, front first; it
// publishes each header's bytes-recorded field with a release store after the
// bytes are in place; the program only polls the headers. Since the driver
// touches a buffer only under the lock and closes the PCM itself when it
// ends, a driver stuck in a call to a stopped server can be let go (see
// kDriverAnswerBudget) without a thread left writing into the program's buffers.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/alsa_pcm.h"
#include "platform/alsa_stats.h"
#include "platform/source_name.h"
#include "platform/wave_error_text.h"
#include "platform/wave_in.h"

namespace orv::platform {
namespace {

using namespace std::chrono_literals;

struct HwParamsFree {
    void operator()(snd_pcm_hw_params_t* p) const { snd_pcm_hw_params_free(p); }
};
using HwParams = std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree>;

HwParams AllocHwParams() {
    snd_pcm_hw_params_t* p = nullptr;
    if (snd_pcm_hw_params_malloc(&p) < 0) return nullptr;
    return HwParams(p);
}

struct CtlClose {
    void operator()(snd_ctl_t* c) const { snd_ctl_close(c); }
};

constexpr unsigned kPeriodMicros = 100000;  // ~100 ms per read: one read per block, few wake-ups
constexpr unsigned kBufferMicros = 1000000; // ~1 s before the device overruns
constexpr int kWaitMillis = 100;            // longest a stop request waits for the thread
constexpr auto kProbeLifetime = 1s;         // the engine asks every 200 ms

// The twelve classic format bits: 11.025, 22.05, 44.1 kHz × mono/stereo × 8/16 bit.
struct FormatBit {
    uint32_t bit;
    unsigned rate;
    unsigned channels;
    snd_pcm_format_t format;
};
constexpr std::array<FormatBit, 12> kFormatBits{{
    {0x001, 11025, 1, SND_PCM_FORMAT_U8},  {0x002, 11025, 2, SND_PCM_FORMAT_U8},
    {0x004, 11025, 1, SND_PCM_FORMAT_S16_LE}, {0x008, 11025, 2, SND_PCM_FORMAT_S16_LE},
    {0x010, 22050, 1, SND_PCM_FORMAT_U8},  {0x020, 22050, 2, SND_PCM_FORMAT_U8},
    {0x040, 22050, 1, SND_PCM_FORMAT_S16_LE}, {0x080, 22050, 2, SND_PCM_FORMAT_S16_LE},
    {0x100, 44100, 1, SND_PCM_FORMAT_U8},  {0x200, 44100, 2, SND_PCM_FORMAT_U8},
    {0x400, 44100, 1, SND_PCM_FORMAT_S16_LE}, {0x800, 44100, 2, SND_PCM_FORMAT_S16_LE},
}};

std::string BaseErrorText(MMResult result) { return WaveInErrorText(result); }

// A readable, stable name: the sound card's (or the control plugin's) name,
// else the PCM name. The engine compares it every tick, so it must not vary.
std::string ReadableName(snd_pcm_t* pcm, const std::string& pcmName) {
    snd_pcm_info_t* info = nullptr;
    if (snd_pcm_info_malloc(&info) >= 0) {
        int card = -1;
        if (snd_pcm_info(pcm, info) >= 0) card = snd_pcm_info_get_card(info);
        snd_pcm_info_free(info);
        if (card >= 0) {
            char* name = nullptr;
            if (snd_card_get_name(card, &name) >= 0 && name) {
                std::string result(name);
                std::free(name);
                if (!result.empty()) return result;
            }
        }
    }
    snd_ctl_t* rawCtl = nullptr;
    if (snd_ctl_open(&rawCtl, pcmName.c_str(), SND_CTL_NONBLOCK) >= 0) {
        std::unique_ptr<snd_ctl_t, CtlClose> ctl(rawCtl);
        snd_ctl_card_info_t* ci = nullptr;
        if (snd_ctl_card_info_malloc(&ci) >= 0) {
            std::string result;
            if (snd_ctl_card_info(ctl.get(), ci) >= 0) result = snd_ctl_card_info_get_name(ci);
            snd_ctl_card_info_free(ci);
            if (!result.empty()) return result;
        }
    }
    return pcmName;
}

WaveInCaps ProbeCaps(snd_pcm_t* pcm, const std::string& name) {
    WaveInCaps caps;
    std::strncpy(caps.name, name.c_str(), sizeof caps.name - 1);
    HwParams any = AllocHwParams();
    HwParams trial = AllocHwParams();
    if (!any || !trial || snd_pcm_hw_params_any(pcm, any.get()) < 0) return caps;
    for (const FormatBit& f : kFormatBits) {
        snd_pcm_hw_params_copy(trial.get(), any.get());
        if (snd_pcm_hw_params_set_access(pcm, trial.get(), SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
            snd_pcm_hw_params_set_format(pcm, trial.get(), f.format) >= 0 &&
            snd_pcm_hw_params_set_channels(pcm, trial.get(), f.channels) >= 0 &&
            snd_pcm_hw_params_test_rate(pcm, trial.get(), f.rate, 0) >= 0) {
            caps.formats |= f.bit;
            caps.channels = std::max<uint16_t>(caps.channels, static_cast<uint16_t>(f.channels));
        }
    }
    return caps;
}

// One device with its driver thread; shared with that thread, so that a
// driver that was let go keeps what it uses until it ends.
class CaptureDriver final : public WaveIn, public CaptureStatsSource,
                            public std::enable_shared_from_this<CaptureDriver> {
public:
    CaptureDriver(std::string pcmName, std::unique_ptr<SourceNames> names, DeviceZeroName deviceName)
        : pcmName_(std::move(pcmName)), names_(std::move(names)), deviceName_(std::move(deviceName)) {}
    ~CaptureDriver() override { pcm_.reset(); }

    // The driver did not answer in time: the buffers were handed back and the
    // thread let go. Only the names may still be taken from this object.
    bool LetGo() const { return letGo_; }
    std::unique_ptr<SourceNames> TakeNames() { return std::move(names_); }
    const DeviceZeroName& DeviceName() const { return deviceName_; }
    // Ends the driver, closing the PCM, within the budget; else lets it go.
    void Shutdown() { StopThread(); }

    uint32_t getNumDevs() override { return Probe() ? 1 : 0; }

    MMResult getDevCaps(uint32_t device, WaveInCaps& caps) override {
        if (device != 0 || !Probe()) return MMSYSERR_BADDEVICEID;
        caps = probeCaps_;
        return MMSYSERR_NOERROR;
    }

    MMResult open(uint32_t device, const WaveFormat& format) override {
        if (device != 0) return Fail(MMSYSERR_BADDEVICEID, 0);
        if (pcm_) return Fail(MMSYSERR_ALLOCATED, 0);
        snd_pcm_format_t sampleFormat = SND_PCM_FORMAT_UNKNOWN;
        if (format.bitsPerSample == 16) sampleFormat = SND_PCM_FORMAT_S16_LE;
        if (format.bitsPerSample == 8) sampleFormat = SND_PCM_FORMAT_U8;
        if (format.formatTag != 1 || format.channels < 1 || format.channels > 2 ||
            sampleFormat == SND_PCM_FORMAT_UNKNOWN || format.samplesPerSec == 0 ||
            format.blockAlign != format.channels * format.bitsPerSample / 8)
            return Fail(WAVERR_BADFORMAT, 0);

        snd_pcm_t* raw = nullptr;
        int err = snd_pcm_open(&raw, pcmName_.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
        if (err < 0) return Fail(ResultOfOpenError(err), err);
        PcmHandle pcm(raw);

        HwParams hw = AllocHwParams();
        if (!hw) return Fail(MMSYSERR_NOMEM, -ENOMEM);
        unsigned periodMicros = kPeriodMicros, bufferMicros = kBufferMicros;
        int dir = 0;
        if ((err = snd_pcm_hw_params_any(pcm.get(), hw.get())) < 0 ||
            (err = snd_pcm_hw_params_set_access(pcm.get(), hw.get(), SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
            (err = snd_pcm_hw_params_set_format(pcm.get(), hw.get(), sampleFormat)) < 0 ||
            (err = snd_pcm_hw_params_set_channels(pcm.get(), hw.get(), format.channels)) < 0 ||
            (err = snd_pcm_hw_params_set_rate(pcm.get(), hw.get(), format.samplesPerSec, 0)) < 0)
            return Fail(WAVERR_BADFORMAT, err);
        // Sizes are wishes: a device that cannot meet them keeps its own.
        snd_pcm_hw_params_set_buffer_time_near(pcm.get(), hw.get(), &bufferMicros, &dir);
        snd_pcm_hw_params_set_period_time_near(pcm.get(), hw.get(), &periodMicros, &dir);
        if ((err = snd_pcm_hw_params(pcm.get(), hw.get())) < 0) return Fail(WAVERR_BADFORMAT, err);
        snd_pcm_uframes_t period = 0;
        if (snd_pcm_hw_params_get_period_size(hw.get(), &period, &dir) < 0 || period == 0)
            period = format.samplesPerSec / 50;

        frameBytes_ = format.blockAlign;
        rate_ = format.samplesPerSec;
        periodFrames_ = period;
        readBuffer_.assign(static_cast<size_t>(period) * frameBytes_, 0);
        {
            std::lock_guard lk(mu_);
            queue_.clear();
            run_ = false;
            quit_ = false;
            idle_ = true;
            stats_ = CaptureStats{};
            error_.clear();
            ended_ = false;
        }
        pcm_ = std::move(pcm);
        try {
            driver_ = std::thread([self = shared_from_this()] { self->DriverLoop(); });
        } catch (const std::system_error&) {
            pcm_.reset();
            return Fail(MMSYSERR_NOMEM, -EAGAIN);
        }
        return MMSYSERR_NOERROR;
    }

    MMResult prepareHeader(WaveHeader& h) override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        std::lock_guard lk(mu_);
        h.flags |= WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }

    MMResult addBuffer(WaveHeader& h) override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        std::lock_guard lk(mu_);
        if (!(h.flags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
        if (h.flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
        h.flags = (h.flags & ~WHDR_DONE) | WHDR_INQUEUE;
        queue_.push_back(&h);
        cv_.notify_all();
        return MMSYSERR_NOERROR;
    }

    MMResult start() override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        std::lock_guard lk(mu_);
        run_ = true;
        cv_.notify_all();
        return MMSYSERR_NOERROR;
    }

    MMResult reset() override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        std::unique_lock lk(mu_);
        run_ = false;
        cv_.notify_all();
        // Once idle, the thread has dropped the PCM and touches no buffer.
        if (!cv_.wait_for(lk, kDriverAnswerBudget, [this] { return idle_; })) {
            Abandon(lk);
            return MMSYSERR_NOERROR;
        }
        for (WaveHeader* h : queue_) h->flags = (h->flags & ~WHDR_INQUEUE) | WHDR_DONE;
        queue_.clear();
        return MMSYSERR_NOERROR;
    }

    MMResult unprepareHeader(WaveHeader& h) override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        std::lock_guard lk(mu_);
        if (h.flags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
        h.flags &= ~WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }

    MMResult close() override {
        if (!pcm_) return MMSYSERR_INVALHANDLE;
        {
            std::lock_guard lk(mu_);
            if (!queue_.empty()) return Fail(WAVERR_STILLPLAYING, 0);
        }
        StopThread();
        return MMSYSERR_NOERROR;
    }

    std::string getErrorText(MMResult result) override {
        std::string text = BaseErrorText(result);
        if (result == lastResult_ && lastAlsaError_ < 0)
            text += " (" + pcmName_ + ": " + snd_strerror(lastAlsaError_) + ")";
        return text;
    }

    std::string deviceError() override {
        std::lock_guard lk(mu_);
        return error_;
    }

    CaptureStats captureStats() const override {
        std::lock_guard lk(mu_);
        return stats_;
    }

private:
    MMResult Fail(MMResult result, int alsaError) {
        lastResult_ = result;
        lastAlsaError_ = alsaError;
        return result;
    }

    // Opens the PCM for a moment to learn whether it exists and what it takes.
    bool Probe() {
        const auto now = std::chrono::steady_clock::now();
        if (probedAt_ && now - *probedAt_ < kProbeLifetime) return probeOk_;
        // While our own PCM delivers, the device is there and takes what it
        // took: only the server's default source can have changed. Opening a
        // second PCM each time (a new server connection) would cost more than
        // the capture itself.
        if (pcm_ && probeOk_ && Delivering()) {
            const std::string name =
                names_ ? deviceName_.choose(names_->defaultSource(), probeAlsaName_) : probeAlsaName_;
            probeCaps_.name[0] = '\0';
            std::strncat(probeCaps_.name, name.c_str(), sizeof probeCaps_.name - 1);
            probedAt_ = now;
            return true;
        }
        snd_pcm_t* raw = nullptr;
        const int err = snd_pcm_open(&raw, pcmName_.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
        if (err >= 0) {
            PcmHandle pcm(raw);
            const std::string alsaName = ReadableName(pcm.get(), pcmName_);
            probeAlsaName_ = alsaName;
            const std::string name = names_ ? deviceName_.choose(names_->defaultSource(), alsaName) : alsaName;
            probeCaps_ = ProbeCaps(pcm.get(), name);
            probeOk_ = true;
        } else {
            // A device that we hold open ourselves is still there, with the caps seen last.
            probeOk_ = err == -EBUSY && pcm_ != nullptr;
        }
        probedAt_ = now;
        return probeOk_;
    }

    bool Delivering() {
        std::lock_guard lk(mu_);
        return run_ && error_.empty();
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

    // With mu_ held, on the program thread: every buffer handed back with
    // what it holds, the thread let go with its PCM. It finds quit_ when its
    // call returns.
    void Abandon(std::unique_lock<std::mutex>& lk) {
        quit_ = true;
        run_ = false;
        for (WaveHeader* h : queue_) h->flags = (h->flags & ~WHDR_INQUEUE) | WHDR_DONE;
        queue_.clear();
        letGo_ = true;
        cv_.notify_all();
        lk.unlock();
        driver_.detach();
    }

    // Moves the PCM from wherever it is to running.
    int StartPcm() {
        snd_pcm_t* pcm = pcm_.get();
        int err = 0;
        const snd_pcm_state_t state = snd_pcm_state(pcm);
        if (state == SND_PCM_STATE_RUNNING) return 0;
        if (state != SND_PCM_STATE_PREPARED && (err = snd_pcm_prepare(pcm)) < 0) return err;
        return snd_pcm_start(pcm);
    }

    // Overruns and suspends are recovered and counted; nothing here is fatal.
    // Returns false when the device could not be brought back this time.
    bool Recover(int err) {
        {
            std::lock_guard lk(mu_);
            if (err == -EPIPE) ++stats_.overruns;
            stats_.lastDriverError = err;
        }
        // Whatever arrived since the last read is gone with the recovery.
        if (!lostSince_) lostSince_ = lastReadAt_;
        int e = snd_pcm_recover(pcm_.get(), err, 1);
        if (e < 0) e = snd_pcm_prepare(pcm_.get());
        if (e >= 0) e = StartPcm();
        if (e < 0) {
            std::lock_guard lk(mu_);
            stats_.lastDriverError = e;
        }
        return e >= 0;
    }

    // Reads what the device has, at most `want` frames. Returns the frames
    // read, 0 when none came, -1 when the device is failing.
    snd_pcm_sframes_t ReadSome(uint8_t* dest, snd_pcm_uframes_t want) {
        const int ready = snd_pcm_wait(pcm_.get(), kWaitMillis);
        if (ready < 0) return Recover(ready) ? 0 : -1;
        if (ready == 0) return 0;
        const snd_pcm_sframes_t n = snd_pcm_readi(pcm_.get(), dest, want);
        if (n == -EAGAIN) return 0;
        if (n < 0) return Recover(static_cast<int>(n)) ? 0 : -1;
        return n;
    }

    // With mu_ held.
    void SetError(int alsaError) {
        error_ = BaseErrorText(MMSYSERR_ERROR) + " (" + pcmName_ + ": " +
                 snd_strerror(alsaError < 0 ? alsaError : -EIO) + ")";
    }

    // With mu_ held: the front buffer is full.
    void CompleteFront() {
        WaveHeader* h = queue_.front();
        h->flags = (h->flags & ~WHDR_INQUEUE) | WHDR_DONE;
        queue_.pop_front();
    }

    void DriverLoop() {
        std::unique_lock lk(mu_);
        bool pcmRunning = false;
        while (!quit_) {
            if (!run_) {
                // Unlocked: through a stopped server's plug-in a drop waits without end.
                if (pcmRunning) {
                    lk.unlock();
                    snd_pcm_drop(pcm_.get());
                    lk.lock();
                    pcmRunning = false;
                    if (quit_) break;
                }
                // A stopped device loses nothing that anyone asked for.
                lostSince_.reset();
                inDropGap_ = false;
                idle_ = true;
                cv_.notify_all();
                cv_.wait(lk, [this] { return quit_ || run_; });
                continue;
            }
            idle_ = false;
            if (!pcmRunning) {
                lk.unlock();
                const int err = StartPcm();
                lk.lock();
                if (quit_) break;
                if (err < 0) {
                    stats_.lastDriverError = err;
                    SetError(err);
                    cv_.wait_for(lk, std::chrono::milliseconds(kWaitMillis),
                                 [this] { return quit_ || !run_; });
                    continue;
                }
                pcmRunning = true;
                if (!lostSince_) lastReadAt_ = std::chrono::steady_clock::now();
            }

            // Pick the target: the front buffer where its fill stands, else
            // nowhere, so the device never overruns for want of a reader.
            WaveHeader* h = nullptr;
            uint32_t filled = 0;
            snd_pcm_uframes_t want = periodFrames_;
            if (!queue_.empty()) {
                h = queue_.front();
                filled = h->bytesRecorded.load(std::memory_order_relaxed);
                const uint32_t room = h->bufferLength > filled ? (h->bufferLength - filled) / frameBytes_ : 0;
                if (room == 0) {
                    CompleteFront();
                    continue;
                }
                want = std::min<snd_pcm_uframes_t>(want, room);
            }

            lk.unlock();
            const snd_pcm_sframes_t n = ReadSome(readBuffer_.data(), want);
            lk.lock();
            if (quit_) break;  // let go meanwhile: h is no longer ours
            if (h && n > 0) std::memcpy(h->data + filled, readBuffer_.data(), static_cast<size_t>(n) * frameBytes_);

            if (n < 0) {
                // The device is failing (gone, server down): retry slowly, and
                // say so until blocks flow again.
                SetError(stats_.lastDriverError);
                pcmRunning = false;
                cv_.wait_for(lk, std::chrono::milliseconds(kWaitMillis), [this] { return quit_ || !run_; });
                continue;
            }
            if (n == 0) continue;
            error_.clear();
            const auto readAt = std::chrono::steady_clock::now();
            if (lostSince_) {
                // The frames this read brought arrived in its last n frames' time.
                const double missed = std::chrono::duration<double>(readAt - *lostSince_).count() * rate_ - double(n);
                ++stats_.gaps;
                stats_.framesLost += missed > 0 ? static_cast<uint64_t>(missed) : 0;
                lostSince_.reset();
                inDropGap_ = false;
            }
            lastReadAt_ = readAt;
            if (h) {
                inDropGap_ = false;
                stats_.framesCaptured += static_cast<uint64_t>(n);
                const uint32_t now = filled + static_cast<uint32_t>(n) * frameBytes_;
                h->bytesRecorded.store(now, std::memory_order_release);
                if (h->bufferLength - now < frameBytes_) CompleteFront();
            } else {
                stats_.framesDropped += static_cast<uint64_t>(n);
                stats_.framesLost += static_cast<uint64_t>(n);
                if (!inDropGap_) ++stats_.gaps;
                inDropGap_ = true;
            }
        }
        lk.unlock();
        if (pcmRunning) snd_pcm_drop(pcm_.get());
        pcm_.reset();
        lk.lock();
        idle_ = ended_ = true;
        cv_.notify_all();
    }

    const std::string pcmName_;
    std::unique_ptr<SourceNames> names_;
    DeviceZeroName deviceName_;

    // Program thread only.
    std::optional<std::chrono::steady_clock::time_point> probedAt_;
    bool probeOk_ = false;
    std::string probeAlsaName_;
    WaveInCaps probeCaps_;
    MMResult lastResult_ = MMSYSERR_NOERROR;
    int lastAlsaError_ = 0;

    // Set while open; the thread uses the PCM, the program only opens and closes it.
    PcmHandle pcm_;
    uint32_t frameBytes_ = 4;
    snd_pcm_uframes_t periodFrames_ = 882;
    std::vector<uint8_t> readBuffer_;  // driver thread only: one period, copied on under the lock
    std::thread driver_;

    // Driver thread only: the end of the last read, the start of sound being
    // lost (recovery, failing device) and whether frames are being discarded.
    uint32_t rate_ = 44100;
    std::chrono::steady_clock::time_point lastReadAt_{};
    std::optional<std::chrono::steady_clock::time_point> lostSince_;
    bool inDropGap_ = false;

    // Shared with the driver thread.
    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::deque<WaveHeader*> queue_;  // in the order added; the front is being filled
    bool run_ = false;               // started and not reset
    bool quit_ = false;              // close: the thread ends
    bool idle_ = true;               // the thread waits and touches no buffer
    bool ended_ = true;              // the thread has closed the PCM and ends
    bool letGo_ = false;             // see LetGo
    CaptureStats stats_;
    std::string error_;  // the failure not yet got over, empty while blocks flow
};

// The device the program holds: its driver, and a fresh one in place of a
// driver that was let go. Until the program closes it, a device whose driver
// was let go is failed: it takes no buffer and says so in deviceError.
class AlsaWaveIn final : public WaveIn, public CaptureStatsSource {
public:
    AlsaWaveIn(std::string pcmName, std::unique_ptr<SourceNames> names)
        : pcmName_(std::move(pcmName)), driver_(std::make_shared<CaptureDriver>(pcmName_, std::move(names),
                                                                                 DeviceZeroName{})) {}
    ~AlsaWaveIn() override { driver_->Shutdown(); }

    uint32_t getNumDevs() override { return driver_->getNumDevs(); }
    MMResult getDevCaps(uint32_t device, WaveInCaps& caps) override { return driver_->getDevCaps(device, caps); }
    MMResult open(uint32_t device, const WaveFormat& format) override {
        if (failed_) return MMSYSERR_ALLOCATED;
        return driver_->open(device, format);
    }
    MMResult prepareHeader(WaveHeader& h) override {
        if (!failed_) return driver_->prepareHeader(h);
        h.flags |= WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }
    MMResult addBuffer(WaveHeader& h) override { return failed_ ? MMSYSERR_ERROR : driver_->addBuffer(h); }
    MMResult start() override { return failed_ ? MMSYSERR_ERROR : driver_->start(); }
    MMResult reset() override {
        if (failed_) return MMSYSERR_NOERROR;
        const MMResult r = driver_->reset();
        Replace(true);
        return r;
    }
    MMResult unprepareHeader(WaveHeader& h) override {
        if (!failed_) return driver_->unprepareHeader(h);
        h.flags &= ~WHDR_PREPARED;
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
    std::string getErrorText(MMResult result) override {
        if (failed_ && result == MMSYSERR_ERROR) return NotAnswering();
        return driver_->getErrorText(result);
    }
    std::string deviceError() override { return failed_ ? NotAnswering() : driver_->deviceError(); }
    CaptureStats captureStats() const override { return driver_->captureStats(); }

private:
    std::string NotAnswering() const { return BaseErrorText(MMSYSERR_ERROR) + " (" + pcmName_ + ": not answering)"; }

    // A driver that was let go gives way to a fresh one with the same names.
    void Replace(bool stillOpen) {
        if (!driver_->LetGo()) return;
        driver_ = std::make_shared<CaptureDriver>(pcmName_, driver_->TakeNames(), driver_->DeviceName());
        failed_ = stillOpen;
    }

    const std::string pcmName_;
    std::shared_ptr<CaptureDriver> driver_;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<WaveIn> makeAlsaWaveIn(const std::string& pcmName, std::unique_ptr<SourceNames> names) {
    return std::make_unique<AlsaWaveIn>(pcmName, std::move(names));
}

}  // namespace orv::platform

#include "record/recording_control.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <iterator>
#include <utility>

#include "platform/alsa_stats.h"
#include "platform/raw_file.h"
#include "record/time_text.h"

namespace orv {

const RecordingMode RecordingModes[RecordingModeCount] = {
    {"连续", false, 0, 3},
    {"Loop 3 min", true, 3, 3},
    {"Loop 5 min", true, 5, 5},
    {"Loop10 min", true, 10, 10},
    {"Loop15 min", true, 15, 15},
    {"Loop 20 min", true, 20, 20},
    {"Loop 30 min", true, 30, 30},
    {"Loop 60 min", true, 60, 60},
};

namespace {

constexpr const char* ProgramTitle = "Orvane Recorder";

// Raised for the lifetime of a scope; the timers keep running inside modal
// windows, so they must see what is open.
template <typename T>
class ScopedValue {
public:
    ScopedValue(T& target, T value) : target_(target), old_(std::exchange(target, value)) {}
    ~ScopedValue() { target_ = old_; }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    T& target_;
    T old_;
};

}  // namespace

std::string FormatFreeSpace(int64_t freeBytes, const std::string& decimalPoint) {
    if (freeBytes < 0) return {};  // unknown: better no text than a wrong one
    const int64_t k = freeBytes / 1024;
    if (k < 1'000'000)
        return "Free-" + std::to_string(RoundEven(static_cast<double>(k) / 1024)) + " MB";
    // to_chars ignores the C locale, so the separator is exactly the one given.
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<double>(k) / 1048576,
                                   std::chars_format::fixed, 2);
    std::string text(buf, res.ptr);
    if (const auto dot = text.find('.'); dot != std::string::npos) text.replace(dot, 1, decimalPoint);
    return "Free-" + text + " GB";
}

std::string FormatTimeOfDay(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    char buf[64];
    const size_t n = std::strftime(buf, sizeof buf, "%X", &local);
    return std::string(buf, n);
}

RecordingControl::RecordingControl(RecordingControlState& state, CaptureEngine& engine, CaptureHooks& hooks,
                                   ProcessingState& processing, RecordingView& view, platform::Clock& clock,
                                   platform::FreeSpace& freeSpace, std::string workingFolder,
                                   std::string decimalPoint)
    : st_(state),
      engine_(engine),
      cap_(engine.State()),
      proc_(processing),
      view_(view),
      clock_(clock),
      free_(freeSpace),
      workingFolder_(std::move(workingFolder)),
      decimalPoint_(std::move(decimalPoint)) {
    hooks.ShowMessage = [this](const std::string& text) {
        NoteEngineStop();
        Message(text);
    };
    hooks.Minimized = [this] { return view_.Minimized(); };
    hooks.PushWaveHistory = [this] { view_.PushWaveHistory(); };
    hooks.DrawTimeBarColumn = [this] { view_.DrawTimeBarColumn(); };
    hooks.DrawLiveDisplays = [this] { view_.DrawLiveDisplays(); };
}

void RecordingControl::Message(const std::string& text) {
    if (caught_) {
        *caught_ = text;
        return;
    }
    if (st_.QuietMessages) return;
    if (st_.MessageDepth > 0) {
        st_.PendingMessages.push_back(text);
        return;
    }
    ScopedValue<int> open(st_.MessageDepth, st_.MessageDepth + 1);
    view_.ShowMessage(text);
    while (!st_.PendingMessages.empty()) {
        const std::string next = st_.PendingMessages.front();
        st_.PendingMessages.erase(st_.PendingMessages.begin());
        view_.ShowMessage(next);
    }
}

std::string RecordingControl::Unattended(const std::function<void()>& f) {
    std::string said;
    ScopedValue<std::string*> keep(caught_, &said);
    ScopedValue<bool> alone(unattended_, true);
    f();
    return said;
}

void RecordingControl::Announce(const std::string& text) {
    if (text.empty()) return;
    ScopedValue<int> settled(st_.SettledDepth, st_.SettledDepth + 1);
    Message(text);
}

void RecordingControl::AttachInputs(platform::InputMixer& mixer, InputDeviceState& input) {
    mixer_ = &mixer;
    input_ = &input;
}

// The engine stopped the recording by itself (a failed write) and is about to
// say so: the stop's moment and what the file holds are shown at once.
void RecordingControl::NoteEngineStop() {
    if (!st_.RecordingStarted || cap_.Recording || !st_.EngineStopTime.empty()) return;
    st_.EngineStopTime = Now();
    const int64_t size = cap_.RawStream.size();
    st_.RecordedTimeText = FormatBlockTime(size > 0 ? uint32_t(size / BlockBytes) : 0);
    view_.SetRecordedTime(st_.RecordedTimeText);
    view_.SetStatusPanel(2, "End - " + st_.EngineStopTime);
}

std::string LostSoundText(uint64_t gaps, uint64_t framesLost) {
    if (gaps == 0 && framesLost == 0) return {};
    // A gap is at least a frame, however short the device's estimate was.
    const uint64_t ms = std::max<uint64_t>((framesLost * 1000 + SampleRate - 1) / SampleRate, 1);
    const uint64_t n = std::max<uint64_t>(gaps, 1);
    return "Sound was lost during this recording: " + std::to_string(n) + (n == 1 ? " gap, " : " gaps, ") +
           std::to_string(ms) + " ms in all.\nThe recording has holes at those places.";
}

std::string RecordingControl::Now(std::time_t offsetSeconds) {
    return FormatTimeOfDay(clock_.now() - offsetSeconds);
}

void RecordingControl::ApplyRecordingMode(int index) {
    st_.ModeIndex = index;
    cap_.LoopMode = index != 0;
    if (index >= 0 && index < RecordingModeCount) {
        const RecordingMode& m = RecordingModes[index];
        if (m.LoopMinutes != 0) cap_.LoopMinutes = m.LoopMinutes;
        st_.TimeBarMinutes = m.TimeBarMinutes;
    }
    cap_.LoopHalves = cap_.LoopMinutes * 30;
}

void RecordingControl::CmbBoxTimeChange(int index) {
    if (cap_.Recording) {
        // The list is disabled while recording; a change that comes anyway is undone.
        view_.SetModeListIndex(st_.ModeIndex);
        return;
    }
    ApplyRecordingMode(index);
    view_.DrawTimeBarFrame();
    view_.DrawTimeBarBackground();
    view_.RedrawTimeBar();
}

void RecordingControl::OpenMonitoring() {
    std::string refusal;
    {
        ScopedValue<std::string*> keep(caught_, &refusal);
        engine_.OpenCapture();
    }
    st_.OpenRefused = !cap_.CaptureOpen;
    if (cap_.CaptureOpen) {
        st_.ShownRefusal.clear();
        st_.DeviceLost = false;
        // The same device back after a loss: its inputs are set up again.
        if (mixer_ && input_ && !input_->MixerReady && input_->KnownDeviceName == cap_.CurrentDeviceName)
            SetUpInputs(*mixer_, *input_, RecordedSourceName(engine_));
        FollowSource();
        return;
    }
    // Once per device and failure; the retries of every status tick stay quiet.
    const std::string key = cap_.CurrentDeviceName + "\n" + refusal;
    if (refusal.empty() || key == st_.ShownRefusal || st_.DeviceLost) return;
    st_.ShownRefusal = key;
    Message(refusal);
}

void RecordingControl::BtnRecordClick() {
    if (cap_.Recording) return;
    if (cap_.CurrentDeviceName.empty()) {
        Message("No Audio Device Selected");
        return;
    }
    // The previous recording is deleted only once the device has opened for
    // the new one: a refused open keeps it.
    engine_.CloseCapture();
    std::string refusal;
    {
        ScopedValue<std::string*> keep(caught_, &refusal);
        engine_.OpenCapture();
    }
    if (!cap_.CaptureOpen) {
        st_.OpenRefused = true;
        // The device's own text, this once; the watch's retries stay quiet.
        st_.ShownRefusal = cap_.CurrentDeviceName + "\n" + refusal;
        if (!refusal.empty()) Message(refusal);
        return;
    }
    // The device may have opened on another source than it monitored.
    FollowSource();
    // Refused unattended: capture stays open, monitoring as before.
    if (!OfferToSwitchOn()) return;
    // The device was closed under the question (the program is ending): nothing starts.
    if (!cap_.CaptureOpen) {
        RestoreInputMute();
        return;
    }
    cap_.RawStream.close();
    platform::removeFile(cap_.RawFileName);
    // The old ring's position must not describe the new file after a crash;
    // it goes after the old file, so that no crash leaves that one without it.
    if (!cap_.RingFileName.empty()) platform::removeFile(cap_.RingFileName);
    // Its markers go with it, after the ring for the same reason.
    cap_.MarkerStream.close();
    if (!cap_.MarkerFileName.empty()) platform::removeFile(cap_.MarkerFileName);
    cap_.LiveMarkers.clear();
    cap_.Markers.clear();
    view_.SetMarkerCount(0);
    cap_.TotalBlocks = 1;  // as a fresh open numbers it
    cap_.LastWrittenBlock = 0;
    cap_.BlocksWritten = 0;
    cap_.RingFilled = false;
    cap_.WriteFailed = false;
    cap_.WriteError.clear();
    st_.RecordingStarted = false;
    st_.EngineStopTime.clear();
    // A new continuous recording starts on the short bar again.
    ApplyRecordingMode(st_.ModeIndex);
    view_.DrawTimeBarFrame();
    view_.RedrawTimeBar();
    view_.ClearWaveHistory();
    view_.ClearLiveChart();

    if (!cap_.RawStream.open(cap_.RawFileName, platform::RawFile::Mode::Create)) {
        engine_.CloseCapture();
        RestoreInputMute();
        Message("Can not create " + cap_.RawFileName + "\n" + cap_.RawStream.lastError());
        OpenMonitoring();
        return;
    }
    st_.OpenRefused = false;
    cap_.RawStream.syncEvery(std::chrono::milliseconds(st_.SyncMilliseconds));
    cap_.SyncMilliseconds = st_.SyncMilliseconds;
    cap_.Recording = true;
    cap_.RecordedLoopMode = cap_.LoopMode;
    st_.RecordingStarted = true;
    view_.SetModeListEnabled(false);  // at once: the list never shows another mode than the one used
    view_.SetStatusPanel(1, "Start-" + Now());
}

void RecordingControl::FollowSource() {
    if (!mixer_ || !input_ || !input_->MixerReady) return;
    const std::string source = RecordedSourceName(engine_);
    if (source.empty() || source == input_->MixerSource) return;
    // The source left behind gets its mute back before the knob leaves it.
    RestoreInputMute();
    SetUpInputs(*mixer_, *input_, source);
}

bool RecordingControl::OfferToSwitchOn() {
    if (!mixer_ || !input_ || !input_->MixerReady) return true;
    const uint32_t state = mixer_->recordGetInput(input_->InputIndex);
    if (state == platform::INPUT_INVALID || !(state & platform::INPUT_OFF)) return true;
    // Switching a muted source on is the user's decision, made in the window.
    if (unattended_) {
        Message(RecordedSourceName(engine_) + " is muted: switch it on, or press 记录 (Record) in the window to be asked.");
        return false;
    }
    bool yes = false;
    {
        // The ticks beneath the question neither restart nor watch: nothing has started yet.
        ScopedValue<int> open(st_.MessageDepth, st_.MessageDepth + 1);
        yes = view_.Confirm(RecordedSourceName(engine_) +
                            " is muted.\nSwitch it on for this recording? It is muted again when the recording "
                            "ends.\n(No: record it muted, in silence.)");
    }
    if (yes && mixer_->recordSetInput(input_->InputIndex, platform::INPUT_ON)) {
        input_->SwitchedOnForRecording = true;
        input_->VolumeState = state & ~platform::INPUT_OFF;
        input_->VolumeKnown = true;
    }
    return true;
}

void RecordingControl::RestoreInputMute() {
    if (!input_ || !input_->SwitchedOnForRecording) return;
    input_->SwitchedOnForRecording = false;
    if (!mixer_ || !input_->MixerReady) return;
    if (mixer_->recordSetInput(input_->InputIndex, platform::INPUT_OFF)) input_->VolumeState |= platform::INPUT_OFF;
}

std::string RecordingControl::FinishStop() {
    engine_.FinishRecording();
    RestoreInputMute();
    st_.RecordingStarted = false;
    // What the file holds, before monitoring renumbers the blocks.
    st_.RecordedTimeText = FormatBlockTime(cap_.TotalBlocks);
    view_.SetRecordedTime(st_.RecordedTimeText);
    // The device counted since the recording opened it; monitoring reopens it next.
    const auto* source = dynamic_cast<const platform::CaptureStatsSource*>(&engine_.Device());
    if (!source) return {};
    const platform::CaptureStats stats = source->captureStats();
    return LostSoundText(stats.gaps, stats.framesLost);
}

void RecordingControl::BtnStopClick() {
    if (!cap_.Recording) return;
    const std::string lost = FinishStop();
    if (!lost.empty()) Message(lost);
    view_.ProcessEvents();
    OpenMonitoring();
    view_.SetStatusPanel(2, "End - " + Now());
}

std::string RecordingControl::EndRecording(const std::string& message) {
    // The moment the recording stopped, not the moment its message was dismissed.
    const std::string end = st_.EngineStopTime.empty() ? Now() : st_.EngineStopTime;
    st_.EngineStopTime.clear();
    const std::string lost = FinishStop();
    view_.SetStatusPanel(2, "End - " + end);
    return message.empty() || lost.empty() ? message + lost : message + "\n\n" + lost;
}

// Everything is settled before the message: monitoring goes on while it is read.
void RecordingControl::StopAutomatically(const std::string& message, bool reopen) {
    const std::string text = EndRecording(message);
    if (reopen) OpenMonitoring();
    Announce(text);
}

// The device failed for longer than one poll: a recording ends as an
// automatic stop (every captured block kept); monitoring comes back through
// the device watch once the device answers, even while the message is open.
void RecordingControl::DeviceFailed() {
    const std::string error = cap_.DeviceError;
    RestoreInputMute();  // while the mixer still reaches the source
    if (mixer_ && input_) FreeInputs(*mixer_, *input_);
    st_.DeviceLost = true;
    std::string text;
    if (cap_.Recording) text = EndRecording("Recording was stopped: the recording device failed.\n" + error);
    engine_.CloseCapture();
    Announce(text);
}

void RecordingControl::SettleEngineStop() {
    // The engine stopped writing by itself (a failed write): finish the stop
    // path so that Edit and Save As see the whole recording.
    if (st_.RecordingStarted && !cap_.Recording) StopAutomatically({});
}

void RecordingControl::BtnEditClick() {
    if (cap_.Recording) return;
    SettleEngineStop();
    if (!platform::fileExists(cap_.RawFileName)) {
        Message("No sound recorded.");
        return;
    }
    engine_.CloseCapture();
    {
        ScopedValue<bool> open(st_.EditorOpen, true);
        view_.ShowEditor();
    }
    view_.RedrawTimeBar();
    view_.ClearWaveHistory();
    view_.ClearLiveChart();
    st_.RecordedTimeText = "00:00:00";
    view_.SetRecordedTime(st_.RecordedTimeText);
    view_.SetStatusPanel(1, "");
    view_.SetStatusPanel(2, "");
    OpenMonitoring();
}

void RecordingControl::AddMarkerClick() {
    if (!engine_.AddMarkerNow()) return;
    view_.DrawTimeBarMarkers();
    view_.SetMarkerCount(cap_.LiveMarkers.size());
}

void RecordingControl::ChBoxDCClick(bool checked) {
    if (checked) {
        ComputeDcOffset(proc_);
        // The history is empty now; a well corrected signal keeps it empty
        // (zero means), so the meter must not go on showing the old offset.
        proc_.ResidualDcLeft = 0;
        proc_.ResidualDcRight = 0;
    } else {
        proc_.DcOffsetLeft = 0;
        proc_.DcOffsetRight = 0;
    }
}

void RecordingControl::TimerRecTimer() {
    if (st_.FirstPaintPending) {
        view_.DrawTimeBarBackground();
        st_.FirstPaintPending = false;
    }
    if (cap_.CurrentDeviceName.empty()) return;
    // A message box runs the timers from inside the engine (a failed write
    // reports from its half flush); polling again there would queue a half twice.
    if (st_.MessageDepth > st_.SettledDepth) return;
    engine_.PollCapture();
    if (cap_.DeviceErrorPolls >= 2) DeviceFailed();
    UpdateMeanHistory(proc_);
    ComputeTaskbarLevel(proc_);
    if (view_.Minimized()) view_.SetTaskbarIcon(proc_.TaskbarLevel);
}

void RecordingControl::WatchCaptureDevice() {
    // Not under a box opened half way through something: the first tick after it closes looks.
    if (st_.MessageDepth > st_.SettledDepth) return;
    platform::WaveIn& dev = engine_.Device();
    if (dev.getNumDevs() == 0) {
        // Gone: a recording ends as an automatic stop; the name that the engine
        // was set up for is kept, so that the same device is known when it returns.
        std::string text;
        if (cap_.Recording) {
            const std::string why = cap_.DeviceError.empty() ? "" : "\n" + cap_.DeviceError;
            text = EndRecording("Recording was stopped: the recording device " + cap_.CurrentDeviceName +
                                " is gone." + why);
        }
        st_.DeviceLost = true;
        engine_.CloseCapture();
        if (mixer_ && input_) FreeInputs(*mixer_, *input_);
        cap_.CurrentDeviceName.clear();
        st_.SourceText.clear();
        if (input_) input_->SourceText.clear();
        view_.ClearMeters();
        Announce(text);
        return;
    }
    // The source's name is asked of the server once a second; its loss above is seen every tick.
    platform::WaveInCaps caps;
    if (SecondChanged(sourceAskedAt_) && dev.getDevCaps(0, caps) == platform::MMSYSERR_NOERROR)
        cap_.DeviceCaps[0] = caps;
    cap_.CurrentDeviceName = CapsName(cap_.DeviceCaps[0]);
    if (mixer_ && input_) {
        if (input_->KnownDeviceName.empty()) {
            // The first device since start: set up as at start-up, a refusal shown once.
            std::string refusal;
            {
                ScopedValue<std::string*> keep(caught_, &refusal);
                InitCaptureDevice(engine_, *mixer_, *input_);
            }
            st_.OpenRefused = !cap_.CaptureOpen;
            if (!refusal.empty()) st_.ShownRefusal = cap_.CurrentDeviceName + "\n" + refusal;
            if (!refusal.empty()) Message(refusal);
        }
        input_->DeviceChanged = input_->KnownDeviceName != cap_.CurrentDeviceName;
    }
    if (!cap_.CaptureOpen && !st_.EditorOpen) OpenMonitoring();
    // What is heard, and what the knob and the caption name, is the source
    // the device records, which need not be device 0 any more.
    FollowSource();
    st_.SourceText = RecordedSourceName(engine_);
    if (input_) input_->SourceText = st_.SourceText;
    if (mixer_ && input_ && input_->MixerReady && SecondChanged(volumeAskedAt_)) {
        const uint32_t state = mixer_->recordGetInput(input_->InputIndex);
        input_->VolumeKnown = state != platform::INPUT_INVALID;
        if (input_->VolumeKnown) input_->VolumeState = state;
    }
}

void RecordingControl::TimerStatusTimer() {
    WatchCaptureDevice();
    const std::string source = SourceStatus();
    view_.SetCaption(std::string(ProgramTitle) + " - " + source);
    view_.SetStatusPanel(0, source);
    AverageResidualDc(proc_);
    RefreshFreeBytes();
    view_.SetStatusPanel(3, FormatFreeSpace());
    // A loop's ring drops its oldest markers as it comes round.
    view_.SetMarkerCount(cap_.LiveMarkers.size());

    if (!cap_.Recording) {
        if (st_.MessageDepth == 0) SettleEngineStop();
        view_.SetModeListEnabled(true);
        return;
    }
    view_.SetModeListEnabled(false);
    ComputeFreeSeconds();
    UpdateTimeDisplays();
    if (view_.Minimized()) view_.SetTaskbarTitle(st_.RecordedTimeText);
    if (st_.FreeSeconds >= 0 && st_.FreeSeconds < MinFreeSeconds) {
        StopAutomatically("There is no space on drive " + free_.mountPoint(workingFolder_));
        return;
    }
    if (cap_.BlockSequence >= PeakTableSize) StopAutomatically("Recording was stopped");
    if (!cap_.LoopMode && cap_.Recording &&
        cap_.LastWrittenBlock / 600.0 >= 0.9 * st_.TimeBarMinutes) {
        static constexpr int32_t spans[] = {3, 5, 10, 15, 20, 30, 60, 120, 240, 600};
        for (size_t i = 0; i + 1 < std::size(spans); ++i) {
            if (spans[i] == st_.TimeBarMinutes) {
                st_.TimeBarMinutes = spans[i + 1];
                break;
            }
        }
        view_.DrawTimeBarFrame();
        view_.RedrawTimeBar();
    }
    if (cap_.LoopMode && cap_.HalvesWritten == cap_.LoopHalves) view_.RedrawTimeBar();
}

// Monitoring shows what the source gives; when it gives nothing the user
// should know before pressing Record.
std::string RecordingControl::SourceStatus() const {
    if (cap_.CurrentDeviceName.empty()) return "No recording source";
    if (!cap_.CaptureOpen && !cap_.Recording && !st_.EditorOpen && (st_.DeviceLost || st_.OpenRefused))
        return st_.SourceText + " (not answering)";
    std::string text = st_.SourceText;
    if (input_ && input_->MixerReady && input_->VolumeKnown && (input_->VolumeState & platform::INPUT_OFF))
        text += " (muted)";
    // Another default source was chosen while this one is recorded or monitored.
    if (st_.SourceText != cap_.CurrentDeviceName)
        text += " (new default: " + cap_.CurrentDeviceName +
                (cap_.Recording ? " after Stop" : st_.RecordingUnsaved ? " once the recording is saved" : "") + ")";
    return text;
}

void RecordingControl::FormatRecordedTime() {
    const uint32_t n = cap_.RingFilled ? static_cast<uint32_t>(cap_.LoopHalves) * HalfBlocks : cap_.LastBlockSeen;
    st_.RecordedTimeText = FormatBlockTime(n);
}

bool RecordingControl::SecondChanged(std::optional<std::time_t>& lastAsked) {
    const std::time_t now = clock_.now();
    if (lastAsked == now) return false;
    lastAsked = now;
    return true;
}

// One reading a tick serves the panel and the stop test. While recording
// every status tick reads it, so that another program filling the disk is
// seen in time; while only listening, once a second is enough.
void RecordingControl::RefreshFreeBytes() {
    if (SecondChanged(freeAskedAt_) || cap_.Recording) freeBytes_ = free_.freeBytes(workingFolder_);
}

int64_t RecordingControl::FreeBytes() {
    if (!freeAskedAt_) RefreshFreeBytes();
    return freeBytes_;
}

void RecordingControl::ComputeFreeSeconds() {
    const int64_t bytes = FreeBytes();
    st_.FreeSeconds = bytes < 0 ? -1 : bytes / BytesPerSecond;  // -1: unknown, never a reason to stop
}

std::string RecordingControl::FormatFreeSpace() {
    return orv::FormatFreeSpace(FreeBytes(), decimalPoint_);
}

void RecordingControl::UpdateTimeDisplays() {
    FormatRecordedTime();
    view_.SetRecordedTime(st_.RecordedTimeText);
    view_.SetStatusPanel(2, "Current-" + Now());
    if (cap_.LoopMode && cap_.RingFilled)
        view_.SetStatusPanel(1, "Start-" + Now(std::time_t{cap_.LoopMinutes} * 60));
}

bool RecordingControl::SaveAsEnabled() const { return !cap_.Recording && cap_.TotalBlocks > 1; }

std::optional<std::vector<Piece>> RecordingControl::RecordingToSave() {
    SettleEngineStop();
    if (!SaveAsEnabled()) return std::nullopt;
    return TimeOrderedPieces(cap_.TotalBlocks, cap_.LastWrittenBlock, cap_.RecordedLoopMode);
}

}  // namespace orv

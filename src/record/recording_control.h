#pragma once
// The main window's recording logic: recording modes, Record/Stop/Edit, the
// two timers, the recorded-time and status texts, the automatic stops and
// Save As. Window-free: the main window implements RecordingView.
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "record/piece.h"
#include "platform/system.h"
#include "record/capture_engine.h"
#include "record/input_device.h"

namespace orv {

// Everything the recording logic shows or asks of the main window.
class RecordingView {
public:
    virtual ~RecordingView() = default;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void SetRecordedTime(const std::string& text) = 0;   // LabTime and LabTime0
    virtual void SetStatusPanel(int panel, const std::string& text) = 0;  // panels 0..3
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetModeListEnabled(bool enabled) = 0;           // CmbBoxTime
    virtual void SetModeListIndex(int index) { (void)index; }    // CmbBoxTime's selected item
    virtual void SetTaskbarTitle(const std::string& text) = 0;   // application title while minimized
    virtual void SetTaskbarIcon(int level) = 0;                  // level icon 0..16 while minimized
    virtual bool Minimized() = 0;
    // Time bar and live waveform (drawn by the display module).
    virtual void DrawTimeBarFrame() {}
    virtual void DrawTimeBarBackground() {}
    virtual void RedrawTimeBar() {}
    virtual void ClearWaveHistory() {}
    virtual void ClearLiveChart() {}       // empties the chart's two series
    // Called by the engine for each measured block.
    virtual void PushWaveHistory() {}      // a recorded block
    virtual void DrawTimeBarColumn() {}    // a recorded block
    virtual void DrawLiveDisplays() {}     // meters, and the live waveform while recording
    virtual void ClearMeters() {}          // level and DC meters at rest: no device
    // The recording's markers: the ticks on the time bar, and how many there are.
    virtual void DrawTimeBarMarkers() {}
    virtual void SetMarkerCount(size_t count) { (void)count; }
    // Runs the editor modally on the current recording; returns when it closed.
    virtual void ShowEditor() {}
    // Lets pending window events run once.
    virtual void ProcessEvents() {}
    // A Yes/No question; true for Yes. Unanswered, the safe answer is No.
    virtual bool Confirm(const std::string& text) {
        (void)text;
        return false;
    }
};

struct RecordingMode {
    const char* Text;
    bool LoopMode;
    int32_t LoopMinutes;  // 0: unchanged
    int32_t TimeBarMinutes;
};
inline constexpr int RecordingModeCount = 8;
extern const RecordingMode RecordingModes[RecordingModeCount];  // items of CmbBoxTime

struct RecordingControlState {
    int32_t ModeIndex = 0;  // selected item of CmbBoxTime
    int32_t TimeBarMinutes = 3;
    std::string RecordedTimeText = "00:00:00";
    int64_t FreeSeconds = 0;
    std::string SourceText;  // device (and input) named in the caption and panel 0
    bool FirstPaintPending = false;
    bool EditorOpen = false;
    // A recording was started and its stop path has not run yet; lets a stop
    // the engine made by itself (failed write) be finished on the next tick.
    bool RecordingStarted = false;
    // The last attempt to open the device failed; retries stay quiet.
    bool OpenRefused = false;
    // Device and text of the last refused open that was shown: the same
    // refusal again stays quiet until an open succeeds.
    std::string ShownRefusal;
    // The device failed or went away (and the user was told when it mattered):
    // refusals stay quiet until an open succeeds again.
    bool DeviceLost = false;
    bool QuietMessages = false;
    // While recording, the raw file reaches the disk at least this often
    // (from a background thread); 0 leaves it to the system.
    int32_t SyncMilliseconds = 10000;
    int MessageDepth = 0;  // message boxes open (their event loop runs the timers)
    // Of those, the boxes opened once everything that led to them was done:
    // the device watch and the polling go on beneath them.
    int SettledDepth = 0;
    std::vector<std::string> PendingMessages;  // waiting for the open box to close
    // When a stop the engine made by itself happened ("End - " shows it).
    std::string EngineStopTime;
    // Set by the window before each status tick: the recording in the working
    // folder has not been saved (a change of source waits for that).
    bool RecordingUnsaved = false;
};

// Seconds of recording that must still fit on the disk, else the recording stops.
inline constexpr int64_t MinFreeSeconds = 100;

// "Free-977 MB" / "Free-0.95 GB"; decimalPoint is the user's locale separator.
std::string FormatFreeSpace(int64_t freeBytes, const std::string& decimalPoint);
// What the user is told at the stop of a recording during which sound was
// lost; empty when nothing was lost.
std::string LostSoundText(uint64_t gaps, uint64_t framesLost);
// The time of day in the C library's locale time format (%X).
std::string FormatTimeOfDay(std::time_t t);

class RecordingControl {
public:
    // Installs the engine's hooks so that its messages and drawing go to the view.
    RecordingControl(RecordingControlState& state, CaptureEngine& engine, CaptureHooks& hooks,
                     ProcessingState& processing, RecordingView& view, platform::Clock& clock,
                     platform::FreeSpace& freeSpace, std::string workingFolder,
                     std::string decimalPoint = ".");

    // Sets ModeIndex and the loop settings from it.
    void ApplyRecordingMode(int index);
    void CmbBoxTimeChange(int index);
    void BtnRecordClick();
    void BtnStopClick();
    void BtnEditClick();
    // M: a marker at the block being recorded, without a pause.
    void AddMarkerClick();
    void ChBoxDCClick(bool checked);
    void TimerRecTimer();
    void TimerStatusTimer();
    // The recording in time order for Save As; nullopt when there is nothing to save.
    std::optional<std::vector<Piece>> RecordingToSave();
    bool SaveAsEnabled() const;

    // Device watching and the inputs: without them the status tick only
    // reopens monitoring on device 0.
    void AttachInputs(platform::InputMixer& mixer, InputDeviceState& input);
    // Status tick step 1: device 0 named, gone or back, monitoring resumed,
    // the knob's volume read, a change of device noted.
    void WatchCaptureDevice();
    // A message box, one at a time: a message that comes while one is open
    // is shown after it.
    void Message(const std::string& text);
    // Runs f for a command from outside the window: no box is shown and no
    // question asked (Record on a muted source is refused rather than asked
    // about). Returns the last message the window would have shown.
    std::string Unattended(const std::function<void()>& f);
    // A message shown after its cause has been dealt with in full: the ticks
    // beneath the box go on (a lost device comes back while it is open).
    void Announce(const std::string& text);
    void FormatRecordedTime();
    void ComputeFreeSeconds();
    std::string FormatFreeSpace();
    void UpdateTimeDisplays();
    // Gives the recorded source back the mute it had when the recording
    // switched it on; every end of a recording comes here.
    void RestoreInputMute();

private:
    // The mixer moved to the source the open device records, when it is set
    // up for another one.
    void FollowSource();
    // Record on a muted source: the user decides whether it is switched on
    // for this recording; No records it as it is.
    // false: unattended, the source stays muted and nothing starts.
    bool OfferToSwitchOn();
    void OpenMonitoring();
    void DeviceFailed();
    void NoteEngineStop();
    bool OpenForRecording();
    // The stop path shared by Stop and the automatic stops; returns what the
    // user must hear about sound lost during the recording (empty: nothing).
    std::string FinishStop();
    // reopen: monitoring is opened again at once (not after a device failure).
    void StopAutomatically(const std::string& message, bool reopen = true);
    // The stop itself; returns what the user must be told.
    std::string EndRecording(const std::string& message);
    // Caption and panel 0: the source, or why nothing is heard from it.
    std::string SourceStatus() const;
    void SettleEngineStop();
    std::string Now(std::time_t offsetSeconds = 0);

    RecordingControlState& st_;
    CaptureEngine& engine_;
    CaptureState& cap_;
    ProcessingState& proc_;
    RecordingView& view_;
    platform::Clock& clock_;
    platform::FreeSpace& free_;
    std::string workingFolder_;
    std::string decimalPoint_;
    // The disk and the mixer are asked once a second, not at every tick.
    bool SecondChanged(std::optional<std::time_t>& lastAsked);
    void RefreshFreeBytes();
    int64_t FreeBytes();
    std::optional<std::time_t> freeAskedAt_;
    int64_t freeBytes_ = -1;
    std::optional<std::time_t> volumeAskedAt_;
    std::optional<std::time_t> sourceAskedAt_;
    platform::InputMixer* mixer_ = nullptr;
    InputDeviceState* input_ = nullptr;
    std::string* caught_ = nullptr;  // set: a message is kept here instead of shown
    bool unattended_ = false;        // a command from outside the window: nothing is asked
};

}  // namespace orv

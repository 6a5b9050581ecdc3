#pragma once
// The main window's recording logic: recording modes, Record/Stop/Edit, the
// two timers, the recorded-time and status texts, the automatic stops and
// Save As. Window-free: the main window implements RecordingView.
#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <vector>

#include "editor/piece.h"
#include "platform/system.h"
#include "record/capture_engine.h"

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
    virtual void SetTaskbarTitle(const std::string& text) = 0;   // application title while minimized
    virtual void SetTaskbarIcon(int level) = 0;                  // level icon 0..16 while minimized
    virtual bool Minimized() = 0;
    // Time bar and live waveform (drawn by the display module).
    virtual void DrawTimeBarFrame() {}
    virtual void DrawTimeBarBackground() {}
    virtual void RedrawTimeBar() {}
    virtual void ClearWaveHistory() {}
    // Runs the editor modally on the current recording; returns when it closed.
    virtual void ShowEditor() {}
    // Lets pending window events run once.
    virtual void ProcessEvents() {}
};

struct RecordingMode {
    const char* Text;
    bool LoopMode;
    int32_t LoopMinutes;  // 0: unchanged
    int32_t TimeBarMinutes;
};
extern const RecordingMode RecordingModes[8];  // items of CmbBoxTime

struct RecordingControlState {
    int32_t ModeIndex = 0;        // selected item of CmbBoxTime
    int32_t TimeBarMinutes = 3;
    std::string RecordedTimeText = "00:00:00";
    int64_t FreeSeconds = 0;
    bool FirstPaintPending = false;
    bool EditorOpen = false;
};

// Text helpers, usable on their own.
std::string FormatRecordedTime(uint32_t blocks);  // hh:mm:ss, each field cut to two digits
// "Free-977 MB" / "Free-0.95 GB"; decimalPoint is the user's locale separator.
std::string FormatFreeSpace(int64_t freeBytes, char decimalPoint);
// The time of day in the user's long time format.
std::string FormatTimeOfDay(std::time_t t);
// The recording in time order: one piece, or two for a ring that wrapped.
std::vector<Piece> TimeOrderedPieces(uint32_t totalBlocks, uint32_t lastWrittenBlock, bool loopMode);

}  // namespace orv

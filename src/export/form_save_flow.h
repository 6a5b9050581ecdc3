#pragma once
// The one save routine of both windows: the size check, the file dialog, the
// progress dialog and the writer, with the program-wide busy guard held from
// the first step to the last so nothing can change or delete what is saved.
#include <QString>
#include <QWidget>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "record/piece.h"
#include "export/save_job.h"
#include "platform/encoder_library.h"
#include "platform/system.h"
#include "record/busy.h"
#include "record/recording_saved.h"

namespace orv {

class TFormProgress;
class TFormSaveSettings;

inline constexpr const char* RecordingRoomMessage =
    "There is not enough free space for this file beside the running recording: saving it there would stop "
    "the recording. Please choose a folder on another disk or free some space.";
inline constexpr const char* SaveCancelledMessage = "The save was cancelled; nothing was saved.";
inline constexpr const char* RecordingLowSpaceMessage =
    "The disk of the running recording is nearly full. The save was stopped so that the recording can go on; "
    "nothing was saved.";

// What a save made while the recording goes on must leave free for it on the
// working folder's file system. Counted only when the file lands there.
struct RecordingRoom {
    platform::FreeSpace* Space = nullptr;
    std::string Folder;  // the working folder
    // The recording's reserve and what it still grows; asked at every look.
    std::function<int64_t()> KeepBytes;
};

// A save that asks nothing: a command from outside the window names the
// file, and hears what the window would have shown.
struct UnattendedSave {
    // The file to write, from the format's extension.
    std::function<std::string(const std::string& extension)> Path;
    std::string Refusal;  // set when nothing was saved: what the window would have said
    std::string Saved;    // set when the file was written: its path
};

// What the save reads and changes in the program's state.
struct SaveFlowState {
    SaveFormatRef Format;
    std::string* OutputFolder = nullptr;
    BusyState* Busy = nullptr;
    RecordingSavedState* Saved = nullptr;
    // Never accepted as a target: the recording, the editor's files, the
    // found recording, the peak summary.
    std::vector<std::string> WorkingFiles;
};

// How the save reaches the user and the system (scripted in tests).
struct SaveFlowSeams {
    std::function<void(const std::string&)> Message;
    // The save-file dialog in folder with one filter entry ("description|pattern")
    // and a default extension; it asks before overwriting. Empty when cancelled.
    std::function<std::string(const std::string& folder, const std::string& filter, const std::string& extension)>
        AskFileName;
    // Lets pending window events run once; called once per block or chunk.
    std::function<void()> ProcessEvents;
    platform::EncoderLoader Encoder;
};

class SaveFlow {
public:
    SaveFlow(SaveFlowState state, SaveFlowSeams seams, TFormProgress* progress, TFormSaveSettings* settings);

    // The main window's Save As: the recording as captured, pieces in time order.
    void SaveRecording(std::span<const Piece> pieces, uint32_t totalBlocks, const PieceSources& sources,
                       const MarkerList& markers = {});
    // The main window's save of what a running recording held at a moment
    // (blocks 1 … blocks of pieces), while it goes on: the caller holds the
    // guard for all but the recording, and the progress window leaves the
    // main window's Stop within reach. It does not count as saving the recording.
    // The recording has priority: a file that would take its room is refused
    // before anything is written, and a save that finds the disk running low
    // stops (nothing kept) before the recording's own low-space stop would.
    // unattended: no file dialog and no message box (the same progress window).
    void SaveRecent(std::span<const Piece> pieces, uint32_t blocks, const PieceSources& sources,
                    const RecordingRoom& room, const MarkerList& markers = {}, UnattendedSave* unattended = nullptr);
    // The editor's save of positions range.first .. range.last, called while the
    // editor already holds the busy guard (its EditorBusy). whole: the range is
    // its entire current level, so a completed save counts as saved.
    // The progress window belongs to owner (the editor).
    void SaveHeld(std::span<const Piece> pieces, SaveRange range, const PieceSources& sources, bool whole,
                  const std::function<void()>& stopPlayback = {}, QWidget* owner = nullptr);
    // The save-format dialog, modal over owner (else the window the flow's
    // dialogs were made for); ignored while anything holds the busy guard.
    void OpenSaveSettings(QWidget* owner = nullptr);

    // The running save, if any, ends as a cancel at its next block or chunk
    // (its partial file removed); one that has not begun writing never will.
    void AbandonSave();

    bool Busy() const { return state_.Busy && state_.Busy->Busy(); }
    const QString& SavedFileName() const { return savedFileName_; }

private:
    // whole: the save covers the entire recording, so it counts as saved.
    void StartSave(std::span<const Piece> pieces, SaveRange range, const PieceSources& sources, bool whole,
                   const std::function<void()>& stopPlayback);
    // modal: the progress window takes all input while shown.
    void RunSave(std::span<const Piece> pieces, SaveRange range, const PieceSources& sources, bool whole,
                 const std::function<void()>& stopPlayback, bool modal = true, const RecordingRoom* room = nullptr,
                 QWidget* owner = nullptr, UnattendedSave* unattended = nullptr);

    SaveFlowState state_;
    SaveFlowSeams seams_;
    TFormProgress* progress_;
    TFormSaveSettings* settings_;
    QWidget* home_ = nullptr;  // the window the dialogs belong to unless another opens them
    QString savedFileName_;
    SaveProgress* running_ = nullptr;  // the save being written
    bool abandoned_ = false;           // the program is ending: no save starts or goes on
};

}  // namespace orv

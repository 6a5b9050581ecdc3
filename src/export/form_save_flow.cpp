#include "export/form_save_flow.h"

#include <algorithm>

#include "export/form_owner.h"
#include "export/form_progress.h"
#include "export/form_save_settings.h"
#include "export/save_filter.h"

namespace orv {

SaveFlow::SaveFlow(SaveFlowState state, SaveFlowSeams seams, TFormProgress* progress, TFormSaveSettings* settings)
    : state_(std::move(state)), seams_(std::move(seams)), progress_(progress), settings_(settings) {
    if (settings_) settings_->Bind(state_.Format);
    home_ = progress_ ? progress_->parentWidget() : settings_ ? settings_->parentWidget() : nullptr;
}

void SaveFlow::SaveRecording(std::span<const Piece> pieces, uint32_t totalBlocks, const PieceSources& sources,
                             const MarkerList& markers) {
    if (totalBlocks <= 1) return;
    StartSave(pieces, {1, totalBlocks, markers}, sources, true, {});
}

void SaveFlow::SaveRecent(std::span<const Piece> pieces, uint32_t blocks, const PieceSources& sources,
                          const RecordingRoom& room, const MarkerList& markers, UnattendedSave* unattended) {
    if (!state_.Busy || blocks <= 1) return;
    BusyGuard guard(*state_.Busy, Holds::AllButTheRecording);
    RunSave(pieces, {1, blocks, markers}, sources, false, {}, false, &room, nullptr, unattended);
}

void SaveFlow::AbandonSave() {
    abandoned_ = true;
    if (running_) running_->SaveContinue = false;
}

void SaveFlow::SaveHeld(std::span<const Piece> pieces, SaveRange range, const PieceSources& sources, bool whole,
                        const std::function<void()>& stopPlayback, QWidget* owner) {
    if (!state_.Busy || range.SaveFirstBlock == 0 || range.SaveLastBlock < range.SaveFirstBlock) return;
    BusyGuard guard(*state_.Busy);  // held in any case, whoever called
    RunSave(pieces, range, sources, whole, stopPlayback, true, nullptr, owner);
}

void SaveFlow::OpenSaveSettings(QWidget* owner) {
    if (Busy() || !settings_) return;
    OpenOver(*settings_, owner ? owner : home_);
    settings_->exec();
}

void SaveFlow::StartSave(std::span<const Piece> pieces, SaveRange range, const PieceSources& sources, bool whole,
                         const std::function<void()>& stopPlayback) {
    if (Busy() || !state_.Busy) return;
    // Held through the modal file dialog too: its event loop runs the timers.
    BusyGuard guard(*state_.Busy);
    RunSave(pieces, range, sources, whole, stopPlayback);
}

void SaveFlow::RunSave(std::span<const Piece> pieces, SaveRange range, const PieceSources& sources, bool whole,
                       const std::function<void()>& stopPlayback, bool modal, const RecordingRoom* room,
                       QWidget* owner, UnattendedSave* unattended) {
    if (!state_.Format.SaveAsWav || !state_.Format.Wav || !state_.Format.Mp3) return;
    if (abandoned_) return;
    auto message = [this, unattended](const std::string& text) {
        if (unattended)
            unattended->Refusal = text;
        else if (seams_.Message)
            seams_.Message(text);
    };

    SaveJob job;
    job.Pieces.assign(pieces.begin(), pieces.end());
    job.Range = range;
    job.SaveAsWav = *state_.Format.SaveAsWav;
    job.Wav = *state_.Format.Wav;
    job.Mp3 = *state_.Format.Mp3;
    if (const auto refusal = SaveSizeRefusal(job)) {
        message(*refusal);
        return;
    }

    const SaveFilter filter = UpdateSaveFilter(job.SaveAsWav, job.Wav, job.Mp3);
    const std::string folder = state_.OutputFolder ? *state_.OutputFolder : std::string();
    if (unattended)
        job.TargetPath = unattended->Path ? unattended->Path(filter.DefaultExtension) : "";
    else
        job.TargetPath = seams_.AskFileName ? seams_.AskFileName(folder, filter.Filter, filter.DefaultExtension) : "";
    if (job.TargetPath.empty()) return;
    job.TargetPath = WithSaveExtension(job.TargetPath, filter.DefaultExtension);
    if (const auto refusal = SaveTargetRefusal(job.TargetPath, state_.WorkingFiles)) {
        message(*refusal);
        return;
    }
    // Free bytes beyond what the recording keeps, when the file lands on its disk; -1: not counted.
    const bool counted = room && room->Space && room->KeepBytes && room->Space->sameFileSystem(room->Folder, job.TargetPath);
    auto spare = [&]() -> int64_t {
        const int64_t free = counted ? room->Space->freeBytes(room->Folder) : -1;
        return free < 0 ? -1 : std::max<int64_t>(free - room->KeepBytes(), 0);
    };
    if (const int64_t s = spare(); s >= 0 && uint64_t(s) < ExpectedFileBytes(job)) {
        message(RecordingRoomMessage);
        return;
    }
    if (abandoned_) return;  // ended while the file dialog was open
    const size_t slash = job.TargetPath.find_last_of('/');
    savedFileName_ = QString::fromStdString(slash == std::string::npos ? job.TargetPath : job.TargetPath.substr(slash + 1));
    // A file named without the dialog leaves the dialog's folder as it was.
    if (state_.OutputFolder && slash != std::string::npos && !unattended)
        *state_.OutputFolder = job.TargetPath.substr(0, slash == 0 ? 1 : slash);

    if (stopPlayback) stopPlayback();
    SaveProgress progress;
    progress.SaveContinue = true;
    // Between two looks the writer adds at most a step (a WAV copy step of
    // about 4 MB) and the recording a few blocks: stop this far above what it keeps.
    constexpr int64_t LookMarginBytes = int64_t{8} << 20;
    bool lowSpace = false;
    progress.pump = [&] {
        if (seams_.ProcessEvents) seams_.ProcessEvents();
        if (!progress.SaveContinue || !counted) return;
        if (const int64_t s = spare(); s >= 0 && s < LookMarginBytes) {
            lowSpace = true;
            progress.SaveContinue = false;
        }
    };
    running_ = &progress;
    if (progress_) progress_->Begin(progress, savedFileName_, modal, owner ? owner : home_);
    const SaveResult result = RunSaveJob(job, sources, progress, seams_.Encoder);
    if (progress_) progress_->End();
    running_ = nullptr;

    if (abandoned_) return;  // the program is ending: nobody to tell
    if (lowSpace && result.outcome == SaveOutcome::Cancelled) message(RecordingLowSpaceMessage);
    if (result.outcome == SaveOutcome::Failed) message(result.message);
    if (result.ok() && whole && state_.Saved) MarkRecordingSaved(*state_.Saved);
    if (unattended && result.ok()) unattended->Saved = job.TargetPath;
    if (unattended && result.outcome == SaveOutcome::Cancelled && unattended->Refusal.empty())
        unattended->Refusal = SaveCancelledMessage;
}

}  // namespace orv

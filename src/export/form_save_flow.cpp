#include "export/form_save_flow.h"

#include "export/form_progress.h"
#include "export/form_save_settings.h"
#include "export/save_filter.h"

namespace orv {

SaveFlow::SaveFlow(SaveFlowState state, SaveFlowSeams seams, TFormProgress* progress, TFormSaveSettings* settings)
    : state_(std::move(state)), seams_(std::move(seams)), progress_(progress), settings_(settings) {
    if (settings_) settings_->Bind(state_.Format);
}

void SaveFlow::SaveRecording(std::span<const Piece> pieces, uint32_t totalBlocks, const PieceSources& sources) {
    if (totalBlocks <= 1) return;
    StartSave(pieces, {1, totalBlocks}, sources, true, {});
}

void SaveFlow::SaveRecent(std::span<const Piece> pieces, uint32_t blocks, const PieceSources& sources) {
    if (!state_.Busy || blocks <= 1) return;
    BusyGuard guard(*state_.Busy, Holds::AllButTheRecording);
    RunSave(pieces, {1, blocks}, sources, false, {}, false);
}

void SaveFlow::SaveHeld(std::span<const Piece> pieces, SaveRange range, const PieceSources& sources, bool whole,
                        const std::function<void()>& stopPlayback) {
    if (!state_.Busy || range.SaveFirstBlock == 0 || range.SaveLastBlock < range.SaveFirstBlock) return;
    BusyGuard guard(*state_.Busy);  // held in any case, whoever called
    RunSave(pieces, range, sources, whole, stopPlayback);
}

void SaveFlow::OpenSaveSettings() {
    if (Busy() || !settings_) return;
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
                       const std::function<void()>& stopPlayback, bool modal) {
    if (!state_.Format.SaveAsWav || !state_.Format.Wav || !state_.Format.Mp3) return;
    auto message = [this](const std::string& text) {
        if (seams_.Message) seams_.Message(text);
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
    job.TargetPath = seams_.AskFileName ? seams_.AskFileName(folder, filter.Filter, filter.DefaultExtension) : "";
    if (job.TargetPath.empty()) return;
    if (const auto refusal = SaveTargetRefusal(job.TargetPath, state_.WorkingFiles)) {
        message(*refusal);
        return;
    }
    const size_t slash = job.TargetPath.find_last_of('/');
    savedFileName_ = QString::fromStdString(slash == std::string::npos ? job.TargetPath : job.TargetPath.substr(slash + 1));
    if (state_.OutputFolder && slash != std::string::npos)
        *state_.OutputFolder = job.TargetPath.substr(0, slash == 0 ? 1 : slash);

    if (stopPlayback) stopPlayback();
    SaveProgress progress;
    progress.SaveContinue = true;
    progress.pump = [this] {
        if (seams_.ProcessEvents) seams_.ProcessEvents();
    };
    if (progress_) progress_->Begin(progress, savedFileName_, modal);
    const SaveResult result = RunSaveJob(job, sources, progress, seams_.Encoder);
    if (progress_) progress_->End();

    if (result.outcome == SaveOutcome::Failed) message(result.message);
    if (result.ok() && whole && state_.Saved) MarkRecordingSaved(*state_.Saved);
}

}  // namespace orv

// The editor window's commands: edits, effects, undo, saving and the host's dialogs.
#include "editor/form_edit.h"

#include <QTimer>
#include <algorithm>

#include "editor/edit_input.h"

namespace orv {

// ---- commands ----

void TFormEdit::StopPlaybackAndPump() {
    ctx_.Playback.StopPlayback();
    PlacePlayMarks();  // gone at once, not at the next tick
    ProcessEvents();
}

void TFormEdit::ShowResult(const EditResult& r) {
    if (!r.Ok) ctx_.Host.Message(r.Message);
}

void TFormEdit::RunWithProgress(const std::function<EditResult()>& operation) {
    ProgressBar->setValue(0);
    ProgressBar->show();
    ProgressShown = true;
    const EditResult r = operation();
    ProgressShown = false;
    ProgressBar->hide();
    FormResize();
    ProgressBar->hide();
    ShowResult(r);
}

void TFormEdit::EndLongCommand() {
    if (closePending_ && !EditorBusy()) {
        closePending_ = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

TFormEdit::LevelMark TFormEdit::MarkLevel() const {
    const EditorState& e = ctx_.Editor;
    return {e.CurrentLevel, e.TopLevel, e.EditHistory[e.CurrentLevel].Pieces};
}

// Any change of the current level (an edit, undo or redo) makes the recording unsaved again.
void TFormEdit::NoteEdit(const LevelMark& before) {
    if (MarkLevel() == before) return;
    editsUnsaved_ = true;
    if (ctx_.Saved) MarkRecordingEdited(*ctx_.Saved);
}

bool TFormEdit::EnoughSpaceFor(uint64_t blocks) {
    const int64_t free = ctx_.Host.FreeBytes(ctx_.WorkingFolder);
    if (free < 0 || static_cast<uint64_t>(free) >= blocks * BlockBytes) return true;
    ctx_.Host.Message("There is not enough free space in the working folder for this edit.");
    return false;
}

bool TFormEdit::EnoughSpaceForEffect() { return EnoughSpaceFor(SelectedBlockCount(ctx_.Editor)); }

// body runs under the busy guard with playback stopped; after runs once the guard is released.
#define ORV_COMMAND(body, after)              \
    if (EditorBusy() || !open_) return;       \
    {                                         \
        BusyGuard guard(ctx_.Busy);           \
        const LevelMark before = MarkLevel(); \
        StopPlaybackAndPump();                \
        body                                  \
        NoteEdit(before);                     \
    }                                         \
    after                                     \
    EndLongCommand();
#define ORV_LONG_COMMAND(body) ORV_COMMAND(body, )

void TFormEdit::menuCutClick() {
    ORV_LONG_COMMAND({
        EditorContext c = Context();
        RunWithProgress([&] { return CutSelection(ctx_.Editor, c); });
    })
}

void TFormEdit::menuCopyClick() {
    ORV_LONG_COMMAND({
        EditorContext c = Context();
        RunWithProgress([&] { return CopySelection(ctx_.Editor, c); });
    })
}

void TFormEdit::menuPasteClick() {
    ORV_LONG_COMMAND({
        if (EnoughSpaceFor(ctx_.Editor.ClipBlockCount)) {
            EditorContext c = Context();
            RunWithProgress([&] { return InsertBlocks(ctx_.Editor, c, "Paste"); });
        }
    })
}

// An effect over the selection when the disk has room for its blocks; prepare runs first.
#define ORV_EFFECT_COMMAND(prepare, effect)                                        \
    ORV_LONG_COMMAND({                                                             \
        if (EnoughSpaceForEffect()) {                                              \
            prepare;                                                               \
            EditorContext c = Context();                                           \
            RunWithProgress([&] { return ApplyEffect(ctx_.Editor, c, effect); }); \
        }                                                                          \
    })

void TFormEdit::menuFadeInClick() { ORV_EFFECT_COMMAND(PrepareFade(ctx_.Editor, true), "FadeIn") }

void TFormEdit::menuFadeOutClick() { ORV_EFFECT_COMMAND(PrepareFade(ctx_.Editor, false), "FadeOut") }

void TFormEdit::menuNormalizeClick() { ORV_EFFECT_COMMAND((void)0, "Normalize") }

void TFormEdit::menuAmplifyClick() {
    // The progress bar shows the loudness measure that the question quotes.
    ORV_LONG_COMMAND({
        RunWithProgress([&]() -> EditResult {
            EditorContext c = Context();
            const long n = static_cast<long>(RoundEven(static_cast<double>(NormalizeGain(ctx_.Editor, c)) * 100.0));
            const std::string text = ctx_.Host.InputBox(
                "Amplify",
                "Input Amplification Factor (1-1000%)\rOriginal Level - 100%\rSound Clipping Level - " +
                    std::to_string(n),
                "100");
            const AmplifyInput in = ParseAmplifyPercent(text);
            if (!in.Ok) return EditResult::Failure(in.Error);
            if (in.Percent == 100 || !EnoughSpaceForEffect()) return {};
            ctx_.Editor.AmplifyFactor = in.Percent / 100.0;
            return ApplyEffect(ctx_.Editor, c, "Amplify");
        });
    })
}

void TFormEdit::menuSilenceClick() {
    ORV_LONG_COMMAND({
        const std::string text = ctx_.Host.InputBox("Insert Silence", "Insert Silence in seconds:", "0");
        const SilenceInput in =
            ParseSilenceSeconds(text, ctx_.DecimalPoint, ctx_.Editor.TotalBlocks, PeakTableSize);
        if (!in.Ok) {
            ctx_.Host.Message(in.Error);
        } else if (in.Blocks > 0 && EnoughSpaceFor(in.Blocks)) {
            ctx_.Editor.SilenceBlockCount = in.Blocks;
            EditorContext c = Context();
            RunWithProgress([&] { return InsertBlocks(ctx_.Editor, c, "Silence"); });
        }
    })
}

#define ORV_SHORT_COMMAND(body) ORV_COMMAND(body, FormResize();)

void TFormEdit::menuUndoClick() { ORV_SHORT_COMMAND(UndoEdit(ctx_.Editor);) }

void TFormEdit::menuRedoClick() { ORV_SHORT_COMMAND(RedoEdit(ctx_.Editor);) }

void TFormEdit::menuDeleteClick() { ORV_SHORT_COMMAND(DeleteSelection(ctx_.Editor);) }

void TFormEdit::menuAddMarkerClick() { ORV_SHORT_COMMAND((void)AddMarkerAtInsertPoint(ctx_.Editor);) }

// The nearest marker within a few pixels of the insertion point at this zoom.
void TFormEdit::menuRemoveMarkerClick() { ORV_SHORT_COMMAND((void)RemoveMarkerNear(ctx_.Editor, 3 * view_.Z());) }

#undef ORV_EFFECT_COMMAND
#undef ORV_LONG_COMMAND
#undef ORV_SHORT_COMMAND
#undef ORV_COMMAND

void TFormEdit::menuSelectAllClick() {
    if (EditorBusy() || !open_ || ctx_.Editor.TotalBlocks == 0) return;
    ctx_.Editor.SelStart = 1;
    ctx_.Editor.SelEnd = ctx_.Editor.TotalBlocks;
    ctx_.Editor.InsertPoint = 1;
    DrawView();
    UpdateSelectionStatus();
}

void TFormEdit::SaveRange(uint32_t first, uint32_t last) {
    {
        BusyGuard guard(ctx_.Busy);
        ctx_.Playback.StopPlayback();
        const PieceSources sources{&ctx_.Capture.RawStream, &ctx_.Editor.EditFile};
        ctx_.Host.SaveEditedRange(first, last, CurrentPieces(ctx_.Editor), sources, CurrentMarkers(ctx_.Editor), this);
        // Edits leave the recording unsaved until a whole save completes.
        if (ctx_.Saved && ctx_.Saved->Saved) editsUnsaved_ = false;
    }
    DrawView();
    EndLongCommand();
}

void TFormEdit::menuSaveAllClick() {
    if (EditorBusy() || !open_ || ctx_.Editor.TotalBlocks == 0) return;
    SaveRange(1, ctx_.Editor.TotalBlocks);
}

void TFormEdit::menuSaveSelectionClick() {
    if (EditorBusy() || !open_) return;
    const EditorState& e = ctx_.Editor;
    if (e.SelStart == e.SelEnd) {
        ctx_.Host.Message("Please Select Waveform!");
        return;
    }
    SaveRange(std::min(e.SelStart, e.SelEnd), std::min(std::max(e.SelStart, e.SelEnd), e.TotalBlocks));
}

void TFormEdit::menuExplorerClick() { ctx_.Host.OpenOutputFolder(); }

void TFormEdit::menuExitClick() { close(); }

void TFormEdit::menuSaveSettingsClick() { ctx_.Host.ShowSaveSettings(this); }

void TFormEdit::menuPlayBackClick() { ctx_.Host.OpenPlaybackDevices(); }

void TFormEdit::menuOrvaneHelpClick() { ctx_.Host.OpenHelp(); }

void TFormEdit::menuAboutClick() { ctx_.Host.ShowAbout(this); }

}  // namespace orv

// The main window's recording commands, its timers and the volume knob.

#include "shell/form_main.h"

#include <QMouseEvent>

#include "export/form_save_flow.h"
#include "record/recent_recording.h"

namespace orv {

void TFormMain::PlaceVolumeKnob() {
    if (!st_.Input.VolumeKnown || VolumeDragging) return;
    ImageVol->move(KnobLeftForVolume(st_.Input.VolumeState), ImageVol->y());
}

void TFormMain::ImageVolMouseDown(Qt::MouseButton button, int x) {
    VolumeDragging = button == Qt::LeftButton;
    VolumeDragStartX = x;
}

void TFormMain::ImageVolMouseMove(int x) {
    if (!VolumeDragging) return;
    const int left = DraggedKnobLeft(ImageVol->x(), x - VolumeDragStartX);
    ImageVol->move(left, ImageVol->y());
    if (st_.Input.MixerReady) {
        seams_.Mixer.recordSetInput(st_.Input.InputIndex, VolumeForKnobLeft(left) | platform::INPUT_VOLUME);
        // The mixer is read once a second: until then the knob stays where it was dragged.
        st_.Input.VolumeState = (st_.Input.VolumeState & ~0xFFFFu) | VolumeForKnobLeft(left);
    }
}

void TFormMain::ImageVolMouseUp() { VolumeDragging = false; }

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ImageVol) {
        // Only a mouse event is a QMouseEvent: paint and other events pass here too.
        auto mouse = [event] { return static_cast<QMouseEvent*>(event); };
        switch (event->type()) {
            case QEvent::MouseButtonPress:
                ImageVolMouseDown(mouse()->button(), int(mouse()->position().x()));
                return true;
            case QEvent::MouseMove: ImageVolMouseMove(int(mouse()->position().x())); return true;
            case QEvent::MouseButtonRelease: ImageVolMouseUp(); return true;
            default: break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// While an operation lets events run (the busy guard), the timers leave
// capture, its memory and the recording alone, unless the operation leaves
// the recording alone (a save of its last minutes).
void TFormMain::TimerRecTimer() {
    if (st_.Busy.HoldsRecording()) return;
    control_->TimerRecTimer();
}

void TFormMain::TimerStatusTimer() {
    if (st_.Busy.HoldsRecording()) return;
    // Only a pending change of source needs it (the caption says what it waits for).
    controlState_.RecordingUnsaved =
        st_.Input.DeviceChanged && RecordingUnsaved(st_.RecordingSaved, st_.Capture.RawFileName);
    control_->TimerStatusTimer();
    PlaceVolumeKnob();
    EnableSaveRecent();
    if (st_.Busy.Busy()) return;  // a pending restart or close waits for the operation
    if (st_.Input.DeviceChanged && RestartAllowed()) RestartProgram();
    if (closePending_) {
        closePending_ = false;
        close();
    }
}

// While a save or an edit runs (st_.Busy), the commands that touch the
// recording or the working files are ignored.
void TFormMain::BtnRecordClick() {
    if (st_.Busy.Busy()) return;
    if (!st_.Shell.WorkingFolderError.empty()) {
        seams_.Dialogs.Message(st_.Shell.WorkingFolderError);
        return;
    }
    if (!st_.Capture.Recording && !st_.Capture.CurrentDeviceName.empty() &&
        RecordingUnsaved(st_.RecordingSaved, st_.Capture.RawFileName) &&
        !seams_.Dialogs.ConfirmDefaultNo(DiscardRecordingQuestion))
        return;
    const bool wasRecording = st_.Capture.Recording;
    control_->BtnRecordClick();
    if (!wasRecording && st_.Capture.Recording) MarkNewRecording(st_.RecordingSaved);
    EnableSaveRecent();
}

// Also while the recording's last minutes are being saved: that save has its own copy.
void TFormMain::BtnStopClick() {
    if (st_.Busy.HoldsRecording()) return;
    control_->BtnStopClick();
    EnableSaveRecent();
}

void TFormMain::BtnEditClick() {
    if (!st_.Busy.Busy()) control_->BtnEditClick();
}

void TFormMain::CmbBoxTimeChange() {
    if (st_.Busy.Busy()) {
        CmbBoxTime->setCurrentIndex(controlState_.ModeIndex);
        return;
    }
    control_->CmbBoxTimeChange(CmbBoxTime->currentIndex());
}

void TFormMain::menuAddMarkerClick() {
    if (st_.Busy.HoldsRecording()) return;
    control_->AddMarkerClick();
}

void TFormMain::ChBoxDCClick() { control_->ChBoxDCClick(ChBoxDC->isChecked()); }

void TFormMain::menuSaveAsClick() {
    if (st_.Busy.Busy()) return;
    const std::optional<std::vector<Piece>> pieces = control_->RecordingToSave();
    if (!pieces) return;
    saveFlow_->SaveRecording(*pieces, st_.Capture.TotalBlocks, PieceSources{&st_.Capture.RawStream, nullptr},
                             st_.Capture.Markers);
}

void TFormMain::menuSaveRecentClick() { SaveRecent(nullptr); }

void TFormMain::SaveRecent(UnattendedSave* unattended) {
    if (st_.Busy.Busy() || !st_.Capture.Recording) return;
    // From the moment taken to the end of its save: every other command waits,
    // the recording does not.
    BusyGuard busy(st_.Busy, Holds::AllButTheRecording);
    EnableSaveRecent();
    std::string message;
    // What the recording keeps free for itself: its reserve and the rest of a
    // loop's first pass; nothing once Stop has ended it during the save.
    auto keep = [this] {
        return st_.Capture.Recording ? MinFreeSeconds * BytesPerSecond + RecordingGrowthBytes(st_.Capture) : 0;
    };
    const std::string& folder = st_.Shell.Files.WorkingFolder;
    const std::unique_ptr<RecentRecording> recent = TakeRecentRecording(
        st_.Capture, st_.Shell.Files.RecentFileName, seams_.FreeSpace.freeBytes(folder), MinFreeSeconds * BytesPerSecond,
        [this] {
            ProcessEvents(Holds::AllButTheRecording);
            return !st_.Shell.Terminating;
        },
        message);
    if (recent)
        saveFlow_->SaveRecent(recent->Pieces(), recent->Blocks(), recent->Sources(),
                              RecordingRoom{&seams_.FreeSpace, folder, keep}, recent->Markers(), unattended);
    else if (unattended)
        unattended->Refusal = message;
    else if (!st_.Shell.Terminating)
        seams_.Dialogs.Message(message);
}

void TFormMain::SaveEditedRange(uint32_t first, uint32_t last, std::span<const Piece> pieces,
                                const PieceSources& sources, QWidget* over, const MarkerList& markers) {
    // The editor holds the busy guard around this call.
    uint32_t total = 0;
    for (const Piece& p : pieces) total = std::max(total, p.LastPosition());
    saveFlow_->SaveHeld(pieces, {first, last, markers}, sources, first == 1 && last >= total, {}, over);
}

}  // namespace orv

#pragma once
// The capture engine: wave-in device 0 kept open with 40 queued blocks,
// polled every 100 ms. While recording, full halves (20 blocks, 2 s) go to
// the raw recording file straight on or as a ring of the last minutes.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/raw_file.h"
#include "platform/wave_in.h"
#include "record/format.h"
#include "record/markers.h"
#include "record/processing.h"

namespace orv {

// What the engine asks of the windows; every hook may be left empty.
struct CaptureHooks {
    std::function<void(const std::string&)> ShowMessage;
    std::function<bool()> Minimized;
    std::function<void()> PushWaveHistory;     // a recorded block was measured
    std::function<void()> DrawTimeBarColumn;
    std::function<void()> DrawLiveDisplays;    // meters, and the live waveform while recording
};

struct CaptureState {
    bool CaptureOpen = false;
    bool Recording = false;
    bool LoopMode = false;
    bool RingFilled = false;
    // The mode the current recording was made in: the mode list may change
    // after a stop, the file's time order may not.
    bool RecordedLoopMode = false;
    uint32_t BlockSequence = 0;
    uint32_t LastBlockSeen = 0;
    uint32_t LastWrittenBlock = 0;
    int32_t HalvesWritten = 0;
    // Blocks written to the raw file since the recording started: how far a
    // ring moved on since a moment someone is copying out of it.
    uint64_t BlocksWritten = 0;
    int32_t LoopHalves = 0;
    int32_t LoopMinutes = 0;
    uint32_t TotalBlocks = 0;
    int32_t CurrentBlock = -1;

    std::array<platform::WaveHeader, CaptureBlockCount> CaptureHeaders;
    // The sequence number each header was queued (or renumbered) with; unlike
    // the user field it is not cleared when the block is processed.
    std::array<uint32_t, CaptureBlockCount> QueuedSequence{};
    std::array<int, CaptureBlockCount> BlockFull{};

    std::array<platform::WaveInCaps, 11> DeviceCaps{};
    std::vector<std::string> DeviceNames;
    std::string CurrentDeviceName;

    std::string RawFileName;
    platform::RawFile RawStream;
    // Where the ring stands on disk (record/ring_position.h), replaced at
    // every half written and at the stop once a loop recording's ring has
    // filled; empty: not kept.
    std::string RingFileName;

    // Markers of the recording in its time order (blocks from 1, the oldest
    // block of a loop's ring first), as the editor and Save As take them.
    MarkerList Markers;
    // The running (or last) recording's markers as it made them, ascending.
    struct LiveMarker {
        uint32_t Count = 0;   // blocks recorded since the start, the marked one included
        bool OnFile = false;  // its record is in the marker file
    };
    std::vector<LiveMarker> LiveMarkers;
    // Orvane.mrk (record/marker_file.h), opened at the first record; empty: not kept.
    std::string MarkerFileName;
    platform::RawFile MarkerStream;
    // How often the recording's files reach the disk in the background; 0: left to the system.
    int32_t SyncMilliseconds = 0;

    // The editor works in CaptureMemory; capture stays closed meanwhile.
    bool MemoryLent = false;

    // Set when a write to the raw file failed; the recording was stopped
    // with everything before the failure kept as whole blocks.
    bool WriteFailed = false;
    std::string WriteError;

    // The device's own failure text as the last poll read it, and for how
    // many polls in a row it has been there (0: blocks flow).
    std::string DeviceError;
    int32_t DeviceErrorPolls = 0;
};

// Blocks of the ring a loop recording writes; 0 for a continuous one.
uint32_t RingBlocksOf(const CaptureState& s);
// The count since the start of the block queued with sequence number seq.
uint32_t CountOfSequence(const CaptureState& s, uint32_t seq);
// The file block that the block with this count lies in.
uint32_t FileBlockOfCount(const CaptureState& s, uint32_t count);
// Where the time bar shows the live markers: their file blocks.
MarkerList TimeBarMarkerBlocks(const CaptureState& s);
// The live markers in the stopped recording's time order (TotalBlocks,
// LastWrittenBlock and the mode it was made in as Save As reads them).
MarkerList MarkersInTimeOrder(const CaptureState& s);

// The name stored in a capability record, up to its first zero byte.
std::string CapsName(const platform::WaveInCaps& caps);

// The editor's hold on the capture memory: granted only while capture is
// closed, and while held OpenCapture does nothing.
class CaptureMemoryLoan {
public:
    explicit CaptureMemoryLoan(CaptureState& s) : s_(s), granted_(!s.CaptureOpen && !s.MemoryLent) {
        if (granted_) s_.MemoryLent = true;
    }
    ~CaptureMemoryLoan() {
        if (granted_) s_.MemoryLent = false;
    }
    CaptureMemoryLoan(const CaptureMemoryLoan&) = delete;
    CaptureMemoryLoan& operator=(const CaptureMemoryLoan&) = delete;
    bool Granted() const { return granted_; }

private:
    CaptureState& s_;
    bool granted_;
};

class CaptureEngine {
public:
    CaptureEngine(CaptureState& state, RecordBuffers& buffers, ProcessingState& processing,
                  platform::WaveIn& device, CaptureHooks& hooks)
        : s_(state), b_(buffers), p_(processing), dev_(device), hooks_(hooks) {}

    void OpenCapture();
    void CloseCapture();
    void PollCapture();
    void FlushHalf(int half);  // 0: blocks 0-19, 1: blocks 20-39
    void QueueCaptureBlock(int i);
    void ListCaptureDevices();
    int FindCaptureDevice(const std::string& name) const;

    // The stop path shared by Stop and the automatic stops: close, take the
    // last written block and the block count from the file, and the markers
    // in time order.
    void FinishRecording();

    // A marker at the block being recorded; false when not recording or
    // when that block is marked already.
    bool AddMarkerNow();

    platform::WaveIn& Device() { return dev_; }
    CaptureState& State() { return s_; }

private:
    uint8_t* BlockData(int i) { return b_.CaptureMemory.data() + size_t(i) * BlockBytes; }
    void ProcessCurrent(bool storePeaks);
    void RefilePeaks(int i, uint32_t seq);
    bool WriteToRaw(uint64_t offset, const uint8_t* data, size_t bytes);
    // Ends the recording at a failed write: the file ends (or the ring's
    // newest block lies) at byte end; the user is told why.
    void StopWriting(uint64_t end, std::string error);
    // The one place the ring position file is written.
    void WriteRingPosition();
    // Markers whose blocks are on disk get their records; those the ring
    // came round over fall away.
    void NoteMarkersOnDisk();
    void Message(const std::string& text) {
        if (hooks_.ShowMessage) hooks_.ShowMessage(text);
    }

    CaptureState& s_;
    RecordBuffers& b_;
    ProcessingState& p_;
    platform::WaveIn& dev_;
    CaptureHooks& hooks_;
};

}  // namespace orv

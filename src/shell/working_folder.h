#pragma once
// The working folder and its files: where the raw recording and the editor's
// working files live between start and close.
#include <functional>
#include <string>

namespace orv {

struct WorkingFiles {
    std::string WorkingFolder;
    std::string RawFileName;   // Orvane.raw
    std::string EditFileName;  // Edit.raw
    std::string ClipFileName;  // Clp.raw
    std::string PeakFileName;  // Orvane.spv
    std::string FoundRecordingName;  // test
    std::string RingFileName;  // Orvane.pos, where a loop recording's ring stands
    std::string RecentFileName;  // Recent.raw, a running loop's last minutes while they are saved
    std::string MarkerFileName;  // Orvane.mrk, the recording's markers as they reach the disk
};

// dataFolder/"Orvane Recorder" when that folder exists, else exeFolder/"Temp"
// when it exists or can be created (a build run from its build folder). An
// installed program cannot write beside its executable: it then gets
// dataFolder/"Orvane Recorder", with any missing parent folders made here.
// An installed program (installed = true) never uses the folder beside its executable.
std::string ChooseWorkingFolder(const std::string& dataFolder, const std::string& exeFolder, bool installed = false);
// Creates the folder (one level) when missing; on failure error is "Can not create " + folder.
bool PrepareWorkingFolder(const std::string& folder, std::string& error);
WorkingFiles NameWorkingFiles(const std::string& folder);

// Start-up clean-up. Edit.raw, Clp.raw and Recent.raw are deleted, and the
// hidden part files of replaces whose process is gone (a start killed while
// it kept a recording). A non-empty Orvane.raw
// is a recording that a crash or power cut interrupted: it becomes the found
// recording "test" when there is none (an older peak summary goes with the
// old "test"), else it is kept under a name that says when it was recorded.
// A loop recording whose ring position (Orvane.pos) fits it is copied in the
// order it was heard; without a fitting position it is kept as it lies. A
// kept WAV file past 4 GB is RF64. The markers of Orvane.mrk that still fit
// the recording come with it: as the found recording's companion "test.mrk",
// or as the kept WAV file's cue points. Every copy takes its name only once it is
// on the disk, and the raw file goes only after that.
// progress is told the share copied (0 to 100) between chunks of a copy,
// which may take minutes for hours of recording; it may let events run.
// Returns the note for the user when a recording was kept, else "".
std::string ClearStaleWorkingFiles(const WorkingFiles& files, const std::function<void(float percent)>& progress = {});

}  // namespace orv

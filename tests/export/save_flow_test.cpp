// The save routine with its windows: the save-format dialog, the file dialog
// answered from a script, the progress dialog's Cancel, and real saves read
// back with sox and lame.
#include <gtest/gtest.h>

#include <QTest>
#include <deque>
#include <filesystem>
#include <fstream>

#include "export/form_progress.h"
#include "export/form_save_flow.h"
#include "export/form_save_settings.h"
#include "export_test_support.h"
#include "record/format.h"
#include "support/temp_dir.h"

namespace orv {
namespace {

struct Asked {
    std::string folder, filter, extension;
};

class SaveFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteSourceFile(dir.file("Orvane.raw"), 30, 1);
        test::WriteSourceFile(dir.file("Edit.raw"), 20, 2);
        ASSERT_TRUE(files.recording.open(dir.file("Orvane.raw"), platform::RawFile::Mode::Read));
        ASSERT_TRUE(files.edit.open(dir.file("Edit.raw"), platform::RawFile::Mode::Read));
        std::filesystem::create_directory(outputFolder);
    }

    SaveFlow MakeFlow(platform::EncoderLoader encoder = {}) {
        SaveFlowState state{{&saveAsWav, &saveAsMp3, &wav, &mp3}, &outputFolder, &busy, &saved,
                            {dir.file("Orvane.raw"), dir.file("Edit.raw")}};
        SaveFlowSeams seams{
            [this](const std::string& text) { messages.push_back(text); },
            [this](const std::string& folder, const std::string& filter, const std::string& extension) {
                asked.push_back({folder, filter, extension});
                if (answers.empty()) return std::string();
                std::string a = answers.front();
                answers.pop_front();
                return a;
            },
            [this] {
                QCoreApplication::processEvents();
                if (onPump) onPump(++pumps);
            },
            std::move(encoder)};
        return SaveFlow(std::move(state), std::move(seams), &progressForm, &settingsForm);
    }

    test::TempDir dir;
    test::SourceFiles files;
    std::string outputFolder = dir.file("out");
    bool saveAsWav = false, saveAsMp3 = true;
    WavParameters wav;
    Mp3Parameters mp3;
    BusyState busy;
    RecordingSavedState saved;
    std::vector<std::string> messages;
    std::vector<Asked> asked;
    std::deque<std::string> answers;
    std::function<void(int)> onPump;
    int pumps = 0;
    TFormProgress progressForm;
    TFormSaveSettings settingsForm;
    // Timeline 1-4: recording 11-14; 5-7: Edit.raw 2-4; 8-12: recording 1-5.
    std::vector<Piece> edited{{1, 4, 11, true}, {5, 3, 2, false}, {8, 5, 1, true}};
};

TEST_F(SaveFlowTest, DefaultsOfferMp3AndACancelledDialogChangesNothing) {
    SaveFlow flow = MakeFlow();
    flow.SaveHeld(edited, {1, 12}, files.sources(), true);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].filter, "128 kbps stereo (*.mp3)|*.MP3");
    EXPECT_EQ(asked[0].extension, "mp3");
    EXPECT_EQ(asked[0].folder, dir.file("out"));
    EXPECT_EQ(outputFolder, dir.file("out"));
    EXPECT_TRUE(std::filesystem::is_empty(outputFolder));
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(saved.Saved);
    EXPECT_FALSE(busy.Busy());
}

TEST_F(SaveFlowTest, NothingStartsWhileBusy) {
    SaveFlow flow = MakeFlow();
    BusyGuard editing(busy);
    flow.SaveRecording(edited, 12, files.sources());
    flow.OpenSaveSettings();
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(settingsForm.isVisible());
}

// One row per rule of the dialog: what the user does, what is stored.
struct DialogRow {
    const char* name;
    std::function<void(TFormSaveSettings&)> act;  // ends by closing the dialog
    std::function<void(const bool& saveAsWav, const WavParameters&, const Mp3Parameters&)> check;
    const char* filter;
};

class SaveSettingsDialogTest : public SaveFlowTest, public ::testing::WithParamInterface<DialogRow> {};

TEST_P(SaveSettingsDialogTest, StoresTheChosenItems) {
    SaveFlow flow = MakeFlow();
    settingsForm.show();  // loads the record
    GetParam().act(settingsForm);
    EXPECT_FALSE(settingsForm.isVisible());
    GetParam().check(saveAsWav, wav, mp3);
    EXPECT_NE(saveAsWav, saveAsMp3);
    flow.SaveHeld(edited, {1, 12}, files.sources(), true);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].filter, GetParam().filter);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SaveSettingsDialogTest,
    ::testing::Values(
        DialogRow{"MonoWavItem",
                  [](TFormSaveSettings& d) {
                      d.PControlFormat->setCurrentWidget(d.TSheetWav);
                      d.CBoxWavChannel->setCurrentIndex(1);
                      QTest::mouseClick(d.BitBtnOK, Qt::LeftButton);
                  },
                  [](const bool& w, const WavParameters& p, const Mp3Parameters&) {
                      EXPECT_TRUE(w);
                      EXPECT_EQ(p.WavChannels, 1);
                  },
                  "44100Hz 16bit mono (*.wav)|*.WAV"},
        DialogRow{"JointStereo",
                  [](TFormSaveSettings& d) {
                      d.CBoxMP3Mode->setCurrentIndex(1);
                      d.BitBtnOKClick();
                  },
                  [](const bool& w, const WavParameters&, const Mp3Parameters& m) {
                      EXPECT_FALSE(w);
                      EXPECT_EQ(m.Mp3Mode, 1);
                  },
                  "128 kbps joint stereo (*.mp3)|*.MP3"},
        DialogRow{"MonoMp3IsModeThree",
                  [](TFormSaveSettings& d) {
                      d.CBoxMP3Mode->setCurrentIndex(2);
                      d.CBoxMP3BitRate->setCurrentIndex(4);
                      d.BitBtnOKClick();
                  },
                  [](const bool&, const WavParameters&, const Mp3Parameters& m) {
                      EXPECT_EQ(m.Mp3Mode, 3);
                      EXPECT_EQ(m.Mp3BitRate, 64);
                  },
                  "64 kbps mono (*.mp3)|*.MP3"},
        DialogRow{"WavSheetKeptWhenClosedWithTheCloseBox",
                  [](TFormSaveSettings& d) {
                      d.PControlFormat->setCurrentWidget(d.TSheetWav);
                      EXPECT_EQ(d.PControlFormat->tabText(0), "WAV");
                      EXPECT_EQ(d.PControlFormat->tabText(1), "mp3");
                      d.CBoxWavSpsIn->setCurrentIndex(2);
                      d.CBoxWavBits->setCurrentIndex(1);
                      d.close();
                  },
                  [](const bool& w, const WavParameters& p, const Mp3Parameters&) {
                      EXPECT_TRUE(w);
                      EXPECT_EQ(p.WavSampleRate, 11025);
                      EXPECT_EQ(p.WavBitsPerSample, 8);
                  },
                  "11025Hz 8bit stereo (*.wav)|*.WAV"},
        DialogRow{"EscapeStoresTooAndVbrShowsTheRange",
                  [](TFormSaveSettings& d) {
                      d.ChBoxEnableVBR->setChecked(true);
                      d.CBoxMinBRate->setCurrentIndex(2);
                      d.CBoxMaxBRate->setCurrentIndex(10);
                      d.TBarVBRQuality->setValue(6);
                      d.ChBoxOriginal->setChecked(true);
                      QTest::keyClick(&d, Qt::Key_Escape);
                  },
                  [](const bool&, const WavParameters&, const Mp3Parameters& m) {
                      EXPECT_TRUE(m.Mp3Vbr);
                      EXPECT_EQ(m.Mp3VbrQuality, 6);
                      EXPECT_TRUE(m.Mp3Original);
                      EXPECT_FALSE(m.Mp3Copyright);
                  },
                  "VBR 48-192 kbps stereo (*.mp3)|*.MP3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaveFlowTest, DialogShowsTheRecordAndFallsBackForValuesOffItsLists) {
    saveAsWav = true;
    saveAsMp3 = false;
    wav = {22050, 1, 8};
    mp3.Mp3BitRate = 130;     // not an item: the first
    mp3.Mp3MaxBitRate = 999;  // not an item: the last
    mp3.Mp3Mode = 3;
    SaveFlow flow = MakeFlow();
    settingsForm.show();
    EXPECT_EQ(settingsForm.PControlFormat->currentWidget(), settingsForm.TSheetWav);
    EXPECT_EQ(settingsForm.CBoxWavSpsIn->currentIndex(), 1);
    EXPECT_EQ(settingsForm.CBoxWavChannel->currentIndex(), 1);
    EXPECT_EQ(settingsForm.CBoxWavBits->currentIndex(), 1);
    EXPECT_EQ(settingsForm.CBoxMP3BitRate->currentText(), "32");
    EXPECT_EQ(settingsForm.CBoxMaxBRate->currentText(), "320");
    EXPECT_EQ(settingsForm.CBoxMP3Mode->currentIndex(), 2);
    settingsForm.BitBtnOKClick();
    EXPECT_EQ(mp3.Mp3BitRate, 32);
    EXPECT_EQ(mp3.Mp3MaxBitRate, 320);
    EXPECT_EQ(settingsForm.size(), QSize(347, 266));
}

// Esc and the close box of the progress dialog cancel like its button; the
// file that was there stays as it was.
class ProgressCancelTest : public SaveFlowTest, public ::testing::WithParamInterface<int> {};

TEST_P(ProgressCancelTest, CancelsAndKeepsTheExistingFile) {
    saveAsWav = true;
    const std::string target = dir.file("out/take.wav");
    std::ofstream(target) << "older";
    answers = {target};
    onPump = [this](int n) {
        if (n != 3) return;
        EXPECT_TRUE(progressForm.isVisible());
        EXPECT_EQ(progressForm.windowTitle(), "Saving...take.wav");
        if (GetParam() == 0) QTest::keyClick(&progressForm, Qt::Key_Escape);
        if (GetParam() == 1) progressForm.close();
        if (GetParam() == 2) QTest::mouseClick(progressForm.BtnCancel, Qt::LeftButton);
    };
    SaveFlow flow = MakeFlow();
    flow.SaveHeld(edited, {1, 12}, files.sources(), true);
    EXPECT_EQ(pumps, 3);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(test::ReadAll(target), std::vector<uint8_t>({'o', 'l', 'd', 'e', 'r'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(outputFolder), {}), 1);
    EXPECT_FALSE(saved.Saved);
}

INSTANTIATE_TEST_SUITE_P(EscCloseBoxButton, ProgressCancelTest, ::testing::Values(0, 1, 2));

// Real saves of the edited recording, read back by other programs.
struct RealRow {
    const char* name;
    bool wav;
    WavParameters format;
    Mp3Parameters mp3;
    const char* rate;
    const char* channels;
};

class RealSaveTest : public SaveFlowTest, public ::testing::WithParamInterface<RealRow> {};

std::string Info(const std::string& option, const std::string& file, const std::string& scratch) {
    test::CommandResult r = test::RunCommand("sox --i " + option + " '" + file + "'", scratch);
    EXPECT_EQ(r.status, 0) << file;
    while (!r.output.empty() && (r.output.back() == '\n' || r.output.back() == ' ')) r.output.pop_back();
    return r.output;
}

TEST_P(RealSaveTest, OtherProgramsReadWhatWasSaved) {
    if (!test::ToolAvailable("sox") || !test::ToolAvailable("lame")) GTEST_SKIP() << "needs sox and lame";
    const RealRow& row = GetParam();
    saveAsWav = row.wav;
    saveAsMp3 = !row.wav;
    wav = row.format;
    mp3 = row.mp3;
    const std::string target = dir.file(std::string("out/take.") + (row.wav ? "wav" : "mp3"));
    answers = {target};
    SaveFlow flow = MakeFlow(platform::EncoderLoaderFor(ORV_LAME_ENC_PATH));
    flow.SaveHeld(edited, {1, 12}, files.sources(), true);
    ASSERT_TRUE(messages.empty()) << messages[0];
    EXPECT_TRUE(saved.Saved);  // the whole edited recording
    EXPECT_EQ(outputFolder, dir.file("out"));

    const std::string scratch = dir.file("scratch.txt");
    std::string readable = target;
    if (!row.wav) {
        readable = dir.file("decoded.wav");
        ASSERT_EQ(test::RunCommand("lame --quiet --decode '" + target + "' '" + readable + "'", scratch).status, 0);
    }
    EXPECT_EQ(Info("-r", readable, scratch), row.rate);
    EXPECT_EQ(Info("-c", readable, scratch), row.channels);
    const double seconds = std::stod(Info("-D", readable, scratch));
    EXPECT_NEAR(seconds, 1.2, row.wav ? 0.001 : 0.06);  // 12 blocks; MP3 frames round up
    if (row.wav) {
        EXPECT_EQ(Info("-b", readable, scratch), std::to_string(row.format.WavBitsPerSample));
        // The samples are the edited order: block 5 is Edit.raw block 2.
        const std::vector<uint8_t> f = test::ReadAll(target);
        const uint32_t frameBytes = row.format.WavChannels * row.format.WavBitsPerSample / 8u;
        const uint32_t stride = 44100 / uint32_t(row.format.WavSampleRate);
        const size_t at = 44 + size_t{4} * (BlockFrames / stride) * frameBytes;
        const int16_t expected = test::SourceSample(2, BlockFrames, 0);
        if (row.format.WavBitsPerSample == 16)
            EXPECT_EQ(int16_t(test::Le16(f, at)), expected);
        else
            EXPECT_EQ(f[at], uint8_t((uint16_t(expected) >> 8) ^ 0x80));
    }
}

Mp3Parameters Vbr() {
    Mp3Parameters m;
    m.Mp3Vbr = true;
    m.Mp3Mode = 3;
    m.Mp3VbrQuality = 4;
    return m;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RealSaveTest,
    ::testing::Values(RealRow{"Wav44100Stereo16", true, {44100, 2, 16}, {}, "44100", "2"},
                      RealRow{"Wav11025Mono8", true, {11025, 1, 8}, {}, "11025", "1"},
                      RealRow{"Mp3Cbr128Stereo", false, {}, {}, "44100", "2"},
                      RealRow{"Mp3VbrMono", false, {}, Vbr(), "44100", "1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaveFlowTest, OnlyAWholeSaveCountsAsSaved) {
    saveAsWav = true;
    answers = {dir.file("out/part.wav"), dir.file("out/all.wav")};
    SaveFlow flow = MakeFlow();
    flow.SaveHeld(edited, {3, 9}, files.sources(), false);
    EXPECT_EQ(platform::fileSize(dir.file("out/part.wav")), 44 + 7 * BlockBytes);
    EXPECT_FALSE(saved.Saved);
    flow.SaveHeld(edited, {1, 12}, files.sources(), true);
    EXPECT_TRUE(saved.Saved);
    EXPECT_EQ(flow.SavedFileName(), "all.wav");
}

}  // namespace
}  // namespace orv

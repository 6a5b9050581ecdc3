// The editor window driven offscreen: mouse and keys as a user gives them,
// answers from a script, pixels read from the view picture.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "editor/editor_fixture.h"
#include "editor/form_edit.h"
#include "platform/raw_file.h"
#include "shell/editor_host.h"
#include "shell/form_main.h"
#include "support/fake_system.h"
#include "support/fake_wave_in.h"
#include "support/temp_dir.h"
#include "support/main_window_rig.h"

namespace orv {
namespace {

class ScriptedHost final : public EditorHost {
public:
    std::vector<std::string> messages;
    std::vector<std::string> prompts;
    std::deque<std::string> answers;  // the default text (a cancel) when it runs out
    int64_t freeBytes = -1;
    std::vector<std::pair<uint32_t, uint32_t>> saves;

    std::vector<std::string> questions;  // answered Yes

    void Message(const std::string& text) override { messages.push_back(text); }
    bool Confirm(const std::string& text) override {
        questions.push_back(text);
        return true;
    }
    std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& def) override {
        prompts.push_back(caption + "|" + prompt);
        if (answers.empty()) return def;
        std::string a = answers.front();
        answers.pop_front();
        return a;
    }
    int64_t FreeBytes(const std::string&) override { return freeBytes; }
    void SaveEditedRange(uint32_t first, uint32_t last, std::span<const Piece>, const PieceSources&, const MarkerList&,
                         QWidget*) override {
        saves.emplace_back(first, last);
    }
    void OpenOutputFolder() override {}
    void ShowSaveSettings(QWidget*) override {}
    void OpenPlaybackDevices() override {}
    void OpenHelp() override {}
    void ShowAbout(QWidget*) override {}
};

void SendMouse(QWidget* w, QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void Key(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
    QTest::keyClick(w->windowHandle(), key, mods);
}

class EditorWindowTest : public ::testing::Test {
protected:
    EditorWindowTest() { AllocateCaptureBuffers(buffers); }
    ~EditorWindowTest() override {
        form.reset();
        CloseEditor(editor);
    }

    void Record(uint32_t blocks, const test::SampleFn& fn = test::NumberedSample) {
        ASSERT_TRUE(cap.RawStream.open(dir.file("Orvane.raw"), platform::RawFile::Mode::Create));
        for (uint32_t k = 1; k <= blocks; ++k) {
            const std::vector<uint8_t> block = test::MakeBlock(k, fn);
            ASSERT_EQ(cap.RawStream.writeAt(BlockOffset(k), block.data(), BlockBytes), BlockBytes);
            std::vector<int16_t> l(BlockFrames), r(BlockFrames);
            for (uint32_t i = 0; i < BlockFrames; ++i) {
                l[i] = SampleAt(&block[4 * i]);
                r[i] = SampleAt(&block[4 * i + 2]);
            }
            StoreBlockPeaks(processing, l.data(), r.data(), buffers.Peaks, k);
        }
        cap.TotalBlocks = blocks;
    }

    TFormEdit& Open() {
        form = std::make_unique<TFormEdit>(EditorWindowContext{editor, cap, buffers, processing, colours, busy,
                                                               playback, host, dir.path(), dir.file("Edit.raw"),
                                                               dir.file("Clp.raw"), ".", &saved});
        form->resize(780, 450);
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        form->TimerPlay->stop();  // the tests tick it themselves
        return *form;
    }

    int X(uint32_t block) const {  // the column showing block at the current zoom and scroll
        const EditorView& v = form->View();
        return form->Geometry().L + int((block - v.ViewFirstBlock) / v.Z());
    }
    int Y() const { return form->Geometry().T + 20; }
    void Press(int x) { SendMouse(form.get(), QEvent::MouseButtonPress, x, Y(), Qt::LeftButton, Qt::LeftButton); }
    void Move(int x) { SendMouse(form.get(), QEvent::MouseMove, x, Y(), Qt::NoButton, Qt::LeftButton); }
    void Release(int x) { SendMouse(form.get(), QEvent::MouseButtonRelease, x, Y(), Qt::LeftButton, Qt::NoButton); }
    void Drag(int from, int to) {
        Press(from);
        const int step = to > from ? 1 : -1;
        for (int x = from + step; x != to + step; x += step) Move(x);
        Release(to);
    }
    std::string Panel(int i) const { return form->StatusPanels[size_t(i)]->text().toStdString(); }
    QRgb ViewPixel(int column, int row) const { return form->View().View.pixel(column, row); }

    test::TempDir dir;
    CaptureState cap;
    RecordBuffers buffers;
    ProcessingState processing;
    EditorState editor;
    ColourSchemeState colours;
    BusyState busy;
    NullPlayback playback;
    ScriptedHost host;
    RecordingSavedState saved;
    std::unique_ptr<TFormEdit> form;
};

TEST_F(EditorWindowTest, ARecordingShorterThanTheViewLeavesBackgroundAndDoesNotZoomOut) {
    Record(100);
    TFormEdit& w = Open();
    EXPECT_EQ(w.View().ZoomLevel, 1);
    const QRgb background = BaseColour(colours).rgb();
    EXPECT_NE(ViewPixel(100, 2), background);
    for (int col : {101, 200, w.Geometry().Columns()}) EXPECT_EQ(ViewPixel(col, 2), background) << col;
    w.BtnDecClick();
    EXPECT_EQ(w.View().ZoomLevel, 1);
    EXPECT_GE(w.minimumWidth(), 780);
    EXPECT_GE(w.minimumHeight(), 450);
}

TEST_F(EditorWindowTest, ClicksAndDragsSetTheSelectionAndStatus) {
    Record(600);
    TFormEdit& w = Open();
    ASSERT_EQ(w.View().ZoomLevel, 1);
    // 45 blocks from block 1.
    Drag(X(1), X(45));
    EXPECT_EQ(editor.SelStart, 1u);
    EXPECT_EQ(editor.SelEnd, 45u);
    EXPECT_EQ(Panel(0), "Start - 00:00:00.0");
    EXPECT_EQ(Panel(1), "End - 00:00:04.5");
    EXPECT_EQ(Panel(2), "Length - 00:00:04.5");
    EXPECT_EQ(ViewPixel(30, 0), QColor(80, 80, 110).rgb());
    // A click without movement collapses the selection where it lands.
    Press(X(300));
    Release(X(300));
    EXPECT_EQ(editor.SelStart, 300u);
    EXPECT_EQ(editor.SelEnd, 300u);
    EXPECT_EQ(editor.InsertPoint, 300u);
    EXPECT_EQ(Panel(0), "Start - 00:00:29.9");
    EXPECT_EQ(Panel(1), "End - ");
    EXPECT_EQ(Panel(2), "Length - ");
    EXPECT_NE(ViewPixel(30, 0), QColor(80, 80, 110).rgb());
    // Right to left: from the release block to the press block.
    Drag(X(200), X(150));
    EXPECT_EQ(editor.SelStart, 150u);
    EXPECT_EQ(editor.SelEnd, 200u);
    EXPECT_EQ(editor.InsertPoint, 150u);
    // Back inside the selection, the nearer edge follows.
    Drag(X(150), X(160));
    EXPECT_EQ(editor.SelStart, 160u);
    EXPECT_EQ(editor.SelEnd, 200u);
    // A drag redraws only the columns that changed.
    Press(X(200));
    Move(X(200) + 1);
    Move(X(200) + 4);
    EXPECT_EQ(w.LastChangedColumns(), 3);
    Release(X(200) + 4);
    EXPECT_EQ(editor.SelEnd, 204u);
    // A press outside the view, another button, or a release with no press do nothing.
    SendMouse(form.get(), QEvent::MouseButtonPress, X(100), w.Geometry().B + 20, Qt::LeftButton, Qt::LeftButton);
    SendMouse(form.get(), QEvent::MouseButtonRelease, X(100), w.Geometry().B + 20, Qt::LeftButton, Qt::NoButton);
    SendMouse(form.get(), QEvent::MouseButtonPress, X(100), Y(), Qt::RightButton, Qt::RightButton);
    SendMouse(form.get(), QEvent::MouseButtonRelease, X(100), Y(), Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(editor.SelStart, 160u);
    EXPECT_EQ(editor.SelEnd, 204u);
}

TEST_F(EditorWindowTest, ZoomScrollAndTheFirstColumn) {
    Record(3000);
    TFormEdit& w = Open();
    EXPECT_EQ(w.View().ZoomLevel, 4);  // the smallest level that shows everything
    w.BtnIncClick();
    ASSERT_EQ(w.View().ZoomLevel, 3);
    // Dragging to the first column selects from block 1, not from block 4.
    Drag(X(200), w.Geometry().L + 1);
    EXPECT_EQ(editor.SelStart, 1u);
    EXPECT_EQ(editor.SelEnd, 200u);
    // Scrolling to the end and zooming in keeps the left edge.
    w.BtnIncClick();
    w.ScrollBar->setValue(w.ScrollBar->maximum());
    const uint32_t left = w.View().ViewFirstBlock;
    EXPECT_GT(left, 0u);
    EXPECT_EQ(left % 2, 0u);
    EXPECT_GE(left + 2u * uint32_t(w.Geometry().Columns()), 3000u - 2u);
    w.BtnIncClick();
    EXPECT_EQ(w.View().ZoomLevel, 1);
    EXPECT_EQ(w.View().ViewFirstBlock, left);
    // The ruler's long ticks stand at every hundredth column unit.
    const int H = w.Geometry().H;
    const QRgb text = colours.TextColour.rgb();
    for (int i = 0; i < w.Geometry().BitmapWidth(); ++i)
        ASSERT_EQ(ViewPixel(i, H + 9) == text, (left + uint32_t(i)) % 100 == 0) << i;
}

TEST_F(EditorWindowTest, SilenceBecomesWholeBlocksAndBadCountsChangeNothing) {
    Record(100);
    TFormEdit& w = Open();
    editor.InsertPoint = 41;
    host.answers = {"1.25", "1.35", "-1", "nan", "inf", "abc", "", "0.04", "40000"};
    w.menuSilenceClick();
    EXPECT_EQ(editor.TotalBlocks, 112u);
    EXPECT_EQ(editor.SelStart, 41u);
    EXPECT_EQ(editor.SelEnd, 52u);
    w.menuSilenceClick();
    EXPECT_EQ(editor.TotalBlocks, 126u);
    ASSERT_TRUE(host.messages.empty());
    const uint16_t level = editor.CurrentLevel;
    for (int i = 0; i < 7; ++i) w.menuSilenceClick();
    EXPECT_EQ(editor.CurrentLevel, level);
    EXPECT_EQ(editor.TotalBlocks, 126u);
    EXPECT_EQ(host.messages.size(), 5u);  // -1, nan, inf, abc, past 10 hours
    EXPECT_EQ(host.prompts.front(), "Insert Silence|Insert Silence in seconds:");
    // Not enough room in the working folder: a message, no level.
    host.freeBytes = 1000;
    host.answers = {"1"};
    w.menuSilenceClick();
    EXPECT_EQ(editor.CurrentLevel, level);
    EXPECT_EQ(host.messages.size(), 6u);
}

TEST_F(EditorWindowTest, AmplifyPromptsWithTheClippingLevelAndRefusesOtherRanges) {
    // Every block peaks at 16384: the clipping level is 200 %.
    Record(30, [](uint32_t, uint32_t f) {
        const int16_t v = int16_t(f % 2 ? 16384 : -1000);
        return std::make_pair(v, int16_t(-v / 2));
    });
    TFormEdit& w = Open();
    Key(form.get(), Qt::Key_A);
    ASSERT_EQ(editor.SelEnd, 30u);
    host.answers = {"100"};
    w.menuAmplifyClick();  // the default
    w.menuAmplifyClick();  // cancelled
    EXPECT_EQ(editor.CurrentLevel, 0);
    EXPECT_EQ(host.prompts.back(),
              "Amplify|Input Amplification Factor (1-1000%)\rOriginal Level - 100%\rSound Clipping Level - 200");
    host.answers = {"1001", "-20", "x"};
    for (int i = 0; i < 3; ++i) w.menuAmplifyClick();
    EXPECT_EQ(editor.CurrentLevel, 0);
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[2], "'x' 不是一个有效的整数值");
    host.answers = {"50"};
    w.menuAmplifyClick();
    EXPECT_EQ(editor.CurrentLevel, 1);
    EXPECT_FALSE(w.ProgressBar->isVisible());
    EXPECT_FALSE(busy.Busy());
}

TEST_F(EditorWindowTest, SelectAllDeleteAndUndoThroughTheKeys) {
    Record(500);
    TFormEdit& w = Open();
    Key(form.get(), Qt::Key_A);
    Key(form.get(), Qt::Key_Delete, Qt::NoModifier);
    EXPECT_EQ(editor.TotalBlocks, 0u);
    // An empty timeline: scroll position 0, nothing drawn, nothing to select.
    EXPECT_EQ(w.ScrollBar->value(), 0);
    EXPECT_EQ(ViewPixel(10, 2), BaseColour(colours).rgb());
    Key(form.get(), Qt::Key_A);
    Press(X(10));
    Release(X(10));
    EXPECT_EQ(editor.TotalBlocks, 0u);
    Key(form.get(), Qt::Key_Z);
    EXPECT_EQ(editor.TotalBlocks, 500u);
    EXPECT_EQ(editor.SelStart, 1u);
    EXPECT_EQ(editor.SelEnd, 500u);
    Key(form.get(), Qt::Key_Y);
    EXPECT_EQ(editor.TotalBlocks, 0u);
}

// A saved recording becomes unsaved by whatever changes the edited recording,
// and only by that: copying, selecting and a refused command leave it saved.
TEST_F(EditorWindowTest, OnlyCommandsThatChangeTheRecordingMakeItUnsaved) {
    struct Case {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        bool unsaved;
    };
    const Case cases[] = {
        {"copy", Qt::Key_C, Qt::ControlModifier, false},
        {"select all", Qt::Key_A, Qt::ControlModifier, false},
        {"undo with nothing to undo", Qt::Key_Z, Qt::ControlModifier, false},
        {"cut", Qt::Key_X, Qt::ControlModifier, true},
        {"delete", Qt::Key_Delete, Qt::NoModifier, true},
    };
    Record(300);
    Open();
    for (const Case& c : cases) {
        editor.SelStart = 20;
        editor.SelEnd = 40;
        MarkRecordingSaved(saved);
        Key(form.get(), c.key, c.mods);
        EXPECT_EQ(!saved.Saved, c.unsaved) << c.name;
    }
    // Undo and redo of a real edit change the recording too.
    MarkRecordingSaved(saved);
    Key(form.get(), Qt::Key_Z);
    EXPECT_FALSE(saved.Saved) << "undo";
    MarkRecordingSaved(saved);
    Key(form.get(), Qt::Key_Y);
    EXPECT_FALSE(saved.Saved) << "redo";
}

TEST_F(EditorWindowTest, NothingActsWhileAFadeRunsAndCloseWaitsForIt) {
    Record(200);
    TFormEdit& w = Open();
    Drag(X(10), X(60));
    int steps = 0;
    bool closedInside = false;
    w.OnOperationStep = [&] {
        if (steps++ != 0) return;
        Key(form.get(), Qt::Key_Z);
        Key(form.get(), Qt::Key_Delete, Qt::NoModifier);
        Key(form.get(), Qt::Key_A);
        Key(form.get(), Qt::Key_X);
        w.menuNormalizeClick();
        Press(X(100));
        Release(X(100));
        w.close();
        closedInside = !w.isVisible() || !host.questions.empty();
    };
    w.menuFadeInClick();
    w.OnOperationStep = nullptr;
    EXPECT_GT(steps, 1);
    EXPECT_FALSE(closedInside);
    EXPECT_EQ(editor.CurrentLevel, 1);
    EXPECT_EQ(editor.TotalBlocks, 200u);
    EXPECT_EQ(editor.SelStart, 10u);
    EXPECT_EQ(editor.SelEnd, 60u);
    EXPECT_EQ(editor.ClipBlockCount, 0u);
    // The close asked for during the fade happens once it has ended, asking about the fade then.
    for (int i = 0; i < 100 && w.isVisible(); ++i) QTest::qWait(10);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(host.questions, std::vector<std::string>{DiscardEditsQuestion});
    EXPECT_FALSE(platform::fileExists(dir.file("Edit.raw")));
}

// The effects append the selected blocks to Edit.raw: without room for them, a message and no level.
TEST_F(EditorWindowTest, EffectsNeedRoomForTheSelection) {
    Record(100);
    TFormEdit& w = Open();
    Key(form.get(), Qt::Key_A);
    for (const char* button : {"SBtnFadeIn", "SBtnFadeOut", "SBtnAmplify", "SBtnNormalize"})
        for (const int64_t room : {99, 100}) {
            host.freeBytes = room * BlockBytes;
            host.answers = {"50"};
            QWidget* b = w.findChild<QWidget*>(button);
            QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, b->mapTo(&w, b->rect().center()));
            EXPECT_EQ(editor.CurrentLevel, room == 100) << button;
            EXPECT_EQ(host.messages.size(), room == 100 ? 0u : 1u) << button;
            host.messages.clear();
            if (editor.CurrentLevel) Key(form.get(), Qt::Key_Z);
        }
}

TEST_F(EditorWindowTest, ClosingLeavesTheRecordingAsItWasRecorded) {
    Record(50);
    cap.LastWrittenBlock = 20;
    cap.RingFilled = true;
    cap.RecordedLoopMode = true;
    TFormEdit& w = Open();
    EXPECT_EQ(CurrentPieces(editor).size(), 2u);  // the ring in time order
    EXPECT_TRUE(cap.MemoryLent);
    Key(form.get(), Qt::Key_A);
    Key(form.get(), Qt::Key_Delete, Qt::NoModifier);
    w.menuExitClick();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(cap.TotalBlocks, 50u);
    EXPECT_EQ(cap.LastWrittenBlock, 20u);
    EXPECT_TRUE(cap.RingFilled);
    EXPECT_FALSE(cap.MemoryLent);
    EXPECT_FALSE(platform::fileExists(dir.file("Edit.raw")));
    EXPECT_FALSE(platform::fileExists(dir.file("Clp.raw")));
}

TEST_F(EditorWindowTest, NoWholeBlockInTheFileOpensAnEmptyView) {
    // A stop before the first whole block; monitoring turned the count into 1.
    ASSERT_TRUE(cap.RawStream.open(dir.file("Orvane.raw"), platform::RawFile::Mode::Create));
    std::vector<uint8_t> part(1000, 0x55);
    ASSERT_EQ(cap.RawStream.writeAt(0, part.data(), part.size()), part.size());
    cap.TotalBlocks = 1;
    TFormEdit& w = Open();
    EXPECT_EQ(editor.TotalBlocks, 0u);
    EXPECT_TRUE(CurrentPieces(editor).empty());
    Press(X(1));
    Release(X(1));
    w.menuSelectAllClick();
    w.menuFadeInClick();
    w.menuSaveAllClick();
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.saves.empty());
    EXPECT_EQ(ViewPixel(5, 2), BaseColour(colours).rgb());
}

TEST_F(EditorWindowTest, CaptureStillOpenLendsNoMemory) {
    Record(50);
    cap.CaptureOpen = true;
    Open();
    EXPECT_EQ(editor.TotalBlocks, 0u);
    EXPECT_FALSE(cap.MemoryLent);
    ASSERT_EQ(host.messages.size(), 1u);
}

TEST_F(EditorWindowTest, SaveSelectionNeedsASelection) {
    Record(100);
    TFormEdit& w = Open();
    w.menuSaveSelectionClick();
    EXPECT_EQ(host.messages, std::vector<std::string>{"Please Select Waveform!"});
    Drag(X(5), X(25));
    w.menuSaveSelectionClick();
    w.menuSaveAllClick();
    EXPECT_EQ(host.saves, (std::vector<std::pair<uint32_t, uint32_t>>{{5, 25}, {1, 100}}));
}

// ---- one walk through the real windows with a recording of the test device ----

using Timeline = std::vector<std::vector<uint8_t>>;

int16_t Scaled(int16_t x, long double gain) {
    const long double v = std::nearbyint(static_cast<long double>(x) * gain);
    return static_cast<int16_t>(std::clamp<long double>(v, -32768, 32767));
}

void FadeIn(Timeline& t, size_t first, size_t count) {
    const double step = 1.0 / (double(count) * BlockFrames);
    double gain = 0;
    for (size_t b = first; b < first + count; ++b)
        for (uint32_t f = 0; f < BlockFrames; ++f) {
            gain += step;
            for (int ch = 0; ch < 2; ++ch) PutSample(&t[b][4 * f + 2 * ch], Scaled(SampleAt(&t[b][4 * f + 2 * ch]), gain));
        }
}

void Normalize(Timeline& t, size_t first, size_t count) {
    int peak = 1;
    for (size_t b = first; b < first + count; ++b)
        for (uint32_t i = 0; i < BlockFrames * 2; ++i) peak = std::max(peak, std::abs(int(SampleAt(&t[b][2 * i]))));
    const float gain = 32767.0f / float(std::min(peak, 32767));
    for (size_t b = first; b < first + count; ++b)
        for (uint32_t i = 0; i < BlockFrames * 2; ++i) PutSample(&t[b][2 * i], Scaled(SampleAt(&t[b][2 * i]), gain));
}

class EditorWalkTest : public ::testing::Test, protected test::MainWindowRig {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir(exeDir.file("bin").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(dataDir.file("Orvane Recorder").c_str(), 0755), 0);
    }

    ::testing::AssertionResult Matches(const Timeline& model, const char* step) {
        EditorContext c{state.Capture.RawStream, state.Buffers.Peaks, state.Buffers, state.Processing, {}};
        if (state.Editor.TotalBlocks != model.size())
            return ::testing::AssertionFailure() << step << ": " << state.Editor.TotalBlocks << " blocks, expected "
                                                 << model.size();
        for (uint32_t p = 1; p <= model.size(); ++p) {
            if (!ReadBlockAt(state.Editor, c, p).Ok) return ::testing::AssertionFailure() << step << ": read " << p;
            if (std::memcmp(state.Buffers.CaptureMemory.data(), model[p - 1].data(), BlockBytes) != 0)
                return ::testing::AssertionFailure() << step << ": position " << p << " differs";
        }
        return ::testing::AssertionSuccess();
    }

    AppState state;
    NullPlayback playback;
};

TEST_F(EditorWalkTest, SelectCutPasteFadeNormalizeUndoRedo) {
    TFormMain main(seams, state);
    main.TimerRec->stop();
    main.TimerStatus->stop();
    main.BtnRecordClick();
    ASSERT_TRUE(state.Capture.Recording);
    for (int i = 0; i < 70; ++i) {
        device.FeedBlocks(1);
        main.TimerRecTimer();
    }
    main.BtnStopClick();
    const uint32_t recorded = state.Capture.TotalBlocks;
    ASSERT_GE(recorded, 60u);

    Timeline model(recorded, std::vector<uint8_t>(BlockBytes));
    for (uint32_t k = 1; k <= recorded; ++k)
        ASSERT_EQ(state.Capture.RawStream.readAt(BlockOffset(k), model[k - 1].data(), BlockBytes), BlockBytes);

    MainEditorHost host(main, seams, state, nullptr);
    std::unique_ptr<TFormEdit> editor = MakeEditorWindow(state, host, playback, nullptr);
    main.SetForms(editor.get(), nullptr, nullptr, nullptr, nullptr);
    bool walked = false;
    QTimer::singleShot(0, editor.get(), [&] {
        TFormEdit& w = *editor;
        w.TimerPlay->stop();
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        EXPECT_FALSE(state.Capture.CaptureOpen);
        // The main window's timers leave capture closed while the editor works in its memory.
        main.TimerStatusTimer();
        main.TimerRecTimer();
        EXPECT_FALSE(state.Capture.CaptureOpen);
        main.Engine().OpenCapture();  // refused while the memory is lent
        EXPECT_FALSE(state.Capture.CaptureOpen);
        const int L = w.Geometry().L, y = w.Geometry().T + 30;
        auto drag = [&](int from, int to) {
            SendMouse(&w, QEvent::MouseButtonPress, L + from, y, Qt::LeftButton, Qt::LeftButton);
            for (int x = from + 1; x <= to; ++x) SendMouse(&w, QEvent::MouseMove, L + x, y, Qt::NoButton, Qt::LeftButton);
            SendMouse(&w, QEvent::MouseButtonRelease, L + to, y, Qt::LeftButton, Qt::NoButton);
        };
        ASSERT_EQ(w.View().ZoomLevel, 1);
        EXPECT_TRUE(Matches(model, "opened"));
        drag(11, 20);
        ASSERT_EQ(state.Editor.SelStart, 11u);
        ASSERT_EQ(state.Editor.SelEnd, 20u);
        Key(&w, Qt::Key_X);
        const Timeline clip(model.begin() + 10, model.begin() + 20);
        model.erase(model.begin() + 10, model.begin() + 20);
        EXPECT_TRUE(Matches(model, "cut"));
        drag(31, 31);  // a click: the insertion point, where the paste begins
        ASSERT_EQ(state.Editor.InsertPoint, 31u);
        Key(&w, Qt::Key_V);
        model.insert(model.begin() + 30, clip.begin(), clip.end());
        EXPECT_TRUE(Matches(model, "paste"));
        ASSERT_EQ(state.Editor.SelStart, 31u);
        ASSERT_EQ(state.Editor.SelEnd, 40u);
        w.menuFadeInClick();
        FadeIn(model, 30, 10);
        EXPECT_TRUE(Matches(model, "fade in"));
        drag(50, 50);  // a click clears the selection
        drag(31, 33);
        ASSERT_EQ(state.Editor.SelStart, 31u);
        ASSERT_EQ(state.Editor.SelEnd, 33u);
        w.menuNormalizeClick();
        Timeline faded = model;
        Normalize(model, 30, 3);
        EXPECT_TRUE(Matches(model, "normalize"));
        Key(&w, Qt::Key_Z);
        EXPECT_TRUE(Matches(faded, "undo"));
        Key(&w, Qt::Key_Y);
        EXPECT_TRUE(Matches(model, "redo"));
        EXPECT_TRUE(dialogs.messages.empty());
        walked = true;
        w.close();
    });
    main.BtnEditClick();  // modal until the walk closes the editor
    EXPECT_TRUE(walked);
    EXPECT_EQ(state.Capture.TotalBlocks, recorded);
    EXPECT_FALSE(state.Capture.MemoryLent);
    EXPECT_TRUE(state.Capture.CaptureOpen);  // monitoring again
}

}  // namespace
}  // namespace orv

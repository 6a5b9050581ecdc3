// The editor as the program puts it together: opened from the main window on
// a recording of the test capture device, playing through WavePlayback into a
// device whose buffers the test completes one by one, and offering the
// recording found in the working folder before its view is built.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "editor/form_edit.h"
#include "export/form_progress.h"
#include "platform/raw_file.h"
#include "playback/wave_playback.h"
#include "shell/editor_host.h"
#include "shell/form_main.h"
#include "shell/forms.h"
#include "support/fake_system.h"
#include "support/fake_wave_in.h"
#include "support/fake_wave_out.h"
#include "support/temp_dir.h"
#include "support/main_window_rig.h"

namespace orv {
namespace {

void Send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// A click through the window system on the named child of a window.
void Click(QWidget* w, const char* name) {
    QWidget* c = w->findChild<QWidget*>(name);
    QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, c->mapTo(w, c->rect().center()));
}

// Every block of the source has its own loudness: a square wave whose
// amplitude changes from block to block.
void Loudness(uint64_t f, int16_t& l, int16_t& r) {
    const int amp = 2000 + int((f / BlockFrames) * 5113 % 28000);
    l = int16_t(f % 2 ? amp : -amp);
    r = int16_t(f % 2 ? -amp / 3 : amp / 3);
}

class EditorWiringTest : public ::testing::Test, protected test::MainWindowRig {
protected:
    void SetUp() override {
        ASSERT_TRUE(foldersMade);
        device.source = Loudness;
        main->TimerRec->stop();
        main->TimerStatus->stop();
    }

    uint32_t RecordBlocks(int blocks) {
        main->BtnRecordClick();
        EXPECT_TRUE(state.Capture.Recording);
        for (int i = 0; i < blocks; ++i) {
            device.FeedBlocks(1);
            main->TimerRecTimer();
        }
        main->BtnStopClick();
        return state.Capture.TotalBlocks;
    }

    // Opens the editor modally from the main window and runs the scenario in
    // it once it is up; the editor is closed afterwards whatever happened.
    void Edit(const std::function<void(TFormEdit&)>& scenario) {
        if (!editor) {  // one window for every opening, as the program has
            editor = MakeEditorWindow(state, host, playback, nullptr);
            main->SetForms(editor.get(), nullptr, nullptr, nullptr, &progress);
        }
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (info.isVisible()) {
                ++dialogShown;
                info.findChild<QPushButton*>(answer)->click();
                return;
            }
            if (!editor->isVisible() || state.Busy.Busy()) return;
            poll.stop();
            editor->TimerPlay->stop();  // the scenario ticks it itself
            scenario(*editor);
            editor->close();
        });
        poll.start();
        main->BtnEditClick();
        EXPECT_FALSE(editor->isVisible());
    }

    std::vector<uint8_t> FileBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Made before the main window looks for its folders.
    bool foldersMade = ::mkdir(exeDir.file("bin").c_str(), 0755) == 0 &&
                       ::mkdir(dataDir.file("Orvane Recorder").c_str(), 0755) == 0;
    TFormProgress progress;
    test::TempDir saves;
    AppState state;
    std::unique_ptr<TFormMain> main = std::make_unique<TFormMain>(seams, state);
    test::FakeWaveOut out;
    WavePlayback playback{state.Editor, state.Capture.RawStream, state.Buffers,
                          PlaybackSeams{out, [this](const std::string& m) { dialogs.Message(m); },
                                        [] { QCoreApplication::processEvents(); }, &state.Busy}};
    MainEditorHost host{*main, seams, state, nullptr};
    TFormInfo info;
    const char* answer = "BtnLoad";
    int dialogShown = 0;
    std::unique_ptr<TFormEdit> editor;
};

// Rows of the playback meter's left bar (the played block's level, not the peak hold).
int MeterBar(const TFormEdit& w) {
    const QImage& m = w.View().Meter;
    int rows = 0;
    for (int y = 0; y < m.height(); ++y) {
        const QRgb c = m.pixel(5, y);
        rows += c == qRgb(0, 255, 0) || c == qRgb(0, 170, 0);
    }
    return rows;
}

TEST_F(EditorWiringTest, PlaybackShowsItsCursorMarkAndMeterAndStopsForEdits) {
    const uint32_t recorded = RecordBlocks(70);
    ASSERT_GE(recorded, 60u);
    // The largest left sample of every recorded block, read back from the file.
    std::vector<int> level(recorded + 1);
    for (uint32_t p = 1; p <= recorded; ++p) {
        std::vector<uint8_t> b(BlockBytes);
        ASSERT_EQ(state.Capture.RawStream.readAt(BlockOffset(p), b.data(), BlockBytes), BlockBytes);
        level[p] = -32768;
        for (uint32_t f = 0; f < BlockFrames; ++f) level[p] = std::max<int>(level[p], SampleAt(&b[4 * f]));
    }
    out.volume = 0x40004000;  // a quarter

    bool ran = false;
    Edit([&](TFormEdit& w) {
        ran = true;
        const EditorGeometry& g = w.Geometry();
        const PlaybackState& ps = playback.State();
        auto x = [&](uint32_t block) { return g.L + int(block - w.View().ViewFirstBlock); };
        auto drag = [&](uint32_t from, uint32_t to) {
            const int y = g.T + 30;
            Send(&w, QEvent::MouseButtonPress, {x(from), y}, Qt::LeftButton, Qt::LeftButton);
            for (uint32_t b = from + 1; b <= to; ++b) Send(&w, QEvent::MouseMove, {x(b), y}, Qt::NoButton, Qt::LeftButton);
            Send(&w, QEvent::MouseButtonRelease, {x(to), y}, Qt::LeftButton, Qt::NoButton);
        };
        auto button = [&](const char* name) { w.findChild<QToolButton*>(name)->click(); };
        EXPECT_TRUE(out.isOpen);
        EXPECT_EQ(out.openCount, 1);
        ASSERT_EQ(w.View().ZoomLevel, 1);
        EXPECT_EQ(w.ImageHandle->x() - w.ImageVolume->x(), (w.ImageVolume->width() - w.ImageHandle->width()) / 4);

        // The selection plays block by block: cursor, mark and meter follow each one.
        drag(11, 30);
        ASSERT_EQ(state.Editor.SelStart, 11u);
        ASSERT_EQ(state.Editor.SelEnd, 30u);
        button("SBtnPlaySelection");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        w.repaint();  // what the drags changed, on the screen before playing
        w.TimerPlayTimer();
        EXPECT_EQ(out.WrittenPositions(), (std::vector<uint64_t>{11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                                                                 21, 22, 23, 24, 25, 26, 27, 28, 29, 30}));
        int lastMark = -1;
        for (uint32_t p = 11; p < 30; ++p) {
            ASSERT_TRUE(out.CompleteNext());
            w.TimerPlayTimer();
            ASSERT_EQ(ps.PlayPos, p);
            EXPECT_TRUE(w.ShapeSPlay.isVisible()) << p;
            EXPECT_EQ(w.ShapeSPlay.x(), x(p)) << p;
            EXPECT_TRUE(w.ImagePlay.isVisible()) << p;
            // The mark's point sits over the position on the whole-recording scale.
            EXPECT_NEAR(w.ImagePlay.x() + 8 - g.L, double(p) * g.Columns() / recorded, 1.0) << p;
            EXPECT_GE(w.ImagePlay.x(), lastMark);
            lastMark = w.ImagePlay.x();
            EXPECT_NEAR(MeterBar(w), level[p] * double(g.H) / 32767, 1.0) << p;
            // A tick sends its few pixels to the screen itself: the screen must
            // show what a whole paint of the window gives, wave, meter and marks.
            const QRect played(0, g.T, w.width(), g.PlayMarkTop + w.ImagePlay.Area.height() - g.T);
            const QImage screen = w.screen()->grabWindow(w.winId()).toImage().convertToFormat(QImage::Format_RGB32);
            ASSERT_EQ(screen.copy(played), w.grab().toImage().convertToFormat(QImage::Format_RGB32).copy(played)) << p;
            if (p == 20) {
                // As the window shows them: the line over the wave, the mark's point under the scroll bar.
                const QImage shot = w.grab().toImage();
                EXPECT_EQ(shot.pixel(x(p), g.T + g.H / 2), PlayMarkColour);
                EXPECT_NE(shot.pixel(x(p) - 1, g.T + g.H / 2), PlayMarkColour);
                EXPECT_EQ(shot.pixel(w.ImagePlay.x() + 8, g.PlayMarkTop + 1), PlayMarkColour);
            }
        }
        ASSERT_TRUE(out.CompleteNext());
        w.TimerPlayTimer();  // the last block: playback ends
        EXPECT_EQ(ps.PlayPos, 30u);
        EXPECT_FALSE(ps.Playing);
        EXPECT_FALSE(w.ShapeSPlay.isVisible());
        EXPECT_FALSE(w.ImagePlay.isVisible());
        EXPECT_NE(w.grab().toImage().pixel(x(29), g.T + g.H / 2), PlayMarkColour);  // where it last stood
        EXPECT_EQ(MeterBar(w), 0);

        // Stop: the marks go at once, nothing more is queued.
        button("SBtnPlayAll");
        w.TimerPlayTimer();
        EXPECT_EQ(out.written.size(), 20u + 40u);
        out.Complete(5);
        w.TimerPlayTimer();
        EXPECT_EQ(ps.PlayPos, 5u);
        EXPECT_TRUE(w.ShapeSPlay.isVisible());
        button("SBtnStop");
        EXPECT_FALSE(ps.Playing);
        EXPECT_FALSE(w.ShapeSPlay.isVisible());
        EXPECT_FALSE(w.ImagePlay.isVisible());
        EXPECT_EQ(out.QueuedCount(), 0u);
        for (int i = 0; i < 3; ++i) w.TimerPlayTimer();
        EXPECT_EQ(out.written.size(), 60u);
        EXPECT_EQ(MeterBar(w), 0);

        // An edit stops playback first and plays nothing afterwards.
        drag(41, 41);  // a click outside the selection clears it
        drag(41, 46);
        button("SBtnPlayAll");
        w.TimerPlayTimer();
        out.Complete(3);
        w.TimerPlayTimer();
        ASSERT_TRUE(ps.Playing);
        QTest::keyClick(w.windowHandle(), Qt::Key_Delete);
        EXPECT_EQ(state.Editor.TotalBlocks, recorded - 6);
        EXPECT_FALSE(ps.Playing);
        EXPECT_FALSE(w.ShapeSPlay.isVisible());
        EXPECT_EQ(out.QueuedCount(), 0u);
        const size_t written = out.written.size();
        for (int i = 0; i < 3; ++i) w.TimerPlayTimer();
        EXPECT_EQ(out.written.size(), written);

        // The knob: each end of its track, and the middle, in both words.
        EXPECT_LE(w.ImageVolume->x() + w.ImageVolume->width(), w.width());  // reachable
        const int track = w.ImageVolume->width() - w.ImageHandle->width();
        auto knobTo = [&](int target) {  // in one-pixel steps; those off the track are ignored
            QLabel* k = w.ImageHandle;
            const QPoint pressAt = k->mapToGlobal(QPoint(4, 10));
            auto send = [&](QEvent::Type type, int dx, Qt::MouseButton b, Qt::MouseButtons held) {
                const QPointF global(pressAt.x() + dx, pressAt.y());
                QMouseEvent e(type, k->mapFromGlobal(global), global, b, held, Qt::NoModifier);
                QApplication::sendEvent(k, &e);
            };
            const int from = k->x() - w.ImageVolume->x();
            send(QEvent::MouseButtonPress, 0, Qt::LeftButton, Qt::LeftButton);
            const int step = target >= from ? 1 : -1;
            for (int d = step; from + d - step != target; d += step) send(QEvent::MouseMove, d, Qt::NoButton, Qt::LeftButton);
            send(QEvent::MouseButtonRelease, target - from, Qt::LeftButton, Qt::NoButton);
        };
        knobTo(-3);
        EXPECT_EQ(out.volume, 0u);
        EXPECT_EQ(w.ImageHandle->x(), w.ImageVolume->x());
        knobTo(track + 3);
        EXPECT_EQ(out.volume, 0xFFFFFFFFu);
        knobTo(track / 2);
        EXPECT_EQ(out.volume >> 16, out.volume & 0xFFFF);
        EXPECT_NEAR(double(out.volume & 0xFFFF), 32767.5, 1.0);
        EXPECT_EQ(ps.PlaybackVolume, out.volume);

        // Closing while it plays closes the device.
        button("SBtnPlayAll");
        w.TimerPlayTimer();
        out.Complete(2);
        w.TimerPlayTimer();
    });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(out.isOpen);
    EXPECT_EQ(out.closeCount, 1);
    EXPECT_EQ(out.QueuedCount(), 0u);
    EXPECT_FALSE(playback.State().Playing);
    EXPECT_EQ(state.Capture.TotalBlocks, recorded);
    EXPECT_TRUE(dialogs.messages.empty());

    // Shown again, the meter starts empty: no peak hold left from the last showing.
    Edit([&](TFormEdit& w) {
        EXPECT_EQ(out.openCount, 2);  // the same device, opened again
        const QImage& m = w.View().Meter;
        for (int y = 0; y < m.height(); ++y) ASSERT_NE(m.pixel(5, y), qRgb(60, 235, 60)) << y;
        // A close box pressed while the end of playback lets events run closes
        // the editor once that tick is over, not at some later command.
        state.Editor.SelStart = 1;
        state.Editor.SelEnd = 2;
        Click(&w, "SBtnPlaySelection");
        w.TimerPlayTimer();
        out.Complete(2);
        QTimer::singleShot(0, &w, [&w] { w.windowHandle()->close(); });
        w.TimerPlayTimer();
        QCoreApplication::processEvents();
        EXPECT_FALSE(w.isVisible());
    });
}

// A continuous recording just made, and "test" of 45 blocks whose left
// channel holds 100 × its block number: Load shows "test", every close brings
// back the recording just made; Discard and loop mode change nothing.
TEST_F(EditorWiringTest, TheFoundRecordingIsShownInPlaceOfTheRecordingJustMadeUntilTheEditorCloses) {
    const uint32_t made = RecordBlocks(25);
    ASSERT_GT(made, 20u);
    const WorkingFiles& files = state.Shell.Files;
    const std::vector<uint8_t> madeBytes = FileBytes(files.RawFileName);
    const PeakTables& peaks = state.Buffers.Peaks;
    const std::vector<int16_t> madeMax(peaks.PeakMaxLeft.begin(), peaks.PeakMaxLeft.begin() + made + 1);
    const std::vector<int16_t> madeMin(peaks.PeakMinRight.begin(), peaks.PeakMinRight.begin() + made + 1);
    {
        std::ofstream test(files.FoundRecordingName, std::ios::binary);
        std::vector<uint8_t> block(BlockBytes);
        for (uint32_t k = 1; k <= 45; ++k) {
            for (uint32_t f = 0; f < BlockFrames; ++f) {
                PutSample(&block[4 * f], int16_t(100 * k));
                PutSample(&block[4 * f + 2], int16_t(-50 * int(k)));
            }
            test.write(reinterpret_cast<const char*>(block.data()), BlockBytes);
        }
    }
    host.SetFoundRecordingForm(&info);
    auto expectMade = [&](const char* step) {
        SCOPED_TRACE(step);
        EXPECT_EQ(state.Capture.RawFileName, files.RawFileName);
        EXPECT_EQ(state.Capture.TotalBlocks, made);
        EXPECT_TRUE(FileBytes(files.RawFileName) == madeBytes);
        EXPECT_TRUE(std::equal(madeMax.begin(), madeMax.end(), peaks.PeakMaxLeft.begin()));
        EXPECT_TRUE(std::equal(madeMin.begin(), madeMin.end(), peaks.PeakMinRight.begin()));
        EXPECT_TRUE(state.Capture.CaptureOpen);  // monitoring again
        EXPECT_FALSE(state.Capture.MemoryLent);
    };
    const QRgb background = BaseColour(state.Colours).rgb();
    std::vector<uint32_t> edited;  // the editor's length at each opening

    Edit([&](TFormEdit& w) {
        edited.push_back(state.Editor.TotalBlocks);
        EXPECT_EQ(state.Capture.RawFileName, files.FoundRecordingName);
        ASSERT_EQ(w.View().ZoomLevel, 1);
        for (int column : {1, 30, 45}) EXPECT_NE(w.View().View.pixel(column, 2), background) << column;
        EXPECT_EQ(w.View().View.pixel(46, 2), background);
        // What is drawn, read and played is "test".
        EXPECT_EQ(peaks.PeakMaxLeft[30], 3000);
        EXPECT_EQ(peaks.PeakMinRight[30], -1500);
        EditorContext c{state.Capture.RawStream, peaks, state.Buffers, state.Processing, {}};
        ASSERT_TRUE(ReadBlockAt(state.Editor, c, 45).Ok);
        EXPECT_EQ(SampleAt(state.Buffers.CaptureMemory.data()), 4500);
        w.SBtnPlayAllClick();
        w.TimerPlayTimer();
        ASSERT_EQ(out.written.size(), 40u);
        EXPECT_EQ(SampleAt(out.written[39].data.data()), 4000);
    });
    EXPECT_EQ(dialogShown, 1);
    expectMade("after Load");
    EXPECT_EQ(platform::fileSize(files.PeakFileName), 45 * 8);

    answer = "BtnDiscard";
    Edit([&](TFormEdit&) { edited.push_back(state.Editor.TotalBlocks); });
    EXPECT_EQ(dialogShown, 2);
    expectMade("after Discard");

    main->CmbBoxTime->setCurrentIndex(1);  // "Loop 3 min"
    main->CmbBoxTimeChange();
    ASSERT_TRUE(state.Capture.LoopMode);
    answer = "BtnLoad";
    Edit([&](TFormEdit&) { edited.push_back(state.Editor.TotalBlocks); });
    EXPECT_EQ(dialogShown, 2);
    expectMade("in loop mode");
    EXPECT_EQ(edited, (std::vector<uint32_t>{45, made, made}));
    EXPECT_TRUE(dialogs.messages.empty());
}

// Esc, File > Exit and the close box ask before dropping edits that no whole
// save kept, No being the default; No keeps the editor with its edits.
TEST_F(EditorWiringTest, ClosingAsksBeforeDroppingUnsavedEdits) {
    RecordBlocks(30);
    state.Settings.SaveAsWav = true;  // no encoder library beside the test
    state.Settings.SaveAsMp3 = false;
    struct Row {
        const char* name;
        const char* save;  // after a fade of everything and a drag over a part; none: not edited
        bool asks;
    };
    const Row rows[] = {{"NotEdited", nullptr, false},
                        {"FadedThenSelectionSaved", "SBtnSaveSel", true},
                        {"FadedThenAllSaved", "SBtnSaveAll", false}};
    using Close = std::function<void(QWindow*, TFormEdit&)>;
    const std::pair<const char*, Close> closes[] = {
        {"Esc", [](QWindow* win, TFormEdit&) { QTest::keyClick(win, Qt::Key_Escape); }},
        {"Exit", [](QWindow* win, TFormEdit& w) {
             auto* file = w.findChild<QMenu*>("menuFile");
             QTest::mouseClick(win, Qt::LeftButton, {}, w.Menu2->actionGeometry(file->menuAction()).center());
             const QRect exit = file->actionGeometry(w.findChild<QAction*>("menuExit"));
             QTest::mouseClick(file->windowHandle(), Qt::LeftButton, {}, exit.center());
         }},
        {"CloseBox", [](QWindow* win, TFormEdit&) { win->close(); }},
    };
    for (const Row& row : rows)
        for (const auto& entry : closes) {
            const char* how = entry.first;
            const Close& close = entry.second;
            SCOPED_TRACE(std::string(row.name) + ", " + how);
            dialogs.defaultNoQuestions.clear();
            dialogs.confirmAnswers = {false, true};
            Edit([&](TFormEdit& w) {
                QWindow* win = w.windowHandle();
                if (row.save) {
                    QTest::keyClick(win, Qt::Key_A, Qt::ControlModifier);
                    Click(&w, "SBtnFadeIn");
                    const QPoint a(w.Geometry().L + 5, w.Geometry().T + 30), b = a + QPoint(10, 0);
                    QTest::mouseClick(win, Qt::LeftButton, {}, a);
                    QTest::mousePress(win, Qt::LeftButton, {}, a);
                    QTest::mouseMove(win, b);
                    QTest::mouseRelease(win, Qt::LeftButton, {}, b);
                    dialogs.saveAnswers = {saves.file("take.wav")};
                    Click(&w, row.save);
                }
                close(win, w);
                ASSERT_EQ(w.isVisible(), row.asks);
                if (row.asks) {
                    EXPECT_EQ(state.Editor.CurrentLevel, 1);
                    close(win, w);
                }
                EXPECT_FALSE(w.isVisible());
            });
            EXPECT_EQ(dialogs.defaultNoQuestions.size(), row.asks ? 2u : 0u);
        }
    EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
}  // namespace orv

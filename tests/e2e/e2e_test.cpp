// The end-to-end table: each row one user's whole path through the program
// as main() builds it (real devices on the test command's sound server, real
// dialogs, an X server), checked on the files and samples it leaves.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sndfile.h>
#include <thread>
#include <tuple>

#include "e2e/rig.h"
#include "platform/raw_file.h"
#include "shell/remote_command.h"
#include <sndfile.h>

namespace orv::e2e {
namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// The recording as saved: the raw file without positions first … last.
std::vector<Frame> Without(const std::vector<Frame>& raw, uint32_t first, uint32_t last) {
    std::vector<Frame> out(raw.begin(), raw.begin() + (first - 1) * BlockFrames);
    out.insert(out.end(), raw.begin() + std::min<size_t>(raw.size(), size_t(last) * BlockFrames), raw.end());
    return out;
}

// Whether `part` arrives whole and in order inside `heard`, silence aside.
bool HeardWhole(std::vector<Frame> part, std::vector<Frame> heard) {
    auto silent = [](Frame f) { return f.l == 0 && f.r == 0; };
    std::erase_if(part, silent);
    std::erase_if(heard, silent);
    if (part.empty()) return false;
    for (auto at = heard.begin(); (at = std::search(at, heard.end(), part.begin(), part.begin() + 1)) != heard.end(); ++at)
        if (size_t(heard.end() - at) >= part.size() && std::equal(part.begin(), part.end(), at)) return true;
    return false;
}

QWidget* Main(Rig& r) { return &r.P().Main(); }

void RecordCutAndSaveWav(Rig& r) {
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.Record(30));
    ASSERT_TRUE(r.OpenEditor());
    r.DragInView(0.3, 0.5);
    uint32_t first = 0, last = 0, before = 0;
    std::tie(first, last, before) = r.Gui([&] {
        const EditorState& e = r.P().State().Editor;
        return std::tuple(e.SelStart, e.SelEnd, e.TotalBlocks);
    });
    ASSERT_LT(first, last) << "the drag selected nothing";
    r.Key([&] { return &r.P().Editor(); }, Qt::Key_X, Qt::ControlModifier);
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Editor.TotalBlocks < before; })) << "Ctrl+X cut nothing";
    const uint32_t after = r.Gui([&] { return r.P().State().Editor.TotalBlocks; });
    ASSERT_TRUE(r.Menu([&] { return &r.P().Editor(); }, "menuFile", "menuSaveAll"));
    ASSERT_TRUE(r.SaveAs("cut.wav"));
    ASSERT_TRUE(r.WaitFor([&] { return r.Idle(); }));

    const std::vector<Frame> raw = ReadRaw(r.Work() + "/Orvane.raw");
    EXPECT_EQ(CountBreaks(raw), std::vector<size_t>{}) << "the recording itself is not the unbroken count";
    ASSERT_EQ(before - after, last - first + 1) << "the cut removed another number of blocks than selected";
    EXPECT_TRUE(ReadWav(r.Out() + "/cut.wav") == Without(raw, first, last))
        << "the saved file is not the recording without blocks " << first << " … " << last;
}

void PlayAllReachesTheLastFrame(Rig& r) {
    FILE* p = popen("pactl load-module module-null-sink sink_name=orv_e2e_play rate=44100 channels=2", "r");
    int module = -1;
    if (!p || std::fscanf(p, "%d", &module) != 1) module = -1;
    if (p) pclose(p);
    ASSERT_GE(module, 0) << "could not load a second null sink";
    std::system("pactl set-sink-volume orv_e2e_play 100% && pactl set-source-volume orv_e2e_play.monitor 100%");
    r.Gui([] { setenv("PULSE_SINK", "orv_e2e_play", 1); });  // read when the device opens
    ASSERT_TRUE(r.Start());
    const std::string heardFile = r.Data() + "/heard.raw";
    int parec = -1;
    auto end = [&] {
        if (parec > 0) kill(parec, SIGTERM);
        r.Gui([] { unsetenv("PULSE_SINK"); });
        std::system(("pactl unload-module " + std::to_string(module)).c_str());
    };
    struct Ending { std::function<void()> f; ~Ending() { f(); } } ending{end};

    ASSERT_TRUE(r.Record(20));
    ASSERT_TRUE(r.OpenEditor());
    parec = StartProcess("exec parec --raw --format=s16le --rate=44100 --channels=2 --latency-msec=50 "
                         "--device=orv_e2e_play.monitor > '" + heardFile + "'");
    ASSERT_GT(parec, 0);
    ASSERT_TRUE(r.WaitFor([&] { return platform::fileSize(heardFile) > 0; })) << "parec hears nothing";
    r.Click([&] { return r.P().Editor().findChild<QWidget*>("SBtnPlayAll"); });
    ASSERT_TRUE(r.WaitFor([&] { return r.P().Playback().State().Playing; })) << "Play All did not start";
    ASSERT_TRUE(r.WaitFor([&] { return !r.P().Playback().State().Playing; }));
    // A second of the sink's silence after the end: whatever was queued has come out.
    const int64_t atEnd = platform::fileSize(heardFile);
    ASSERT_TRUE(r.WaitFor([&] { return platform::fileSize(heardFile) >= atEnd + 10 * int64_t(BlockBytes); }));

    const std::vector<Frame> raw = ReadRaw(r.Work() + "/Orvane.raw");
    // The server's monitor misses the first milliseconds of any new stream;
    // the last second, whose counting values are unique, must come out whole.
    ASSERT_GT(raw.size(), size_t(10 * BlockFrames));
    const std::vector<Frame> lastSecond(raw.end() - 10 * BlockFrames, raw.end());
    EXPECT_TRUE(HeardWhole(lastSecond, ReadRaw(heardFile))) << "the recording did not come out up to its last frame";
}

void CancelledSaveKeepsTheOldTarget(Rig& r) {
    const std::string target = r.Out() + "/target.wav";
    const std::string old(100000, 'o');
    std::ofstream(target, std::ios::binary) << old;
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.Record(30));
    ASSERT_TRUE(r.OpenEditor());
    r.KeyWhenShown([&] { return &r.P().Progress(); }, Qt::Key_Escape);
    ASSERT_TRUE(r.Menu([&] { return &r.P().Editor(); }, "menuFile", "menuSaveAll"));
    ASSERT_TRUE(r.SaveAs("target.wav"));
    ASSERT_TRUE(r.Answer("already exists", Qt::Key_Y));  // the file dialog's own question
    ASSERT_TRUE(r.WaitFor([&] { return r.Idle(); }));
    EXPECT_TRUE(ReadBytes(target) == old) << "the cancelled save changed the old target";
    EXPECT_EQ(FileNames(r.Out()), std::vector<std::string>{"target.wav"});
}

void CloseWhileRecordingKeepsTheRecording(Rig& r) {
    ASSERT_TRUE(r.Start());
    r.Click([&] { return r.P().Main().BtnRecord; });
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Capture.LastBlockSeen >= 25; }));
    r.Input([&] { r.P().Main().windowHandle()->close(); });  // the close box
    ASSERT_TRUE(r.Answer("Are you sure you want to interrupt recording?", Qt::Key_Y));
    ASSERT_TRUE(r.Answer("The recording has not been saved. Discard it?", Qt::Key_N));
    ASSERT_TRUE(r.WaitFor([&] { return r.Idle(); }));
    EXPECT_TRUE(r.Gui([&] { return r.P().Main().isVisible() && !r.P().State().Capture.Recording; }));
    const std::vector<Frame> raw = ReadRaw(r.Work() + "/Orvane.raw");
    ASSERT_GE(raw.size(), 25u * BlockFrames);
    EXPECT_EQ(CountBreaks(raw), std::vector<size_t>{});
    ASSERT_TRUE(r.Menu([&] { return Main(r); }, "menuFile", "menuSaveAs"));
    ASSERT_TRUE(r.SaveAs("kept.wav"));
    ASSERT_TRUE(r.WaitFor([&] { return r.Idle() && platform::fileSize(r.Out() + "/kept.wav") > 0; }));
    EXPECT_TRUE(ReadWav(r.Out() + "/kept.wav") == raw);
}

// The shipped program, copied into the row's folder (its settings file lands
// beside the copy), and the xdotool steps that drive its main window ("%1"),
// placed by the same windows laid out here.
struct Shipped {
    int pid = -1;
    std::string binary;
    QPoint record, stop, mode, file;
    bool Xdo(const std::string& steps) const {
        return std::system(("timeout 30 xdotool search --sync --onlyvisible --pid " + std::to_string(pid) + " " + steps +
                            " >/dev/null").c_str()) == 0;
    }
    static std::string Click(QPoint p) {
        return " mousemove --window %1 " + std::to_string(p.x()) + " " + std::to_string(p.y()) + " click 1 sleep 0.5";
    }
};

Shipped StartShipped(Rig& r) {
    test::TempDir scratch;
    Shipped s;
    r.Gui([&] {
        Program measure({"", r.BinaryPath(), scratch.path(), scratch.path()});
        measure.Show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&measure.Main()));
        TFormMain& m = measure.Main();
        auto at = [&](QWidget* w, QRect g) { return w->mapTo(&m, g.center()); };
        std::tie(s.record, s.stop, s.mode) = std::tuple(at(m.BtnRecord, m.BtnRecord->rect()),
                                                        at(m.BtnStop, m.BtnStop->rect()), at(m.CmbBoxTime, m.CmbBoxTime->rect()));
        s.file = at(m.menuBar(), m.menuBar()->actionGeometry(m.findChild<QMenu*>("menuFile")->menuAction()));
    });
    s.binary = r.File("orvane-recorder");
    std::filesystem::copy_file(r.BinaryPath(), s.binary);
    s.pid = StartProcess("export XDG_DATA_HOME='" + r.Data() + "' HOME='" + r.Out() + "' QT_QPA_PLATFORM=xcb; exec '" +
                         s.binary + "'");
    return s;
}

// Cue points of a WAV file, read by libsndfile: their sample offsets.
std::vector<uint32_t> CueOffsets(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    auto cues = std::make_unique<SF_CUES>();
    std::vector<uint32_t> offsets;
    if (sf_command(f, SFC_GET_CUE, cues.get(), sizeof(SF_CUES)) == SF_TRUE)
        for (uint32_t i = 0; i < std::min<uint32_t>(cues->cue_count, 100); ++i)
            offsets.push_back(cues->cue_points[i].sample_offset);
    sf_close(f);
    return offsets;
}

// Whether each marker lies within a block of the block pressed at.
::testing::AssertionResult NearPresses(const std::vector<uint32_t>& markers, const std::vector<uint32_t>& pressed) {
    if (markers.size() != pressed.size())
        return ::testing::AssertionFailure() << markers.size() << " markers for " << pressed.size() << " presses";
    for (size_t i = 0; i < markers.size(); ++i)
        if (markers[i] + 1 < pressed[i] || markers[i] > pressed[i] + 1)
            return ::testing::AssertionFailure() << "marker " << i + 1 << " at block " << markers[i]
                                                 << ", M pressed at block " << pressed[i];
    return ::testing::AssertionSuccess();
}

// M pressed three times in the shipped program, which is then killed; the
// next start keeps the recording as the found recording, whose blocks and
// markers the editor saves, and which a new recording asks about.
void KilledRecordingLoadedAndSaved(Rig& r) {
    const Shipped child = StartShipped(r);
    ASSERT_GT(child.pid, 0);
    EXPECT_TRUE(child.Xdo("." + Shipped::Click(child.record)));
    const std::string raw = r.Work() + "/Orvane.raw";
    auto onDisk = [&] { return uint32_t(std::max<int64_t>(platform::fileSize(raw), 0) / BlockBytes); };
    std::vector<uint32_t> pressed;
    for (int i = 0; i < 3; ++i) {
        // Just after a half reached the file, the block being recorded is the one after it.
        // The file's size grows page by page while a half is written: only a
        // whole half's end counts.
        const uint32_t next = (onDisk() / HalfBlocks + 1) * HalfBlocks;
        int wait = 0;  // a loose bound (10 s) on a half that comes every 2 s
        for (; wait < 5000 && onDisk() < next; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_LT(wait, 5000) << "the program did not record after a click on Record";
        const uint32_t at = onDisk() / HalfBlocks * HalfBlocks;
        // The pointer rests on the program's window: the key goes there.
        ASSERT_EQ(std::system("xdotool key m"), 0);
        pressed.push_back(at + 1);
    }
    // The last marked block's half on the disk, then the kill.
    const bool written = r.WaitFor([&] { return onDisk() >= pressed.back() + HalfBlocks; });
    kill(child.pid, SIGKILL);
    ASSERT_TRUE(written) << "the recording stopped growing";

    ASSERT_TRUE(r.Start(false));
    ASSERT_TRUE(r.Answer("A recording interrupted at the last run", Qt::Key_Return));
    ASSERT_TRUE(r.Shown());
    ASSERT_TRUE(r.Record(10));
    r.Click([&] { return r.P().Main().BtnEdit; });
    ASSERT_TRUE(r.WaitFor([&] { return r.P().FoundRecording().isVisible(); })) << "the found recording was not offered";
    r.Click([&] { return r.P().FoundRecording().BtnLoad; });
    ASSERT_TRUE(r.WaitFor([&] { return r.EditorOpen() && r.P().State().Editor.TotalBlocks >= pressed.back(); }))
        << "the editor did not open on the found recording";
    EXPECT_TRUE(NearPresses(r.Gui([&] { return r.P().State().Capture.Markers; }), pressed))
        << "the found recording's markers";
    ASSERT_TRUE(r.Menu([&] { return &r.P().Editor(); }, "menuFile", "menuSaveAll"));
    ASSERT_TRUE(r.SaveAs("found.wav"));
    ASSERT_TRUE(r.WaitFor([&] { return r.Idle(); }));
    std::vector<uint32_t> cueBlocks;
    for (uint32_t offset : CueOffsets(r.Out() + "/found.wav")) cueBlocks.push_back(offset / BlockFrames + 1);
    EXPECT_TRUE(NearPresses(cueBlocks, pressed)) << "the saved file's cue points";
    const std::vector<Frame> found = ReadWav(r.Out() + "/found.wav");
    EXPECT_GE(found.size(), size_t{pressed.back()} * BlockFrames);
    EXPECT_EQ(CountBreaks(found), std::vector<size_t>{});
    r.Key([&] { return &r.P().Editor(); }, Qt::Key_Escape);
    ASSERT_TRUE(r.WaitFor([&] { return !r.P().Editor().isVisible(); })) << "the editor did not close";
    r.Click([&] { return r.P().Main().BtnRecord; });
    ASSERT_TRUE(r.Answer("The recording has not been saved. Discard it?", Qt::Key_N));
    EXPECT_FALSE(r.Gui([&] { return r.P().State().Capture.Recording; }));
}

void EscAsksAboutUnsavedEdits(Rig& r) {
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.Record(20));
    ASSERT_TRUE(r.OpenEditor());
    auto editor = [&] { return &r.P().Editor(); };
    r.DragInView(0.3, 0.5);
    r.Key(editor, Qt::Key_Delete);
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Editor.TotalBlocks < r.P().State().Capture.TotalBlocks; }));
    const uint32_t edited = r.Gui([&] { return r.P().State().Editor.TotalBlocks; });
    r.Key(editor, Qt::Key_Escape);
    ASSERT_TRUE(r.Answer("The edits have not been saved. Discard them?", Qt::Key_N));
    EXPECT_TRUE(r.Gui([&] { return r.EditorOpen(); }));
    EXPECT_EQ(r.Gui([&] { return r.P().State().Editor.TotalBlocks; }), edited);
    r.Key(editor, Qt::Key_Escape);
    ASSERT_TRUE(r.Answer("The edits have not been saved. Discard them?", Qt::Key_Y));
    ASSERT_TRUE(r.WaitFor([&] { return !r.P().Editor().isVisible(); }));

    ASSERT_TRUE(r.OpenEditor());
    r.Key(editor, Qt::Key_Escape);
    ASSERT_TRUE(r.WaitFor([&] { return !r.P().Editor().isVisible() || QApplication::activeModalWidget() != editor(); }));
    EXPECT_FALSE(r.Gui([&] { return r.P().Editor().isVisible(); })) << "Esc without edits asked something";
}

void EditorMessagesBelongToTheEditor(Rig& r) {
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.Record(10));
    ASSERT_TRUE(r.OpenEditor());
    ASSERT_TRUE(r.Menu([&] { return &r.P().Editor(); }, "menuFile", "menuSaveSelection"));
    QWidget* parent = nullptr;
    ASSERT_TRUE(r.Answer("Please Select Waveform!", Qt::Key_Return, &parent));
    EXPECT_EQ(parent, r.Gui([&] { return static_cast<QWidget*>(&r.P().Editor()); }))
        << "the message belongs to another window than the editor";
}

void NormalCloseLeavesNoWorkingFiles(Rig& r) {
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.Record(10));
    ASSERT_TRUE(r.OpenEditor());
    r.Key([&] { return &r.P().Editor(); }, Qt::Key_Escape);
    ASSERT_TRUE(r.WaitFor([&] { return !r.P().Editor().isVisible(); }));
    r.Input([&] { r.P().Main().windowHandle()->close(); });
    ASSERT_TRUE(r.Answer("The recording has not been saved. Discard it?", Qt::Key_Y));
    ASSERT_TRUE(r.WaitFor([&] { return !r.P().Main().isVisible(); }));
    r.Gui([&] { r.DestroyProgram(); });  // main() returns
    for (const char* name : {"Orvane.raw", "Edit.raw", "Clp.raw", "Orvane.pos"})
        EXPECT_FALSE(platform::fileExists(r.Work() + "/" + name)) << name << " is left behind";
}

// Drags that start away from the selection's edges (inside it, then outside
// it at the first block) select anew; each cut, pasted at once, gives the
// recording back. Then 100 s of silence before it: at full zoom, scrolled to
// the end, a drag past the right edge selects to the last block; Ctrl+A Del
// leaves view and scroll bar at the start; after undo − zooms out at the end.
void EditorGestures(Rig& r) {
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.Record(50));
    ASSERT_TRUE(r.OpenEditor());
    auto editor = [&] { return &r.P().Editor(); };
    auto sel = [&] {
        return r.Gui([&] { const EditorState& e = r.P().State().Editor; return std::tuple(e.SelStart, e.SelEnd, e.TotalBlocks, e.InsertPoint, editor()->StatusPanels[0]->text()); });
    };
    for (auto [from, to] : {std::pair(0.4, 0.9), std::pair(0.5, 0.8), std::pair(0.0, 0.3)}) {
        const auto [before, beforeEnd, blocks, p, s] = sel();
        const uint32_t total = blocks;  // captured below: some compilers refuse a structured binding there
        r.DragInView(from, to);
        const auto [start, end, same, point, status] = sel();
        if (from == 0.4) continue;  // the next drag starts inside this selection
        ASSERT_TRUE(from > 0 ? before < start && end < beforeEnd : start == 1) << start << " … " << end;
        r.Key(editor, Qt::Key_X, Qt::ControlModifier);
        ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Editor.TotalBlocks < total; }));
        EXPECT_EQ(std::tuple(std::get<3>(sel()), std::get<4>(sel())), std::tuple(start, status)) << "the dotted line or Start left the cut";
        r.Key(editor, Qt::Key_V, Qt::ControlModifier);
        ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Editor.TotalBlocks == total; }));
    }
    ASSERT_TRUE(r.Menu(editor, "menuFile", "menuSaveAll"));
    ASSERT_TRUE(r.SaveAs("back.wav"));
    ASSERT_TRUE(r.WaitFor([&] { return r.Idle(); }));
    const std::vector<Frame> raw = ReadRaw(r.Work() + "/Orvane.raw");
    EXPECT_TRUE(ReadWav(r.Out() + "/back.wav") == raw) << "cut and paste changed the recording";

    r.DragInView(0, 0);  // a click on the first block
    ASSERT_TRUE(r.Menu(editor, "menuEffects", "menuSilence"));
    ASSERT_TRUE(r.SaveAs("100"));  // typed into the input box
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Editor.TotalBlocks > 1000; }));
    auto toTheEnd = [&] {  // clicks on the scroll bar's groove just before its right arrow
        for (int i = 0; i < 30 && r.Gui([&] { return editor()->ScrollBar->value() < editor()->ScrollBar->maximum(); }); ++i)
            r.Input([&] { QScrollBar* b = editor()->ScrollBar;
                QTest::mouseClick(editor()->windowHandle(), Qt::LeftButton, {}, b->mapTo(editor(), QPoint(b->width() - b->height() - 4, b->height() / 2))); });
    };
    toTheEnd();
    r.DragInView(0.5, 1.05);
    const auto [start, end, blocks, point, status] = sel();
    const uint32_t total = blocks;
    EXPECT_EQ(end, total) << "the drag past the right edge stopped short";
    ASSERT_TRUE(r.Menu(editor, "menuFile", "menuSaveSelection"));
    ASSERT_TRUE(r.SaveAs("tail.wav"));
    ASSERT_TRUE(r.WaitFor([&] { return r.Idle(); }));
    std::vector<Frame> tail(size_t(total - start + 1) * BlockFrames - raw.size());  // silence, then the recording
    tail.insert(tail.end(), raw.begin(), raw.end());
    EXPECT_TRUE(ReadWav(r.Out() + "/tail.wav") == tail) << "not blocks " << start << " … " << total;
    r.Key(editor, Qt::Key_A, Qt::ControlModifier);
    r.Key(editor, Qt::Key_Delete);
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Editor.TotalBlocks == 0; }));
    EXPECT_TRUE(r.Gui([&] { return editor()->View().ViewFirstBlock == 0 && editor()->ScrollBar->maximum() == 0; }));
    r.Key(editor, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Editor.TotalBlocks == total; }));
    toTheEnd();
    r.Click([&] { return editor()->BtnDec; });
    EXPECT_TRUE(r.Gui([&] {
        const EditorView& v = editor()->View();
        const int64_t past = int64_t(v.ViewFirstBlock) + int64_t(v.Z()) * editor()->Geometry().Columns() - total;
        return v.ZoomLevel == 2 && past >= 0 && (v.ViewFirstBlock == 0 || past < v.Z());
    })) << "− did not zoom out with the end at the view's right edge";
}

// M at three clicks; ] ] [ step to the first marker; a double-click between the first two
// selects that span, cut (its marker too) and pasted at the start; libsndfile reads the cues.
void EditorMarkers(Rig& r) {
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.Record(60));
    ASSERT_TRUE(r.OpenEditor());
    auto editor = [&] { return &r.P().Editor(); };
    auto now = [&] { return r.Gui([&] { const EditorState& e = r.P().State().Editor;
        return std::tuple(CurrentMarkers(e), e.InsertPoint, e.SelStart, e.SelEnd, e.TotalBlocks); }); };
    for (double at : {0.2, 0.5, 0.8}) { r.DragInView(at, at); r.Key(editor, Qt::Key_M); }  // clicks
    const auto [m, ip, ss, se, total] = now();
    ASSERT_EQ(m.size(), 3u) << "M at three clicks";
    r.DragInView(0, 0);
    for (int key : {Qt::Key_BracketRight, Qt::Key_BracketRight, Qt::Key_BracketLeft}) r.Key(editor, key);
    EXPECT_EQ(std::get<1>(now()), m[0]) << "] ] [ from the start";
    r.Input([&, m = m] {
        TFormEdit& e = r.P().Editor();
        const int x = EdgeColumn(e.View(), e.Geometry(), (m[0] + m[1]) / 2);
        QTest::mouseDClick(e.windowHandle(), Qt::LeftButton, {}, QPoint(x, (e.Geometry().T + e.Geometry().B) / 2));
    });
    ASSERT_EQ(std::pair(std::get<2>(now()), std::get<3>(now())), std::pair(m[0], m[1] - 1)) << "the double-click's span";
    const uint32_t span = m[1] - m[0], length = total;
    r.Key(editor, Qt::Key_X, Qt::ControlModifier);
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Editor.TotalBlocks == length - span; }));
    r.DragInView(0, 0);
    r.Key(editor, Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Editor.TotalBlocks == length; }));
    ASSERT_TRUE(r.Menu(editor, "menuFile", "menuSaveAll"));
    ASSERT_TRUE(r.SaveAs("marked.wav"));
    ASSERT_TRUE(r.WaitFor([&] { return r.Idle(); }));
    EXPECT_EQ(CueOffsets(r.Out() + "/marked.wav"), (std::vector<uint32_t>{0, (m[0] + span - 1) * BlockFrames, (m[2] - 1) * BlockFrames}))
        << "the pasted marker at the start, the others at their blocks";
}

// Save settings, About and the save's progress window belong to the editor;
// "x.wav" typed while MP3 is chosen is saved as x.mp3, after asking about it.
void EditorWindowsAndTheFormatsExtension(Rig& r) {
    std::ofstream(r.Out() + "/x.mp3") << "old";
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.Record(20));
    ASSERT_TRUE(r.OpenEditor());
    auto editor = [&] { return &r.P().Editor(); };
    auto owned = [&](const char* name) {  // the named window, up in front, or the progress window
        QWidget* w = &r.P().Progress();
        r.WaitFor([&] { return !name || ((w = QApplication::activeModalWidget()) && w->objectName() == name && w->isVisible()); });
        return r.Gui([&] { return w->windowHandle() && w->windowHandle()->transientParent() == editor()->windowHandle() ? w : nullptr; });
    };
    ASSERT_TRUE(r.Menu(editor, "menuOptions", "menuSaveSettings"));
    QWidget* settings = owned("TFormSaveSettings");
    ASSERT_TRUE(settings) << "保存设置 does not belong to the editor";
    r.Input([&] {  // the MP3 page, then OK
        QTabBar* tabs = settings->findChild<QTabWidget*>("PControlFormat")->tabBar();
        QTest::mouseClick(settings->windowHandle(), Qt::LeftButton, {}, tabs->mapTo(settings, tabs->tabRect(1).center()));
    });
    r.Click([&] { return settings->findChild<QWidget*>("BitBtnOK"); });
    ASSERT_TRUE(r.Menu(editor, "menuHelp", "menuAbout"));
    QWidget* about = owned("TFormAbout");
    ASSERT_TRUE(about) << "关于 does not belong to the editor";
    r.Key([&] { return about; }, Qt::Key_Escape);
    ASSERT_TRUE(r.Menu(editor, "menuFile", "menuSaveAll"));
    ASSERT_TRUE(r.SaveAs("x.wav"));
    ASSERT_TRUE(r.Answer("x.mp3 already exists", Qt::Key_Y));
    ASSERT_TRUE(r.WaitFor([&] { return r.Idle(); }));
    EXPECT_TRUE(owned(nullptr)) << "the progress window does not belong to the editor";
    EXPECT_EQ(FileNames(r.Out()), std::vector<std::string>{"x.mp3"});
    EXPECT_GT(platform::fileSize(r.Out() + "/x.mp3"), 10000) << "x.mp3 was not written";
}

// Ctrl+K while recording, the file saved as recent.wav, a few seconds more,
// then Stop. The moment taken lies between the blocks written before the
// command and those written once its file dialog was up.
struct RecentSave {
    std::vector<Frame> saved, recording;  // the recording after Stop, in time order
    uint64_t before = 0, after = 0, final = 0;
};

void SaveRecentThenStop(Rig& r, RecentSave& t) {
    auto written = [&] { return r.Gui([&] { return r.P().State().Capture.BlocksWritten; }); };
    t.before = written();
    r.Key([&] { return Main(r); }, Qt::Key_K, Qt::ControlModifier);
    ASSERT_TRUE(r.WaitFor([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; }))
        << "Ctrl+K opened no file dialog";
    t.after = written();
    ASSERT_TRUE(r.SaveAs("recent.wav"));
    ASSERT_TRUE(r.WaitFor([&] { return r.Idle(); }));
    const uint64_t saved = written();
    ASSERT_TRUE(r.WaitFor([&] { return written() >= saved + 2 * HalfBlocks; })) << "the recording did not go on";
    r.Click([&] { return r.P().Main().BtnStop; });
    ASSERT_TRUE(r.WaitFor([&] { return !r.P().State().Capture.Recording; }));
    t.final = written();
    const uint32_t newest = r.Gui([&] {
        const CaptureState& c = r.P().State().Capture;
        return c.RecordedLoopMode ? c.LastWrittenBlock : 0;
    });
    t.recording = ReadRaw(r.Work() + "/Orvane.raw");
    std::rotate(t.recording.begin(), t.recording.begin() + std::min<size_t>(t.recording.size(), size_t(newest) * BlockFrames),
                t.recording.end());
    t.saved = ReadWav(r.Out() + "/recent.wav");
    EXPECT_EQ(CountBreaks(t.recording), std::vector<size_t>{}) << "the running recording broke";
    const std::vector<std::string> names = FileNames(r.Work());
    EXPECT_TRUE(std::ranges::find(names, "Recent.raw") == names.end()) << "the copy was left";
}

void SaveRecentOfContinuousRecording(Rig& r) {
    ASSERT_TRUE(r.Start());
    r.Click([&] { return r.P().Main().BtnRecord; });
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Capture.BlocksWritten >= 3 * HalfBlocks; }));
    RecentSave t;
    SaveRecentThenStop(r, t);
    // Every block on disk at the moment, from the first.
    const uint64_t taken = t.saved.size() / BlockFrames;
    EXPECT_TRUE(taken >= t.before && taken <= t.after && t.saved.size() % BlockFrames == 0)
        << taken << " blocks saved, the moment lies in " << t.before << " … " << t.after;
    ASSERT_LE(t.saved.size(), t.recording.size());
    EXPECT_TRUE(std::equal(t.saved.begin(), t.saved.end(), t.recording.begin())) << "not the recording's first blocks";
}

void SaveRecentOfTheLoop(Rig& r) {
    ASSERT_TRUE(r.Start());
    r.Click([&] { return r.P().Main().CmbBoxTime; });  // the list opens on 连续
    ASSERT_TRUE(r.WaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
    r.Key([] { return QApplication::activePopupWidget(); }, Qt::Key_Down);
    r.Key([] { return QApplication::activePopupWidget(); }, Qt::Key_Return);
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Capture.LoopMode; }));
    ASSERT_TRUE(r.Gui([&] { return r.P().Main().CmbBoxTime->currentText() == "Loop 3 min"; }));
    r.Click([&] { return r.P().Main().BtnRecord; });
    const uint32_t ring = 3 * 60 * 10;
    bool wrapped = false;  // past the ring's first wrap: some four minutes of waiting
    for (int i = 0; i < 8 && !wrapped; ++i)
        wrapped = r.WaitFor([&] { return r.P().State().Capture.BlocksWritten >= ring + 2 * HalfBlocks; });
    ASSERT_TRUE(wrapped);
    RecentSave t;
    SaveRecentThenStop(r, t);
    // The whole ring, oldest first, unbroken; its newest blocks are the ones
    // the ring at Stop begins with, the later blocks after the moment.
    ASSERT_EQ(t.saved.size(), size_t(ring) * BlockFrames);
    EXPECT_EQ(CountBreaks(t.saved), std::vector<size_t>{});
    ASSERT_EQ(t.recording.size(), size_t(ring) * BlockFrames);
    bool found = false;
    for (uint64_t moment = t.before; moment <= t.after && !found; ++moment) {
        const uint64_t later = t.final - moment;
        found = later < ring && std::equal(t.saved.begin() + later * BlockFrames, t.saved.end(), t.recording.begin());
    }
    EXPECT_TRUE(found) << "the saved ring does not end at a moment in " << t.before << " … " << t.after;
}

// SIGTERM to the shipped program while a file dialog waits: Save As after a
// recording, or Ctrl+K's in "Loop 3 min" while the recording goes on. It is
// gone at once (10 s is only a loose bound for "within a second"), the
// recording holds every block captured up to the signal, the ring's copy and
// any partial file are gone, and the settings are written.
void TermWithDialogOpen(Rig& r, bool recent) {
    const Shipped child = StartShipped(r);
    const std::string raw = r.Work() + "/Orvane.raw";
    ASSERT_GT(child.pid, 0);
    bool gone = false;  // ended, or a zombie not yet reaped
    const std::shared_ptr<void> end(nullptr, [&](void*) { if (!gone) kill(child.pid, SIGKILL); });
    ASSERT_TRUE(!recent || child.Xdo("." + Shipped::Click(child.mode) + " key Down Return"));  // 连续 → Loop 3 min
    ASSERT_TRUE(child.Xdo("." + Shipped::Click(child.record)));
    ASSERT_TRUE(r.WaitFor([&] { return platform::fileSize(raw) >= 25 * int64_t(BlockBytes); })) << "nothing recorded";
    if (!recent) {
        // Keys reach the menu only once it is open: on a loaded machine the
        // stop's last writes come first, so the file must settle before the click.
        ASSERT_TRUE(child.Xdo("." + Shipped::Click(child.stop)));
        int64_t last = -1;
        for (int still = 0, i = 0; still < 10 && i < 200; ++i) {  // 1 s unchanged, within a loose 20 s
            const int64_t now = platform::fileSize(raw);
            still = now == last ? still + 1 : 0;
            last = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ASSERT_TRUE(child.Xdo(recent ? ". mousemove --window %1 200 150 key ctrl+k"
                                 : "." + Shipped::Click(child.file) + " sleep 0.5 key Down Return"));
    ASSERT_TRUE(child.Xdo("--name '^Save As$'")) << "no file dialog came up";
    ASSERT_TRUE(!recent || platform::fileExists(r.Work() + "/Recent.raw")) << "Ctrl+K took no copy of the ring";
    const int64_t half = platform::fileSize(raw);  // a second after the next half, some ten blocks wait in memory
    ASSERT_TRUE(!recent || r.WaitFor([&] { return platform::fileSize(raw) > half; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const int64_t atSignal = platform::fileSize(raw);
    ASSERT_FALSE(platform::fileExists(child.binary + ".INI"));
    ASSERT_EQ(kill(child.pid, SIGTERM), 0);
    for (int i = 0; i < 1000 && !gone; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
        std::ifstream stat("/proc/" + std::to_string(child.pid) + "/stat");
        std::string pid, name, state;
        gone = !(stat >> pid >> name >> state) || state == "Z";
    }
    ASSERT_TRUE(gone) << "the program still runs 10 s after SIGTERM";
    EXPECT_EQ(CountBreaks(ReadRaw(raw)), std::vector<size_t>{}) << "the recording is not the unbroken count";
    EXPECT_GE(platform::fileSize(raw), atSignal + (recent ? 5 : 0) * int64_t(BlockBytes)) << "blocks in memory were lost";
    EXPECT_EQ(FileNames(r.Work()), std::vector<std::string>{"Orvane.raw"}) << "a copy was left";
    for (const std::string& name : FileNames(r.Out())) EXPECT_EQ(name.find(".part"), std::string::npos) << name;
    EXPECT_TRUE(platform::fileExists(child.binary + ".INI")) << "the settings were not written";
}

// Another default source chosen during a recording: the recording goes on on
// its source, Stop and Save As work on all of it, and only then does the
// program restart on the new source.
void SourceChangedDuringARecordingWaitsForSaveAs(Rig& r) {
    const std::string oldData = Env("XDG_DATA_HOME");
    // The program a restart started: the only one run from this build's path, as it is.
    const std::string restarted = "pgrep -n -x -f '" + r.BinaryPath() + "'";
    auto end = [&] {
        // Every one of them: the newest may be a short-lived fork of the program, and
        // one left alive would restart once more when the default source goes back.
        std::system(("pkill -9 -x -f '" + r.BinaryPath() + "'").c_str());
        r.Gui([&] { oldData.empty() ? unsetenv("XDG_DATA_HOME") : setenv("XDG_DATA_HOME", oldData.c_str(), 1); });
        std::system("pactl set-default-source orv_null.monitor; for m in $(pactl list short modules | grep "
                    "orv_e2e_other | cut -f1); do pactl unload-module $m; done");
    };
    struct Ending { std::function<void()> f; ~Ending() { f(); } } ending{end};
    ASSERT_EQ(std::system("pactl load-module module-null-sink sink_name=orv_e2e_other "
                          "sink_properties=device.description=OtherSink >/dev/null"), 0);
    r.Gui([&] { setenv("XDG_DATA_HOME", r.Data().c_str(), 1); });  // the restarted program's working folder
    ASSERT_TRUE(r.Start());
    r.Click([&] { return r.P().Main().BtnRecord; });
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Capture.LastBlockSeen >= 10; }));
    ASSERT_EQ(std::system("pactl set-default-source orv_e2e_other.monitor"), 0);
    ASSERT_TRUE(r.WaitFor([&] { return Main(r)->windowTitle().endsWith("(new default: Monitor of OtherSink after Stop)"); }))
        << r.Gui([&] { return Main(r)->windowTitle().toStdString(); });
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Capture.LastBlockSeen >= 30; }));
    r.Click([&] { return r.P().Main().BtnStop; });
    ASSERT_TRUE(r.WaitFor([&] { return !r.P().State().Capture.Recording; }));
    const std::vector<Frame> raw = ReadRaw(r.Work() + "/Orvane.raw");
    // A user's pause before the menu: ten status ticks in which a restart could come first.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_TRUE(r.Menu([&] { return Main(r); }, "menuFile", "menuSaveAs"));
    ASSERT_TRUE(r.SaveAs("whole.wav"));
    ASSERT_TRUE(r.Answer("The recording source is now Monitor of OtherSink.", Qt::Key_Return));
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Shell.Restarting; }));
    ASSERT_GE(raw.size(), 30u * BlockFrames);
    EXPECT_EQ(CountBreaks(raw), std::vector<size_t>{});
    EXPECT_TRUE(ReadWav(r.Out() + "/whole.wav") == raw) << "the saved file is not the whole recording";
    // The new instance, on the new source.
    EXPECT_TRUE(r.WaitFor([&] {
        return std::system(("xdotool search --onlyvisible --pid \"$(" + restarted +
                            ")\" --name 'Orvane Recorder - Monitor of OtherSink' >/dev/null 2>&1").c_str()) == 0;
    })) << "the restarted program does not name the new source";
}

// With another program's window in front, a second process records, marks
// twice and saves what the recording holds to a folder, with no dialog; the
// recording goes on unbroken and stops on command. A second plain start then
// brings the window forward, and a command meets the open save dialog.
void CommandsFromASecondProcess(Rig& r) {
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(r.ServeCommands());
    ASSERT_TRUE(r.FocusElsewhere());
    auto written = [&] { return r.Gui([&] { return r.P().State().Capture.BlocksWritten; }); };
    ASSERT_EQ(r.Command("--record"), 0);
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Capture.BlocksWritten >= 2 * HalfBlocks; }));
    std::string err;
    EXPECT_EQ(r.Command("--mark", nullptr, &err), 0) << err;
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Capture.LastBlockSeen >= 3 * HalfBlocks; }));
    EXPECT_EQ(r.Command("--mark", nullptr, &err), 0) << err;
    // The save takes the blocks on disk: wait for the second mark's block there.
    const uint32_t seen = r.Gui([&] { return r.P().State().Capture.LastBlockSeen; });
    ASSERT_TRUE(r.WaitFor([&] { return r.P().State().Capture.BlocksWritten > seen; }));
    const std::string folder = r.Out() + "/last minutes";
    std::filesystem::create_directory(folder);
    const uint64_t before = written();
    std::string out;
    ASSERT_EQ(r.Command("--save-recent '" + folder + "'", &out, &err), 0) << err;
    const uint64_t after = written();
    const std::string path = out.substr(0, out.find('\n'));
    EXPECT_EQ(FileNames(folder), std::vector<std::string>{path.substr(folder.size() + 1)}) << out;
    EXPECT_TRUE(path.rfind(folder + "/Orvane ", 0) == 0 && path.ends_with(".wav") && path.find(':') == std::string::npos)
        << path;
    EXPECT_FALSE(r.Gui([&] { return r.P().Main().isActiveWindow(); })) << "a command took the focus";
    ASSERT_TRUE(r.WaitFor([&] { return written() >= after + 2 * HalfBlocks; })) << "the recording did not go on";
    ASSERT_EQ(r.Command("--stop", nullptr, &err), 0) << err;
    EXPECT_FALSE(r.Gui([&] { return r.P().State().Capture.Recording; }));
    EXPECT_NE(r.Command("--stop", nullptr, &err), 0);
    EXPECT_NE(err.find(NothingRecordingText), std::string::npos) << err;

    const std::vector<Frame> raw = ReadRaw(r.Work() + "/Orvane.raw");
    EXPECT_EQ(CountBreaks(raw), std::vector<size_t>{}) << "the recording broke";
    const std::vector<Frame> saved = ReadWav(path);
    const uint64_t taken = saved.size() / BlockFrames;
    EXPECT_TRUE(taken >= before && taken <= after && saved.size() % BlockFrames == 0)
        << taken << " blocks saved, the moment lies in " << before << " … " << after;
    ASSERT_LE(saved.size(), raw.size());
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), raw.begin())) << "not the recording's first blocks";
    const std::vector<uint32_t> cues = CueOffsets(path);
    ASSERT_EQ(cues.size(), 2u) << "the two marks are not in the saved file";
    // Each at the block of its moment or later: the first after 2 halves, the second after 3.
    EXPECT_TRUE(cues[0] < cues[1] && cues[0] + BlockFrames >= 2 * HalfBlocks * BlockFrames &&
                cues[1] + BlockFrames >= 3 * HalfBlocks * BlockFrames && cues[1] < saved.size())
        << cues[0] << ", " << cues[1];

    // A second plain start brings the window forward and ends.
    EXPECT_EQ(r.Command("", nullptr, &err), 0) << "the second start did not end at once: " << err;
    EXPECT_TRUE(r.WaitFor([&] { return r.P().Main().isActiveWindow(); })) << "the first window did not come forward";
    // With the save dialog open a command is refused with the window's text and
    // changes nothing; once the recording is saved, the same command records.
    ASSERT_TRUE(r.Menu([&] { return Main(r); }, "menuFile", "menuSaveAs"));
    ASSERT_TRUE(r.WaitFor([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; }));
    EXPECT_EQ(r.Command("--record", nullptr, &err), 1);
    EXPECT_NE(err.find(DialogOpenText), std::string::npos) << err;
    EXPECT_FALSE(r.Gui([&] { return r.P().State().Capture.Recording; }));
    ASSERT_TRUE(r.SaveAs("kept.wav"));
    ASSERT_TRUE(r.WaitFor([&] { return r.Idle(); }));
    EXPECT_EQ(r.Command("--record", nullptr, &err), 0) << err;
    EXPECT_TRUE(r.Gui([&] { return r.P().State().Capture.Recording; }));
    EXPECT_EQ(r.Command("--stop", nullptr, &err), 0) << err;
}

struct Row {
    const char* name;
    std::function<void(Rig&)> path;
    bool bus = false;  // commands from a second process over the session bus
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class EndToEnd : public ::testing::TestWithParam<Row> {};

// Closes what a row left open (a failed row stops anywhere): message boxes
// answered Yes, other modal windows and menus closed; once per window.
void Unwind(QPointer<QWidget>& handled) {
    if (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        return;
    }
    QWidget* m = QApplication::activeModalWidget();
    if (!m || m == handled) return;
    handled = m;
    if (auto* box = qobject_cast<QMessageBox*>(m); box && box->button(QMessageBox::Yes))
        QMetaObject::invokeMethod(box->button(QMessageBox::Yes), "click", Qt::QueuedConnection);
    else
        QMetaObject::invokeMethod(m, "reject", Qt::QueuedConnection);
}

TEST_P(EndToEnd, Path) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "no X display (the test command starts Xvfb)";
    if (Env("ORV_SOUND_SERVER") != "1")
        GTEST_SKIP() << "no sound server with the counting signal (the test command starts one)";
    // Never a desktop's own bus: the program's name there may be the user's.
    if (GetParam().bus && Env("ORV_SESSION_BUS") != "1")
        GTEST_SKIP() << "no private session bus (the test command starts one)";
    Rig rig;
    std::atomic<bool> done{false};
    std::thread steps([&] {
        GetParam().path(rig);
        done = true;
    });
    QTimer unwind;
    QPointer<QWidget> handled;
    QObject::connect(&unwind, &QTimer::timeout, [&] {
        if (done) Unwind(handled);
    });
    unwind.start(100);
    while (!done || QApplication::activeModalWidget() || QApplication::activePopupWidget()) QTest::qWait(20);
    steps.join();
    rig.DestroyProgram();
}

INSTANTIATE_TEST_SUITE_P(
    e2e, EndToEnd,
    ::testing::Values(Row{"RecordCutAndSaveWav", RecordCutAndSaveWav},
                      Row{"PlayAllReachesTheLastFrame", PlayAllReachesTheLastFrame},
                      Row{"CancelledSaveKeepsTheOldTarget", CancelledSaveKeepsTheOldTarget},
                      Row{"CloseWhileRecordingKeepsTheRecording", CloseWhileRecordingKeepsTheRecording},
                      Row{"KilledRecordingLoadedAndSaved", KilledRecordingLoadedAndSaved},
                      Row{"EscAsksAboutUnsavedEdits", EscAsksAboutUnsavedEdits},
                      Row{"EditorMessagesBelongToTheEditor", EditorMessagesBelongToTheEditor},
                      Row{"EditorGestures", EditorGestures},
                      Row{"EditorMarkers", EditorMarkers},
                      Row{"EditorWindowsAndTheFormatsExtension", EditorWindowsAndTheFormatsExtension},
                      Row{"NormalCloseLeavesNoWorkingFiles", NormalCloseLeavesNoWorkingFiles},
                      Row{"SaveRecentOfContinuousRecording", SaveRecentOfContinuousRecording},
                      Row{"SaveRecentOfTheLoop", SaveRecentOfTheLoop},
                      Row{"TermWithSaveAsOpen", [](Rig& r) { TermWithDialogOpen(r, false); }},
                      Row{"TermDuringTheRecentSave", [](Rig& r) { TermWithDialogOpen(r, true); }},
                      Row{"SourceChangedDuringARecordingWaitsForSaveAs", SourceChangedDuringARecordingWaitsForSaveAs},
                      Row{"CommandsFromASecondProcess", CommandsFromASecondProcess, true}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orv::e2e

int main(int argc, char** argv) {
    // A real X server when there is one; without, the table skips.
    qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
    QApplication app(argc, argv);
    orv::SetUpApplication();
    // Qt's own file dialog, whatever desktop the machine has; the loop ends with the test.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

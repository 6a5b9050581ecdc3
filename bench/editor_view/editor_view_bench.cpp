// Editor view speed. The reference is the same work on a 1-minute recording
// in the same run: the editor never copies a recording, so a 10-hour one
// should open and draw about as fast.
//  1. open: level 0, the working files, the zoom that fits, the first view;
//  2. a full redraw (scroll, zoom or release) at the widest zoom-out of the
//     10-hour recording and at zoom level 1;
//  3. one selection drag step, which redraws only the columns that changed;
//  4. the editor window itself: shown (level 0, working files, first view,
//     controls laid out), painted once, closed.
// Figures are CPU time per call (the median of many calls).
// Usage: orv_editor_view_bench <scratch folder>
#include <time.h>

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_host.h"
#include "display/editor_view.h"
#include "editor/form_edit.h"
#include "editor/operations.h"
#include "platform/raw_file.h"
#include "record/format.h"

namespace {

using namespace orv;

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// Median CPU seconds of one call over 'runs' calls.
double Median(int runs, const std::function<void()>& work) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const double start = CpuSeconds();
        work();
        t.push_back(CpuSeconds() - start);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "editor_view_bench: %s\n", what.c_str());
    std::exit(1);
}

// The window opened on a recording file of 'blocks' blocks (sparse: opening
// reads none of its samples) whose display peaks are given.
double WindowOpen(const std::string& folder, uint32_t blocks, const PeakTables& peaks) {
    CaptureState cap;
    RecordBuffers buffers;
    ProcessingState processing;
    AllocateCaptureBuffers(buffers);
    buffers.Peaks = peaks;
    const std::string raw = folder + "/Window" + std::to_string(blocks) + ".raw";
    if (!cap.RawStream.open(raw, platform::RawFile::Mode::Create) || !cap.RawStream.truncate(BlockOffset(uint64_t{blocks} + 1)))
        Fail("cannot make " + raw);
    cap.TotalBlocks = blocks;
    EditorState editor;
    ColourSchemeState colours;
    BusyState busy;
    NullPlayback playback;
    BenchHost host([](const std::string& text) { Fail(text); });
    TFormEdit form(EditorWindowContext{editor, cap, buffers, processing, colours, busy, playback, host, folder,
                                       folder + "/Edit.raw", folder + "/Clp.raw", "."});
    form.resize(780, 450);
    QImage target(780, 450, QImage::Format_RGB32);
    const double t = Median(41, [&] {
        form.show();
        form.render(&target);
        form.close();
    });
    platform::removeFile(raw);
    return t;
}

struct Figures {
    double Open, Redraw, RedrawZoom1, Drag, Window;
    int DragColumns;
    int32_t FitZoom;
};

Figures Measure(const std::string& folder, uint32_t blocks, const PeakTables& peaks) {
    const EditorGeometry g = LayoutEditorGeometry(780, 450, 52, 22, 17, 22);
    ColourSchemeState scheme;
    const ViewColours colours = MakeViewColours(scheme);
    EditorState state;
    EditorView view;
    auto timeline = [&] {
        ViewTimeline t;
        t.Pieces = CurrentPieces(state);
        t.RecordingPeaks = &peaks;
        t.EditPeaks = &state.EditPeaks;
        t.TotalBlocks = state.TotalBlocks;
        t.SelStart = state.SelStart;
        t.SelEnd = state.SelEnd;
        t.InsertPoint = state.InsertPoint;
        return t;
    };
    Figures f{};
    f.Open = Median(41, [&] {
        const EditResult r = OpenEditor(state, blocks, 0, false, folder + "/Edit.raw", folder + "/Clp.raw");
        if (!r.Ok) Fail(r.Message);
        view.ViewFirstBlock = 0;
        view.ZoomLevel = ZoomToFit(blocks, g.Columns());
        DrawView(view, g, timeline(), colours);
        CloseEditor(state);
    });
    const EditResult r = OpenEditor(state, blocks, 0, false, folder + "/Edit.raw", folder + "/Clp.raw");
    if (!r.Ok) Fail(r.Message);
    f.FitZoom = ZoomToFit(blocks, g.Columns());
    view.ZoomLevel = f.FitZoom;
    int step = 0;
    f.Redraw = Median(201, [&] {
        view.ViewFirstBlock = (step++ % 2) * view.Z();
        DrawView(view, g, timeline(), colours);
    });
    view.ZoomLevel = 1;
    f.RedrawZoom1 = Median(201, [&] {
        // A full view where the recording allows it.
        const uint32_t columns = uint32_t(g.Columns());
        view.ViewFirstBlock = std::min(blocks / 2, blocks > columns ? blocks - columns : 0) + uint32_t(step++ % 2);
        DrawView(view, g, timeline(), colours);
    });
    // Drag steps of three columns to the right and back, from a selection of 200 columns.
    view.ZoomLevel = f.FitZoom;
    view.ViewFirstBlock = 0;
    state.SelStart = view.Z() * 100;
    state.SelEnd = view.Z() * 300;
    DrawView(view, g, timeline(), colours);
    int columns = 0;
    f.Drag = Median(201, [&] {
        state.SelEnd = view.Z() * (300 + 3 * (step++ % 2));
        columns = DrawSelectionChange(view, g, timeline(), colours);
    });
    f.DragColumns = columns;
    CloseEditor(state);
    f.Window = WindowOpen(folder, blocks, peaks);
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) Fail("usage: orv_editor_view_bench <scratch folder>");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string folder = argv[1];

    PeakTables peaks;
    peaks.Allocate(PeakTableSize + 1);
    std::mt19937 rng(11);
    for (size_t k = 1; k < peaks.Size(); ++k) {
        const int a = int(rng() % 32000), b = int(rng() % 32000);
        peaks.PeakMaxLeft[k] = int16_t(a);
        peaks.PeakMinLeft[k] = int16_t(-b);
        peaks.PeakMaxRight[k] = int16_t(b / 2);
        peaks.PeakMinRight[k] = int16_t(-a / 2);
    }
    const Figures minute = Measure(folder, 600, peaks);
    const Figures hours = Measure(folder, PeakTableSize, peaks);
    auto ms = [](double s) { return s * 1000.0; };
    std::printf("editor view, 780 x 450 window, CPU ms per call (median)\n");
    std::printf("%-34s %10s %10s %8s\n", "", "1 minute", "10 hours", "ratio");
    std::printf("%-34s %10.3f %10.3f %8.2f\n", "open and draw the first view", ms(minute.Open), ms(hours.Open),
                hours.Open / minute.Open);
    std::printf("%-34s %10.3f %10.3f %8.2f\n", "full redraw at the fitting zoom", ms(minute.Redraw), ms(hours.Redraw),
                hours.Redraw / minute.Redraw);
    std::printf("%-34s %10.3f %10.3f %8.2f\n", "full redraw at zoom level 1", ms(minute.RedrawZoom1),
                ms(hours.RedrawZoom1), hours.RedrawZoom1 / minute.RedrawZoom1);
    std::printf("%-34s %10.3f %10.3f %8.2f\n", "selection drag step (3 columns)", ms(minute.Drag), ms(hours.Drag),
                hours.Drag / minute.Drag);
    std::printf("%-34s %10.3f %10.3f %8.2f\n", "editor window: show, paint, close", ms(minute.Window),
                ms(hours.Window), hours.Window / minute.Window);
    std::printf("fitting zoom levels: %d (1 minute), %d (10 hours); columns redrawn per drag step: %d, %d\n",
                minute.FitZoom, hours.FitZoom, minute.DragColumns, hours.DragColumns);
    return 0;
}

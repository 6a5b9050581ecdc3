// Draws the editor window over a made-up recording with a selection and
// saves a picture of it: the screenshot in the README.
// Usage: orv_editor_screenshot <output.png> <scratch folder>
#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <vector>

#include "editor/form_edit.h"
#include "platform/raw_file.h"
#include "record/format.h"
#include "record/processing.h"

namespace {

using namespace orv;

class QuietHost final : public EditorHost {
public:
    void Message(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    bool Confirm(const std::string&) override { return true; }
    std::string InputBox(const std::string&, const std::string&, const std::string& d) override { return d; }
    int64_t FreeBytes(const std::string&) override { return -1; }
    void SaveEditedRange(uint32_t, uint32_t, std::span<const Piece>, const PieceSources&, const MarkerList&,
                         QWidget*) override {}
    void OpenOutputFolder() override {}
    void ShowSaveSettings(QWidget*) override {}
    void OpenPlaybackDevices() override {}
    void OpenHelp() override {}
    void ShowAbout(QWidget*) override {}
};

// Phrases of a few tones under a swelling and falling envelope, like speech or music.
std::pair<int16_t, int16_t> Sample(uint64_t frame) {
    const double t = double(frame) / SampleRate;
    const double phrase = std::fmod(t, 7.3);
    const double envelope = std::pow(std::sin(M_PI * std::min(phrase / 6.0, 1.0)), 2) *
                            (0.55 + 0.4 * std::sin(t * 0.9)) * (0.75 + 0.25 * std::sin(t * 2.3));
    const double tone = std::sin(2 * M_PI * 220 * t) + 0.5 * std::sin(2 * M_PI * 331 * t + std::sin(t));
    const double l = 20000 * envelope * tone / 1.5;
    const double r = 17000 * envelope * std::sin(2 * M_PI * 277 * t + 0.4 * std::sin(3 * t));
    return {int16_t(l), int16_t(r)};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: orv_editor_screenshot <output.png> <scratch folder>\n");
        return 2;
    }
    QApplication app(argc, argv);
    const std::string out = argv[1];
    const std::string folder = argv[2];

    CaptureState cap;
    RecordBuffers buffers;
    ProcessingState processing;
    AllocateCaptureBuffers(buffers);
    const uint32_t blocks = 1500;  // 2.5 min
    if (!cap.RawStream.open(folder + "/Orvane.raw", platform::RawFile::Mode::Create)) return 1;
    std::vector<uint8_t> block(BlockBytes);
    std::vector<int16_t> left(BlockFrames), right(BlockFrames);
    for (uint32_t k = 1; k <= blocks; ++k) {
        for (uint32_t i = 0; i < BlockFrames; ++i) {
            const auto [l, r] = Sample(uint64_t(k - 1) * BlockFrames + i);
            PutSample(&block[4 * i], l);
            PutSample(&block[4 * i + 2], r);
            left[i] = l;
            right[i] = r;
        }
        cap.RawStream.writeAt(BlockOffset(k), block.data(), BlockBytes);
        StoreBlockPeaks(processing, left.data(), right.data(), buffers.Peaks, k);
    }
    cap.TotalBlocks = blocks;

    EditorState editor;
    ColourSchemeState colours;
    BusyState busy;
    NullPlayback playback;
    QuietHost host;
    TFormEdit form(EditorWindowContext{editor, cap, buffers, processing, colours, busy, playback, host, folder,
                                       folder + "/Edit.raw", folder + "/Clp.raw", "."});
    form.resize(900, 480);
    form.show();
    QTimer::singleShot(300, &form, [&] {
        form.TimerPlay->stop();
        // A selection of about 30 s from 40 s on, made as a user would with the mouse.
        const int y = form.Geometry().T + 40;
        auto mouse = [&](QEvent::Type type, int block, Qt::MouseButtons held) {
            const int x = form.Geometry().L + int((block - form.View().ViewFirstBlock) / form.View().Z());
            QMouseEvent e(type, QPointF(x, y), form.mapToGlobal(QPointF(x, y)), Qt::LeftButton, held, Qt::NoModifier);
            QApplication::sendEvent(&form, &e);
        };
        mouse(QEvent::MouseButtonPress, 401, Qt::LeftButton);
        for (int b = 402; b <= 699; b += 2) mouse(QEvent::MouseMove, b, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, 699, Qt::NoButton);
        form.TimerPlayTimer();
        QApplication::processEvents();
        const bool saved = form.grab().save(QString::fromStdString(out), "PNG");
        std::fprintf(stderr, saved ? "wrote %s\n" : "could not write %s\n", out.c_str());
        form.close();
        app.exit(saved ? 0 : 1);
    });
    return app.exec();
}

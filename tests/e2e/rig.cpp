#include "e2e/rig.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTest>
#include <QWindow>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sndfile.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace orv::e2e {

std::string ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

static std::vector<Frame> Frames(const char* p, size_t bytes) {
    std::vector<Frame> out(bytes / 4);
    if (!out.empty()) std::memcpy(out.data(), p, out.size() * 4);
    return out;
}

std::vector<Frame> ReadRaw(const std::string& path) {
    const std::string b = ReadBytes(path);
    return Frames(b.data(), b.size());
}

std::vector<Frame> ReadWav(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f || info.samplerate != 44100 || info.channels != 2 || (info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16) {
        ADD_FAILURE() << path << " is not a 44.1 kHz stereo 16-bit file: " << sf_strerror(f);
        if (f) sf_close(f);
        return {};
    }
    std::vector<Frame> out(size_t(info.frames));
    out.resize(size_t(std::max<sf_count_t>(sf_readf_short(f, reinterpret_cast<short*>(out.data()), info.frames), 0)));
    sf_close(f);
    return out;
}

std::vector<size_t> CountBreaks(const std::vector<Frame>& f) {
    auto counting = [](Frame x) { return uint16_t(x.l) == uint16_t(~uint16_t(x.r)); };
    size_t i = 0;
    while (i < f.size() && !counting(f[i])) ++i;
    std::vector<size_t> breaks;
    if (i == f.size()) return {0};  // no signal at all
    uint16_t expect = uint16_t(f[i].l + 1);
    for (++i; i < f.size(); ++i) {
        if (f[i].l == 0 && f[i].r == 0) continue;
        if (!counting(f[i]) || uint16_t(f[i].l) != expect) breaks.push_back(i);
        expect = uint16_t(f[i].l + 1);
    }
    return breaks;
}

std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.emplace_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

int StartProcess(const std::string& commandLine) {
    FILE* p = popen(("(" + commandLine + ") </dev/null >/dev/null 2>&1 & echo $!").c_str(), "r");
    if (!p) return -1;
    int pid = -1;
    if (std::fscanf(p, "%d", &pid) != 1) pid = -1;
    pclose(p);
    return pid;
}

Rig::Rig() : data_(dir_.file("data")), out_(dir_.file("out")) {
    mkdir(data_.c_str(), 0700);
    mkdir(Work().c_str(), 0700);  // the working folder is the user's, not one beside the build
    mkdir(out_.c_str(), 0700);
    std::ofstream(dir_.file("settings.INI"))
        << "[Save Format]\nWav=1\nSamplePerSecond=44100\nBitPerSample=16\nChannels=2\nMP3=0\n"
        << "[Output Folder]\nName=" << out_ << "\n";
}

Rig::~Rig() = default;

std::string Rig::BinaryPath() const { return ORV_BIN_DIR "/orvane-recorder"; }

::testing::AssertionResult Rig::Start(bool wait) {
    const ProgramPlaces places{dir_.file("settings.INI"), BinaryPath(), data_, out_};
    Post([this, places] {
        auto program = std::make_unique<Program>(places);  // lets events run while it starts
        program->Show();
        program_ = std::move(program);
    });
    return wait ? Shown() : ::testing::AssertionSuccess();
}

::testing::AssertionResult Rig::Shown() {
    if (!WaitFor([this] { return program_ && P().Main().windowHandle() && P().Main().windowHandle()->isExposed(); }))
        return ::testing::AssertionFailure() << "the main window did not come up";
    return ::testing::AssertionSuccess();
}

bool Rig::OnWindowThread() { return QThread::currentThread() == qApp->thread(); }

void Rig::Post(std::function<void()> f) { QMetaObject::invokeMethod(qApp, std::move(f), Qt::QueuedConnection); }

bool Rig::WaitFor(const std::function<bool()>& cond) {
    // About a minute of polls: far beyond any step on a loaded machine; only
    // a step that never comes reaches it.
    for (int i = 0; i < 4000; ++i) {
        if (Gui(cond)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void Rig::Input(std::function<void()> f) {
    // Inside f, QTest lets events run, and with them the steps queued after
    // it: the next step waits until f has returned or opened a modal window.
    struct Progress {
        QPointer<QWidget> modalBefore;
        bool started = false, finished = false;
    };
    auto p = std::make_shared<Progress>();
    Post([p, f] {
        p->modalBefore = QApplication::activeModalWidget();
        p->started = true;
        f();
        p->finished = true;
    });
    WaitFor([p] { return p->started && (p->finished || QApplication::activeModalWidget() != p->modalBefore); });
}

static QPoint CentreIn(QWidget* w) { return w->mapTo(w->window(), w->rect().center()); }

void Rig::Click(std::function<QWidget*()> widget) {
    Input([widget] {
        QWidget* w = widget();
        QTest::mouseClick(w->window()->windowHandle(), Qt::LeftButton, {}, CentreIn(w));
    });
}

void Rig::Key(std::function<QWidget*()> window, int key, Qt::KeyboardModifiers modifiers) {
    // The user types into the window in front; Xvfb has no window manager to put it there.
    if (!Gui([&] { return window()->isActiveWindow(); })) {
        Gui([&] { window()->activateWindow(); });
        WaitFor([&] { return window()->isActiveWindow(); });
    }
    Input([window, key, modifiers] { QTest::keyClick(window()->windowHandle(), Qt::Key(key), modifiers); });
}

::testing::AssertionResult Rig::Menu(std::function<QWidget*()> window, const char* menu, const char* item) {
    QPointer<QMenu> m;
    Input([&, window] {
        QWidget* w = window();
        QMenuBar* bar = w->findChild<QMenuBar*>();
        m = w->findChild<QMenu*>(menu);
        if (!bar || !m) return;
        const QPoint at = bar->mapTo(w, bar->actionGeometry(m->menuAction()).center());
        QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, at);
    });
    if (!WaitFor([&] { return m && m->isVisible() && m->windowHandle() && m->windowHandle()->isExposed(); }))
        return ::testing::AssertionFailure() << "menu " << menu << " did not open";
    const std::string name = item;
    Input([m, name] {
        for (QAction* a : m->actions())
            if (a->objectName().toStdString() == name)
                QTest::mouseClick(m->windowHandle(), Qt::LeftButton, {}, m->actionGeometry(a).center());
    });
    return ::testing::AssertionSuccess();
}

void Rig::DragInView(double from, double to) {
    Input([this, from, to] {
        TFormEdit& e = P().Editor();
        const EditorGeometry& g = e.Geometry();
        // The recording may fill only part of the view.
        const double shown = std::min<double>(g.Columns() - 1, (P().State().Editor.TotalBlocks - e.View().ViewFirstBlock) / e.View().Z());
        auto column = [&](double share) { return g.L + 1 + int(share * shown); };
        const int y = (g.T + g.B) / 2;
        QWindow* w = e.windowHandle();
        const int x0 = column(from), x1 = column(to);
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(x0, y));
        for (int x = x0 + 1; x <= x1; ++x) QTest::mouseMove(w, QPoint(x, y));
        QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(x1, y));
    });
}

::testing::AssertionResult Rig::Answer(const std::string& text, int key, QWidget** parent) {
    QPointer<QMessageBox> box;
    std::string other;
    WaitFor([&] {
        auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!b || !b->isVisible()) return false;
        if (b->text().toStdString().find(text) == std::string::npos) other = b->text().toStdString();
        else box = b;
        return true;
    });
    if (!box)
        return ::testing::AssertionFailure() << "expected the question \"" << text << "\", "
                                             << (other.empty() ? "none came" : "got \"" + other + "\"");
    if (parent) *parent = Gui([&] { return box->parentWidget() ? box->parentWidget()->window() : nullptr; });
    Input([box, key] {
        if (box) QTest::keyClick(box->windowHandle(), Qt::Key(key));
    });
    if (!WaitFor([&] { return !box || !box->isVisible(); }))
        return ::testing::AssertionFailure() << "\"" << text << "\" stayed open";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Rig::SaveAs(const std::string& fileName) {
    QPointer<QWidget> dialog;
    if (!WaitFor([&] {
            dialog = QApplication::activeModalWidget();
            return dialog && dialog != &P().Editor() && dialog->isVisible();
        }))
        return ::testing::AssertionFailure() << "no file dialog came";
    Input([dialog, fileName] {
        // What the user types replaces the suggested name.
        QTest::keyClick(dialog->windowHandle(), Qt::Key_A, Qt::ControlModifier);
        for (char c : fileName) QTest::keyClick(dialog->windowHandle(), c);
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
    });
    return ::testing::AssertionSuccess();
}

void Rig::KeyWhenShown(std::function<QWidget*()> widget, int key) {
    struct OnShow : QObject {
        int key;
        explicit OnShow(QObject* parent, int k) : QObject(parent), key(k) {}
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Show) {
                auto* w = static_cast<QWidget*>(watched);
                // Pressed between the events the shown window lets run, as a user's would be.
                const int k = key;
                QMetaObject::invokeMethod(
                    qApp, [w = QPointer<QWidget>(w), k] {
                        if (w && w->windowHandle()) QTest::keyClick(w->windowHandle(), Qt::Key(k));
                    },
                    Qt::QueuedConnection);
                watched->removeEventFilter(this);
                deleteLater();
            }
            return false;
        }
    };
    Gui([&] { widget()->installEventFilter(new OnShow(widget(), key)); });
}

::testing::AssertionResult Rig::Record(uint32_t blocks) {
    Click([this] { return P().Main().BtnRecord; });
    if (!WaitFor([&] { return P().State().Capture.LastBlockSeen >= blocks; }))
        return ::testing::AssertionFailure() << "the recording did not reach " << blocks << " blocks" << Gui([this] {
            const CaptureState& c = P().State().Capture;
            return " (recording " + std::to_string(c.Recording) + ", open " + std::to_string(c.CaptureOpen) +
                   ", blocks " + std::to_string(c.LastBlockSeen) + ")";
        });
    Click([this] { return P().Main().BtnStop; });
    if (!WaitFor([&] { return !P().State().Capture.Recording; }))
        return ::testing::AssertionFailure() << "Stop did not stop the recording";
    return ::testing::AssertionSuccess();
}

bool Rig::EditorOpen() {
    return Gui([this] { return P().Editor().isVisible() && QApplication::activeModalWidget() == &P().Editor(); });
}

::testing::AssertionResult Rig::OpenEditor() {
    Click([this] { return P().Main().BtnEdit; });
    if (!WaitFor([this] {
            return P().Editor().isVisible() && QApplication::activeModalWidget() == &P().Editor() &&
                   P().Editor().windowHandle()->isExposed();
        }))
        return ::testing::AssertionFailure() << "the editor did not open";
    return ::testing::AssertionSuccess();
}

bool Rig::Idle() {
    return Gui([this] {
        QWidget* m = QApplication::activeModalWidget();
        return !P().State().Busy.Busy() && !P().Progress().isVisible() &&
               (!m || m == &P().Editor());
    });
}

::testing::AssertionResult Rig::ServeCommands() {
    const bool owned = Gui([this] {
        service_ = std::make_unique<CommandService>();
        service_->Serve(P().Main());
        return service_->ClaimName() == CommandService::Claim::Owned;
    });
    if (!owned) return ::testing::AssertionFailure() << "another program holds the name on the session bus";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Rig::FocusElsewhere() {
    Gui([this] {
        other_ = std::make_unique<QWidget>();
        other_->setWindowTitle("Another program");
        other_->setGeometry(600, 500, 300, 200);
        other_->show();
        other_->activateWindow();
    });
    if (!WaitFor([this] { return other_->isActiveWindow() && !P().Main().isActiveWindow(); }))
        return ::testing::AssertionFailure() << "the other window did not take the focus";
    return ::testing::AssertionSuccess();
}

int Rig::Command(const std::string& options, std::string* out, std::string* err) {
    const std::string errFile = dir_.file("command.err");
    FILE* p = popen(("timeout 60 '" + BinaryPath() + "' " + options + " 2>'" + errFile + "'").c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    const int status = pclose(p);
    if (out) *out = text;
    if (err) *err = ReadBytes(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace orv::e2e

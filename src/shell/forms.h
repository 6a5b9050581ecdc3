#pragma once
// The small windows of the shell: About, the found-recording question, the
// colour chooser and the hidden picture form.
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QWidget>
#include <array>
#include <cstdint>

namespace orv {

// The program's icon, drawn once: a record dot on a dark face.
QIcon ProgramIcon();

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget* parent = nullptr);
};

class TFormInfo : public QDialog {
    Q_OBJECT
public:
    explicit TFormInfo(QWidget* parent = nullptr);
};

// The colour-scheme chooser: five rounded rectangles in the schemes' base
// colours; a click on one (or on its caption) picks that scheme and closes.
class TFormColors : public QDialog {
    Q_OBJECT
public:
    explicit TFormColors(QWidget* parent = nullptr);
    // The setting the chooser reads and sets (Settings::ColourScheme).
    void Bind(int32_t* colourScheme) { scheme_ = colourScheme; }
    void HighlightSchemeLabel(int n);
    void ShapeMouseMove(int n) { HighlightSchemeLabel(n); }
    void ShapeMouseDown(int n);

    std::array<QWidget*, 5> Shapes{};
    std::array<QLabel*, 5> Labs{};

protected:
    void showEvent(QShowEvent* event) override;

private:
    int32_t ownScheme_ = 1;
    int32_t* scheme_ = &ownScheme_;
};

// Holds the skin pictures; never shown.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
};

}  // namespace orv

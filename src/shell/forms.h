#pragma once
// The small windows of the shell: About, the found-recording question, the
// colour chooser and the hidden picture form.
#include <QDialog>
#include <QIcon>
#include <QWidget>

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

class TFormColors : public QDialog {
    Q_OBJECT
public:
    explicit TFormColors(QWidget* parent = nullptr);
};

// Holds the skin pictures; never shown.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
};

}  // namespace orv

#include "shell/qt_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

#include "export/save_filter.h"
#include "platform/desktop.h"
#include "platform/system.h"

namespace orv {

static QString Q(const std::string& s) { return QString::fromStdString(s); }

QWidget* QtDialogs::Owner() const {
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) return modal;
    if (QWidget* active = QApplication::activeWindow(); active && active->isVisible()) return active;
    return parent_;
}

void QtDialogs::Message(const std::string& text) {
    QMessageBox::information(Owner(), QApplication::applicationName(), Q(text));
}

bool QtDialogs::Confirm(const std::string& text) {
    return QMessageBox::question(Owner(), QApplication::applicationName(), Q(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtDialogs::ConfirmDefaultNo(const std::string& text) {
    return QMessageBox::question(Owner(), QApplication::applicationName(), Q(text),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

std::string QtDialogs::InputBox(const std::string& caption, const std::string& prompt,
                                const std::string& defaultText) {
    bool ok = false;
    const QString s = QInputDialog::getText(Owner(), Q(caption), Q(prompt), QLineEdit::Normal, Q(defaultText), &ok);
    return ok ? s.toStdString() : defaultText;
}

std::string QtDialogs::SaveFileName(const std::string& folder, const std::string& filter,
                                    const std::string& defaultExtension) {
    // "description|pattern" becomes Qt's "description (pattern)".
    const QString f = Q(filter);
    const int bar = f.indexOf('|');
    const QString qtFilter = bar < 0 ? f : f.left(bar).trimmed() + " (" + f.mid(bar + 1) + " " + f.mid(bar + 1).toLower() + ")";
    QWidget* owner = Owner();
    QFileDialog dialog(owner, QString(), Q(folder), qtFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The question below names the file as it will be written, with the format's extension.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString path = Q(WithSaveExtension(dialog.selectedFiles().first().toStdString(), defaultExtension));
        const QFileInfo file(path);
        if (!file.exists() ||
            QMessageBox::question(owner, dialog.windowTitle(),
                                  QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(file.fileName()),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes)
            return path.toStdString();
        dialog.selectFile(file.fileName());
    }
    return {};
}

bool DesktopLauncher::Start(const std::string& program, const std::vector<std::string>& args) {
    return platform::startDetached(program, args, environment_);
}

bool DesktopLauncher::OpenPath(const std::string& path) {
    // Qt would start xdg-open with this process's environment, which the
    // file manager or browser it picks then inherits: ours is started here.
    if (platform::programOnPath("xdg-open")) return Start("xdg-open", {path});
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path)));
}

bool DesktopLauncher::HasProgram(const std::string& name) { return platform::programOnPath(name); }

bool DesktopLauncher::IsRunning(const std::string& name) { return platform::programRunning(name); }

}  // namespace orv

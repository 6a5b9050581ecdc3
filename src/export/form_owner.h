#pragma once
// A dialog opened from a window belongs to that window: the window system
// keeps it above it (its transient parent) and it opens centred on it.
#include <QWidget>

namespace orv {

inline void OpenOver(QWidget& dialog, QWidget* owner) {
    if (!owner) return;
    owner = owner->window();
    if (dialog.parentWidget() != owner) dialog.setParent(owner, dialog.windowFlags());
    dialog.move(owner->frameGeometry().center() - dialog.rect().center());
}

}  // namespace orv

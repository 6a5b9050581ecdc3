#pragma once
// A dialog opened from a window belongs to that window: the window system
// keeps it above it (its transient parent) and it opens centred on it. The
// dialog keeps its Qt parent, which owns it whichever window opens it.
#include <QWidget>
#include <QWindow>

namespace orv {

inline void OpenOver(QWidget& dialog, QWidget* owner) {
    if (!owner) return;
    owner = owner->window();
    dialog.winId();  // its window exists from here on
    owner->winId();
    dialog.windowHandle()->setTransientParent(owner->windowHandle());
    dialog.move(owner->frameGeometry().center() - dialog.rect().center());
}

}  // namespace orv

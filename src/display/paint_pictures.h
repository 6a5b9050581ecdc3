#pragma once
// A window made of pictures over a stored backdrop, painted where it changed.
//
// Each rectangle of the changed region is copied on its own, clipped to
// itself: a copy under a clip of one rectangle is a plain row copy, while one
// under the clip of several is blended span by span, and from 96 rows on split
// over Qt's worker threads. The backdrop is copied only where no picture
// covers it.
#include <QImage>
#include <QPainter>
#include <QRegion>

#include <initializer_list>
#include <utility>

namespace orv {

using PlacedPicture = std::pair<QRect, const QImage*>;  // where it stands in the window, and what

inline void PaintPictures(QPainter& p, const QRegion& changed, std::initializer_list<PlacedPicture> pictures,
                          const QImage& backdrop) {
    for (const QRect& dirty : changed) {
        p.setClipRect(dirty);
        QRegion uncovered(dirty);
        for (const auto& [area, picture] : pictures) {
            const QRect part = area & dirty;
            if (part.isEmpty()) continue;
            p.drawImage(part.topLeft(), *picture, part.translated(-area.topLeft()));
            uncovered -= part;
        }
        for (const QRect& r : uncovered) p.drawImage(r.topLeft(), backdrop, r);
    }
}

}  // namespace orv

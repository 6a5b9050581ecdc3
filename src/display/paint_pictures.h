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

#include <cstring>
#include <span>
#include <utility>

namespace orv {

using PlacedPicture = std::pair<QRect, const QImage*>;  // where it stands in the window, and what

inline void PaintPictures(QPainter& p, const QRegion& changed, std::span<const PlacedPicture> pictures,
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

// The same pixels as PaintPictures gives opaque premultiplied pictures,
// copied row by row: no painter to set up for a few columns. An opaque
// premultiplied pixel has the same bits in RGB32. False, copying nothing,
// where the formats do not allow it.
inline bool CopyPictures(QImage& target, const QRegion& changed, std::span<const PlacedPicture> pictures,
                         const QImage& backdrop) {
    constexpr QImage::Format from = QImage::Format_ARGB32_Premultiplied;
    if ((target.format() != from && target.format() != QImage::Format_RGB32) || backdrop.format() != from ||
        !target.rect().contains(changed.boundingRect()))
        return false;
    for (const auto& [area, picture] : pictures)
        if (picture->format() != from) return false;
    const auto copy = [&target](const QImage& from, const QRect& to, QPoint fromAt) {
        const QRect r = to & target.rect() & from.rect().translated(to.topLeft() - fromAt);
        const auto bytes = static_cast<size_t>(r.width()) * 4;
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::memcpy(target.scanLine(y) + r.left() * 4,
                        from.constScanLine(y - to.top() + fromAt.y()) + (r.left() - to.left() + fromAt.x()) * 4, bytes);
    };
    for (const QRect& dirty : changed) {
        QRegion uncovered(dirty);
        for (const auto& [area, picture] : pictures) {
            const QRect part = area & dirty;
            if (part.isEmpty()) continue;
            copy(*picture, part, part.topLeft() - area.topLeft());
            uncovered -= part;
        }
        for (const QRect& r : uncovered) copy(backdrop, r, r.topLeft());
    }
    return true;
}

// A premultiplied picture over a premultiplied target at `at`, inside `clip`,
// with the raster engine's source-over arithmetic.
inline void BlendPicture(QImage& target, QPoint at, const QImage& picture, const QRect& clip) {
    const auto byteMul = [](uint32_t x, uint32_t a) {
        uint32_t t = (x & 0xff00ff) * a;
        t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
        x = ((x >> 8) & 0xff00ff) * a;
        x = (x + ((x >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
        return x | t;
    };
    const QRect r = clip & target.rect() & QRect(at, picture.size());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* d = reinterpret_cast<uint32_t*>(target.scanLine(y));
        const auto* s = reinterpret_cast<const uint32_t*>(picture.constScanLine(y - at.y()));
        for (int x = r.left(); x <= r.right(); ++x) {
            const uint32_t src = s[x - at.x()];
            d[x] = src + byteMul(d[x], 255 - qAlpha(src));
        }
    }
}

}  // namespace orv

#pragma once
// Plain pixel writes into a picture's memory: exact, aliased, and clipped to
// the picture, at a fraction of a painter's cost per column. The memory is
// taken once (QImage::scanLine checks for sharing on every call).
//
// Every span and line runs from its start point up to, but not including, its
// end point; a span whose end is not after its start draws nothing.
#include <QImage>

#include <algorithm>
#include <cstdlib>

namespace orv {

struct Pixels {
    QRgb* px;
    int w, h;
    qsizetype stride;  // in pixels
    int left = 0, right = w - 1;  // the columns that may be written, both included
    explicit Pixels(QImage& img)
        : px(reinterpret_cast<QRgb*>(img.bits())), w(img.width()), h(img.height()),
          stride(img.bytesPerLine() / qsizetype(sizeof(QRgb))) {}
    QRgb* row(int y) const { return px + stride * y; }
    int width() const { return w; }
    int height() const { return h; }

    void Set(int x, int y, QRgb c) const {
        if (x < left || y < 0 || x > right || y >= h) return;
        row(y)[x] = c;
    }
    void HLine(int x0, int x1, int y, QRgb c) const {
        if (y < 0 || y >= h) return;
        x0 = std::max(x0, left);
        x1 = std::min(x1, right + 1);
        QRgb* r = row(y);
        for (int x = x0; x < x1; ++x) r[x] = c;
    }
    void VLine(int x, int y0, int y1, QRgb c) const {
        if (x < left || x > right) return;
        y0 = std::max(y0, 0);
        y1 = std::min(y1, h);
        for (int y = y0; y < y1; ++y) row(y)[x] = c;
    }
    // Any direction.
    void Line(int x0, int y0, int x1, int y1, QRgb c) const {
        const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
        const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
        int err = dx + dy;
        while (x0 != x1 || y0 != y1) {
            Set(x0, y0, c);
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }
};

}  // namespace orv

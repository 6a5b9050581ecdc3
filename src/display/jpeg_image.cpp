#include "display/jpeg_image.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

namespace orv {

QImage DecodeJpeg(const uint8_t* data, size_t size) {
    if (data == nullptr || size == 0) return {};
    QBuffer buffer;
    buffer.setData(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    // The size comes from the header: a huge one is refused before any pixel is allocated.
    const QSize s = reader.size();
    if (!s.isValid() || s.width() > 4096 || s.height() > 4096) return {};
    const QImage picture = reader.read();
    return picture.isNull() ? picture : picture.convertToFormat(QImage::Format_RGB32);
}

}  // namespace orv

#include "display/skin.h"

#include <QFile>

#include "display/jpeg_image.h"

// The resources are compiled into this static library; naming the
// initialiser keeps the linker from dropping them.
static void InitSkinResources() { Q_INIT_RESOURCE(assets); }

namespace orv {

namespace {
QImage LoadJpegResource(const QString& name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    return DecodeJpeg(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
}
}  // namespace

SkinPictures LoadSkinPictures() {
    InitSkinResources();
    SkinPictures skin;
    for (int n = 1; n <= SchemeCount; ++n)
        skin.Knobs[size_t(n - 1)] = LoadJpegResource(QStringLiteral(":/skin/knob%1.jpg").arg(n));
    skin.SourceButton = LoadJpegResource(QStringLiteral(":/skin/source.jpg"));
    return skin;
}

const QImage& KnobPicture(const SkinPictures& skin, int scheme) { return skin.Knobs[size_t(ValidScheme(scheme) - 1)]; }

}  // namespace orv

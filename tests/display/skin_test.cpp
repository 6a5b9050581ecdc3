// The embedded skin pictures and the JPEG decoder's handling of bad data.
#include <gtest/gtest.h>

#include <QFile>
#include <vector>

#include "display/jpeg_image.h"
#include "display/skin.h"

namespace orv {
namespace {

TEST(Skin, EmbeddedPicturesDecodeAtTheirSizes) {
    const SkinPictures skin = LoadSkinPictures();
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(skin.Knobs[size_t(n - 1)].size(), QSize(11, n == 3 ? 21 : 20)) << "knob " << n;
    EXPECT_EQ(skin.SourceButton.size(), QSize(16, 16));
    // Each knob is tinted with its own scheme: the middle of the body differs between schemes.
    EXPECT_NE(skin.Knobs[0].pixel(3, 10), skin.Knobs[1].pixel(3, 10));
    // A scheme outside 1 … 5 takes the first knob.
    for (int scheme : {0, 6, -3}) EXPECT_EQ(&KnobPicture(skin, scheme), &skin.Knobs[0]);
    EXPECT_EQ(&KnobPicture(skin, 4), &skin.Knobs[3]);
}

TEST(Skin, DamagedJpegGivesANullPictureNotACrash) {
    QFile f(QStringLiteral(":/skin/knob1.jpg"));
    LoadSkinPictures();  // registers the resources
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    const auto* bytes = reinterpret_cast<const uint8_t*>(good.constData());
    EXPECT_FALSE(DecodeJpeg(bytes, size_t(good.size())).isNull());

    const std::vector<uint8_t> garbage(500, 0x5a);
    EXPECT_TRUE(DecodeJpeg(garbage.data(), garbage.size()).isNull());
    EXPECT_TRUE(DecodeJpeg(nullptr, 0).isNull());
    EXPECT_TRUE(DecodeJpeg(bytes, 20).isNull());  // cut inside the header
    // A broken marker in the header is refused, whatever follows.
    QByteArray broken = good;
    broken[3] = char(0x01);
    broken[5] = char(0xff);
    EXPECT_TRUE(DecodeJpeg(reinterpret_cast<const uint8_t*>(broken.constData()), size_t(broken.size())).isNull());
}

}  // namespace
}  // namespace orv

#pragma once
// The skin pictures: a volume-knob picture for each colour scheme and the
// source button's picture, JPEGs embedded as resources (assets/skin).
#include <array>

#include <QImage>

#include "display/colour_scheme.h"

namespace orv {

struct SkinPictures {
    std::array<QImage, SchemeCount> Knobs;  // Image1 … Image5: 11 × 20 (the third 11 × 21)
    QImage SourceButton;                    // ImageVolumeVista: 16 × 16
};

// Decodes the embedded pictures; a picture that cannot be read stays null.
SkinPictures LoadSkinPictures();
// The knob of a scheme; a scheme outside 1 … 5 takes scheme 1's.
const QImage& KnobPicture(const SkinPictures& skin, int scheme);

}  // namespace orv

#pragma once
// JPEG decoding for the skin pictures, through Qt's image reader (libjpeg-turbo).
#include <cstddef>
#include <cstdint>

#include <QImage>

namespace orv {

// Decodes a JPEG held in memory into an RGB32 picture. Damaged or foreign
// data gives a null picture, never a crash or an exit.
QImage DecodeJpeg(const uint8_t* data, size_t size);

}  // namespace orv

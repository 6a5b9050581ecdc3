#include "display/jpeg_image.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace orv {

namespace {

// libjpeg's default error handler ends the process; ours jumps back instead.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void OnError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1); }
void OnMessage(j_common_ptr) {}

// Kept free of objects with destructors: longjmp must not skip them.
bool Decode(const uint8_t* data, size_t size, QImage& out) {
    jpeg_decompress_struct info{};
    ErrorManager err{};
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = OnError;
    err.base.output_message = OnMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3 || info.output_width == 0 || info.output_height == 0 ||
        info.output_width > 4096 || info.output_height > 4096) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    out = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB32);
    if (out.isNull()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        const int y = int(info.output_scanline);
        // The RGB triples land at the end of the RGB32 row, then spread in place.
        uint8_t* row = out.scanLine(y);
        JSAMPROW rgb = row + info.output_width;
        jpeg_read_scanlines(&info, &rgb, 1);
        QRgb* px = reinterpret_cast<QRgb*>(row);
        for (JDIMENSION x = 0; x < info.output_width; ++x) px[x] = qRgb(rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

QImage DecodeJpeg(const uint8_t* data, size_t size) {
    if (data == nullptr || size == 0) return {};
    QImage out;
    if (!Decode(data, size, out)) return {};
    return out;
}

}  // namespace orv

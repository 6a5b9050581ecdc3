// Draws the program's skin pictures and writes them as JPEG files:
//   knob1.jpg … knob5.jpg  the input-volume knob in each colour scheme (11 × 20; the third 11 × 21)
//   source.jpg             the source button's microphone (16 × 16)
// Usage: orv_make_skin OUTPUT_FOLDER   (scripts/make-skin.sh runs it)
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

struct Picture {
    int w, h;
    std::vector<Rgb> px;
    Picture(int w_, int h_, Rgb fill) : w(w_), h(h_), px(size_t(w_ * h_), fill) {}
    Rgb& at(int x, int y) { return px[size_t(y * w + x)]; }
};

bool WriteJpeg(const Picture& pic, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, f);
    info.image_width = JDIMENSION(pic.w);
    info.image_height = JDIMENSION(pic.h);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    // Full-resolution colour: the pictures are tiny and sharp-edged.
    for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(size_t(pic.w) * 3);
    for (int y = 0; y < pic.h; ++y) {
        for (int x = 0; x < pic.w; ++x) {
            const Rgb& p = pic.px[size_t(y * pic.w + x)];
            row[size_t(3 * x)] = JSAMPLE(std::clamp(std::lround(p.r), 0L, 255L));
            row[size_t(3 * x + 1)] = JSAMPLE(std::clamp(std::lround(p.g), 0L, 255L));
            row[size_t(3 * x + 2)] = JSAMPLE(std::clamp(std::lround(p.b), 0L, 255L));
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(f) == 0;
}

// A slider knob: a rounded metal body tinted with the scheme's colour, lit
// from the upper left, with a dark grip line down its middle.
Picture Knob(Rgb base, int height) {
    const Rgb window = base;
    Picture p(11, height, window);
    const Rgb light = Mix(base, {255, 255, 255}, 0.75);
    const Rgb shade = Mix(base, {0, 0, 0}, 0.35);
    const Rgb edge = Mix(base, {0, 0, 0}, 0.65);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < 11; ++x) {
            const bool corner = (x == 0 || x == 10) && (y == 0 || y == height - 1);
            if (corner) continue;  // rounded: the corners show the window colour
            if (x == 0 || x == 10 || y == 0 || y == height - 1) {
                p.at(x, y) = edge;
                continue;
            }
            const double t = 0.55 * double(x - 1) / 8.0 + 0.45 * double(y - 1) / double(height - 3);
            p.at(x, y) = Mix(light, shade, t);
        }
    }
    for (int y = 3; y < height - 3; ++y) p.at(5, y) = edge;
    for (int y = 3; y < height - 3; ++y) p.at(6, y) = Mix(light, {255, 255, 255}, 0.5);
    return p;
}

// A microphone on the button face.
Picture SourceButton() {
    const Rgb face{236, 236, 236}, dark{50, 56, 66}, grille{120, 128, 140};
    Picture p(16, 16, face);
    for (int y = 1; y <= 9; ++y)
        for (int x = 5; x <= 10; ++x) {
            const bool corner = (y == 1 || y == 9) && (x == 5 || x == 10);
            if (!corner) p.at(x, y) = (y % 2 == 0 && x > 5 && x < 10) ? grille : dark;
        }
    // The holder: a U under the capsule, a stem and a foot.
    for (int y = 6; y <= 11; ++y) {
        p.at(3, y) = dark;
        p.at(12, y) = dark;
    }
    for (int x = 4; x <= 11; ++x) p.at(x, 12) = dark;
    for (int y = 12; y <= 14; ++y) p.at(7, y) = p.at(8, y) = dark;
    for (int x = 4; x <= 11; ++x) p.at(x, 14) = dark;
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    // The base colours of the five schemes.
    const Rgb bases[5] = {{120, 140, 180}, {110, 160, 130}, {180, 125, 165}, {170, 160, 100}, {170, 170, 180}};
    bool ok = true;
    for (int n = 1; n <= 5; ++n)
        ok &= WriteJpeg(Knob(bases[n - 1], n == 3 ? 21 : 20), out + "/knob" + std::to_string(n) + ".jpg");
    ok &= WriteJpeg(SourceButton(), out + "/source.jpg");
    if (!ok) std::fprintf(stderr, "could not write into %s\n", out.c_str());
    return ok ? 0 : 1;
}

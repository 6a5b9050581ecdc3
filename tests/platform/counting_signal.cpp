// Writes the counting signal (left = frame number modulo 65536, right = its
// complement, S16LE stereo) to stdout until the reader goes away. The sound
// server script plays it into the null sink for the real-device tests.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>

int main() {
    constexpr size_t kFrames = 4096;
    std::array<uint8_t, kFrames * 4> buf{};
    uint16_t v = 0;
    for (;;) {
        for (size_t f = 0; f < kFrames; ++f, ++v) {
            const uint16_t r = static_cast<uint16_t>(~v);
            buf[f * 4 + 0] = static_cast<uint8_t>(v & 0xFF);
            buf[f * 4 + 1] = static_cast<uint8_t>(v >> 8);
            buf[f * 4 + 2] = static_cast<uint8_t>(r & 0xFF);
            buf[f * 4 + 3] = static_cast<uint8_t>(r >> 8);
        }
        size_t done = 0;
        while (done < buf.size()) {
            const ssize_t n = ::write(STDOUT_FILENO, buf.data() + done, buf.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return 0;  // reader closed the pipe
            done += static_cast<size_t>(n);
        }
    }
}

#include "reliability/counting.h"

#include "platform/raw_file.h"
#include "record/format.h"

namespace orv::test {

CountCheck CheckCounting(const std::string& path, std::span<const Piece> pieces) {
    CountCheck c;
    platform::RawFile f;
    if (!f.open(path, platform::RawFile::Mode::Read)) {
        c.readFailed = true;
        return c;
    }
    std::vector<uint8_t> block(BlockBytes);
    bool started = false;
    uint16_t expect = 0;
    for (const Piece& p : pieces) {
        for (uint32_t k = 0; k < p.PieceLength; ++k) {
            if (f.readAt(BlockOffset(uint64_t{p.PieceOffset} + k), block.data(), BlockBytes) != BlockBytes) {
                c.readFailed = true;
                return c;
            }
            for (uint32_t i = 0; i < BlockFrames; ++i, ++c.frames) {
                const uint16_t l = uint16_t(SampleAt(&block[4 * i]));
                const uint16_t r = uint16_t(SampleAt(&block[4 * i + 2]));
                if (l == 0 && r == 0) {
                    (started ? c.serverGapFrames : c.leadingSilence)++;
                    continue;
                }
                if (!started) {
                    started = true;
                    c.firstValue = l;
                } else if (l != expect || r != uint16_t(~l)) {
                    if (c.breaks++ == 0) c.firstBreakAt = c.frames;
                }
                expect = uint16_t(l + 1);
                c.lastValue = l;
            }
        }
    }
    return c;
}

}  // namespace orv::test

#pragma once
// Markers in an MP3 file: an ID3v2 tag at its front with a chapter per marker
// and a table of contents, which podcast players show as chapters.
#include <cstdint>
#include <vector>

namespace orv {

// The tag's bytes for chapters starting at startMs (ascending, within the
// file's length), each running to the next one or to endMs, titled "Marker 1",
// "Marker 2", ...; empty for no chapter.
std::vector<uint8_t> BuildChapterTag(const std::vector<uint32_t>& startMs, uint32_t endMs);

}  // namespace orv

#include "export/mp3_chapters.h"

#include <algorithm>
#include <memory>
#include <string>

#include <taglib/chapterframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/textidentificationframe.h>

namespace orv {

std::vector<uint8_t> BuildChapterTag(const std::vector<uint32_t>& startMs, uint32_t endMs) {
    if (startMs.empty()) return {};
    TagLib::ID3v2::Tag tag;
    auto toc = std::make_unique<TagLib::ID3v2::TableOfContentsFrame>(TagLib::ByteVector("toc"));
    toc->setIsTopLevel(true);
    toc->setIsOrdered(true);
    for (size_t i = 0; i < startMs.size(); ++i) {
        const std::string id = "chp" + std::to_string(i + 1);
        const uint32_t end = i + 1 < startMs.size() ? startMs[i + 1] : std::max(endMs, startMs[i]);
        auto title = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(TagLib::ByteVector("TIT2"),
                                                                              TagLib::String::Latin1);
        title->setText(TagLib::String("Marker " + std::to_string(i + 1)));
        // Offsets of all ones: the times alone place the chapter.
        auto chapter = std::make_unique<TagLib::ID3v2::ChapterFrame>(TagLib::ByteVector(id.c_str()), startMs[i], end,
                                                                      0xFFFFFFFFu, 0xFFFFFFFFu);
        chapter->addEmbeddedFrame(title.release());  // the frame owns what it embeds
        toc->addChildElement(TagLib::ByteVector(id.c_str()));
        tag.addFrame(chapter.release());  // and the tag its frames
    }
    tag.addFrame(toc.release());
    const TagLib::ByteVector bytes = tag.render();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace orv

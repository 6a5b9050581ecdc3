#pragma once
// The real-device tests run against the private sound server that
// scripts/sound-server.sh starts; without it they are skipped, with a reason.
#include <cstdlib>
#include <string>

namespace orv::test {

// Empty when the server is up, else why the test cannot run.
inline std::string SoundServerMissing() {
    const char* v = std::getenv("ORV_SOUND_SERVER");
    if (v && std::string(v) == "1") return {};
    return "no sound server: ORV_SOUND_SERVER is not 1 (start it with scripts/sound-server.sh)";
}

}  // namespace orv::test

#define ORV_SKIP_WITHOUT_SOUND_SERVER()                                          \
    do {                                                                         \
        if (const std::string orvReason = ::orv::test::SoundServerMissing();     \
            !orvReason.empty())                                                  \
            GTEST_SKIP() << orvReason;                                           \
    } while (0)

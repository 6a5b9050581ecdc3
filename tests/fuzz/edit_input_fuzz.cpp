// What a person types into the amplify and insert-silence boxes: any bytes,
// any decimal separator, any timeline length. Every text gives a value in
// range or a message, and a number the box accepted is read the same again.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "editor/edit_input.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string point = in.ConsumeBool() ? "." : (in.ConsumeBool() ? "," : in.ConsumeRandomLengthString(3));
    const uint32_t maxBlocks = in.ConsumeIntegral<uint32_t>();
    const uint32_t current = in.ConsumeIntegralInRange<uint32_t>(0, maxBlocks);
    const std::string text = in.ConsumeRemainingBytesAsString();

    const AmplifyInput a = ParseAmplifyPercent(text);
    if (a.Ok != a.Error.empty()) std::abort();
    if (a.Ok) {
        if (a.Percent < AmplifyMinPercent || a.Percent > AmplifyMaxPercent) std::abort();
        const AmplifyInput again = ParseAmplifyPercent(std::to_string(a.Percent));
        if (!again.Ok || again.Percent != a.Percent) std::abort();
    }

    const SilenceInput s = ParseSilenceSeconds(text, point, current, maxBlocks);
    if (s.Ok != s.Error.empty()) std::abort();
    if (s.Ok && uint64_t{current} + s.Blocks > maxBlocks) std::abort();
    return 0;
}

#pragma once
// The sound server's answer about its default source, as the test sets it.
#include "platform/source_name.h"

namespace orv::test {

class FakeSourceNames final : public platform::SourceNames {
public:
    platform::SourceLookup answer;
    int lookups = 0;
    platform::SourceLookup defaultSource() override {
        ++lookups;
        return answer;
    }
};

}  // namespace orv::test

#pragma once
// What device 0 is called on a desktop: through ALSA "default" every sound
// server shows the same card name, so the name comes from the sound server
// (its default source's description) when one answers.
#include <memory>
#include <string>

namespace orv::platform {

struct SourceLookup {
    enum class Result {
        Named,     // the server answered with its default source's description
        NoServer,  // no sound server answers
        Failed,    // a server answered, but not with a name (busy, restarting, no default source)
    } result = Result::NoServer;
    std::string description;
};

class SourceNames {
public:
    virtual ~SourceNames() = default;
    virtual SourceLookup defaultSource() = 0;
};

// libpulse introspection; a PipeWire server answers through its pulse protocol.
// Never starts a server; each lookup waits at most about a quarter second.
std::unique_ptr<SourceNames> makePulseSourceNames();

// The longest name a capability record holds: 31 bytes, cut at a whole UTF-8 character.
std::string CapsNameOf(const std::string& name);

// Device 0's name from the server's answer and the ALSA card name. Once a
// server has named the source, a failed or missing answer keeps the last name:
// a hiccup of the server is no change of device.
class DeviceZeroName {
public:
    std::string choose(const SourceLookup& lookup, const std::string& alsaName);

private:
    std::string last_;
};

}  // namespace orv::platform

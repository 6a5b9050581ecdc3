#pragma once
// The recording inputs of the capture device: which input is switched on
// and its volume, in the state words the program was designed around.
#include <cstdint>
#include <memory>
#include <string>

namespace orv::platform {

inline constexpr uint32_t INPUT_OFF = 0x10000;      // in a state word: input switched off; set: switch it off
inline constexpr uint32_t INPUT_ON = 0x20000;       // set: switch the input on
inline constexpr uint32_t INPUT_VOLUME = 0x40000;   // set: volume in the low 16 bits
inline constexpr uint32_t INPUT_INVALID = 0xFFFFFFFFu;  // no such input

class InputMixer {
public:
    virtual ~InputMixer() = default;
    virtual bool init(int outputDevice, uint32_t frequency) = 0;   // once at start-up
    virtual bool recordInit(int device) = 0;                       // the recording side, after capture opened
    virtual bool recordSetDevice(int device) = 0;                  // before recordInit on a device change
    virtual bool recordFree() = 0;                                 // before re-initialising and at the end
    // State word of input n (-1: master), INPUT_INVALID when there is none.
    virtual uint32_t recordGetInput(int input) = 0;
    virtual bool recordSetInput(int input, uint32_t setting) = 0;
    // Name of input n; empty when there is none.
    virtual std::string recordGetInputName(int input) = 0;
};

// ALSA simple mixer on the "default" control: capture elements are the inputs.
std::unique_ptr<InputMixer> makeAlsaInputMixer(const std::string& ctlName = "default");

class WaveIn;
// One input: the volume and mute of the source the sound server's recorder
// records (while it is open), else of the default source; kept from the
// server's change events, and moved to the recorder's source when it opens
// on another one. recorder must outlive the mixer.
std::unique_ptr<InputMixer> makePulseInputMixer(const WaveIn* recorder = nullptr);

// The backend of recorder: the sound server's source, or ALSA's simple mixer.
std::unique_ptr<InputMixer> makeInputMixer(const WaveIn& recorder);

}  // namespace orv::platform

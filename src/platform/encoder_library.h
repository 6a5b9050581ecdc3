#pragma once
// The MP3 encoder library, loaded by name for one save and unloaded after.
// EncoderLibrary is the seam: the real one calls the library's entry points,
// tests put a double in its place.
#include <functional>
#include <memory>
#include <string>

#include "platform/lame_enc/encoder_interface.h"

namespace orv::platform {

class EncoderLibrary {
public:
    virtual ~EncoderLibrary() = default;
    virtual void beVersion(BE_VERSION* version) = 0;
    virtual BE_ERR beInitStream(BE_CONFIG* config, uint32_t* dwSamples, uint32_t* dwBufferSize,
                                HBE_STREAM* stream) = 0;
    virtual BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t nSamples, const int16_t* samples,
                                 uint8_t* output, uint32_t* dwOutput) = 0;
    virtual BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* dwOutput) = 0;
    virtual BE_ERR beCloseStream(HBE_STREAM stream) = 0;
    virtual BE_ERR beWriteVBRHeader(const char* mp3FileName) = 0;
};

// Null when the library is missing, cannot be loaded or lacks an entry point.
using EncoderLoader = std::function<std::unique_ptr<EncoderLibrary>()>;

// liblame_enc.so beside the running executable, else in its installed folder.
std::string DefaultEncoderLibraryPath();

// Loads the shared library at path; the returned object unloads it when destroyed.
std::unique_ptr<EncoderLibrary> LoadEncoderLibrary(const std::string& path);

// A loader for the library at path (the default path when empty).
EncoderLoader EncoderLoaderFor(std::string path = {});

}  // namespace orv::platform

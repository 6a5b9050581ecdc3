#include "platform/encoder_library.h"

#include <dlfcn.h>

#include "platform/program_files.h"
#include "platform/system.h"

namespace orv::platform {

namespace {

struct DlCloser {
    void operator()(void* handle) const { ::dlclose(handle); }
};

class LoadedEncoderLibrary final : public EncoderLibrary {
public:
    std::unique_ptr<void, DlCloser> handle;
    BEVERSION version = nullptr;
    BEINITSTREAM init = nullptr;
    BEENCODECHUNK encode = nullptr;
    BEDEINITSTREAM deinit = nullptr;
    BECLOSESTREAM close = nullptr;
    BEWRITEVBRHEADER writeVbr = nullptr;

    void beVersion(BE_VERSION* v) override { version(v); }
    BE_ERR beInitStream(BE_CONFIG* c, uint32_t* samples, uint32_t* size, HBE_STREAM* s) override {
        return init(c, samples, size, s);
    }
    BE_ERR beEncodeChunk(HBE_STREAM s, uint32_t n, const int16_t* in, uint8_t* out, uint32_t* done) override {
        return encode(s, n, in, out, done);
    }
    BE_ERR beDeinitStream(HBE_STREAM s, uint8_t* out, uint32_t* done) override { return deinit(s, out, done); }
    BE_ERR beCloseStream(HBE_STREAM s) override { return close(s); }
    BE_ERR beWriteVBRHeader(const char* name) override { return writeVbr(name); }
};

template <typename Fn>
bool Resolve(void* handle, const char* name, Fn& out) {
    out = reinterpret_cast<Fn>(::dlsym(handle, name));
    return out != nullptr;
}

}  // namespace

std::string DefaultEncoderLibraryPath() {
    return FindProgramFile(executablePath(), "liblame_enc.so", InstalledIn::PrivateLibraries);
}

std::unique_ptr<EncoderLibrary> LoadEncoderLibrary(const std::string& path) {
    auto lib = std::make_unique<LoadedEncoderLibrary>();
    lib->handle.reset(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!lib->handle) return nullptr;
    void* h = lib->handle.get();
    const bool complete = Resolve(h, TEXT_BEVERSION, lib->version) && Resolve(h, TEXT_BEINITSTREAM, lib->init) &&
                          Resolve(h, TEXT_BEENCODECHUNK, lib->encode) &&
                          Resolve(h, TEXT_BEDEINITSTREAM, lib->deinit) &&
                          Resolve(h, TEXT_BECLOSESTREAM, lib->close) &&
                          Resolve(h, TEXT_BEWRITEVBRHEADER, lib->writeVbr);
    if (!complete) return nullptr;
    return lib;
}

EncoderLoader EncoderLoaderFor(std::string path) {
    return [path = std::move(path)]() {
        return LoadEncoderLibrary(path.empty() ? DefaultEncoderLibraryPath() : path);
    };
}

}  // namespace orv::platform

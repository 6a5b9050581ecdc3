// The encoder library over libmp3lame. The caller always passes interleaved
// 16-bit stereo at dwSampleRate; nMode alone decides what is encoded (mono is
// down-mixed by lame).
#include <lame/lame.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/lame_enc/encoder_interface.h"

#define LAME_ENC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t InputChannels = 2;
constexpr uint32_t StreamMagic = 0x4C414D45;  // "LAME"

struct Stream {
    uint32_t magic = StreamMagic;
    lame_global_flags* flags = nullptr;
    uint32_t samplesPerChunk = 0;
    uint32_t bufferSize = 0;
    bool vbrTag = false;

    ~Stream() {
        magic = 0;
        if (flags) lame_close(flags);
    }
};

Stream* StreamFrom(HBE_STREAM handle) {
    auto* s = reinterpret_cast<Stream*>(handle);
    return s && s->magic == StreamMagic ? s : nullptr;
}

// The Info/Xing frame of the last closed stream that asked for one, for
// beWriteVBRHeader, whose only argument is the file name.
struct VbrTagStore {
    std::mutex lock;
    std::vector<unsigned char> frame;
};
VbrTagStore& LastVbrTag() {
    static VbrTagStore store;
    return store;
}

constexpr std::array<uint32_t, 14> Mpeg1Bitrates{32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr std::array<uint32_t, 14> Mpeg2Bitrates{8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

bool IsMpeg1Rate(uint32_t rate) { return rate == 32000 || rate == 44100 || rate == 48000; }
bool IsMpeg2Rate(uint32_t rate) {
    return rate == 16000 || rate == 22050 || rate == 24000 || rate == 8000 || rate == 11025 || rate == 12000;
}

bool ValidBitrate(uint32_t kbps, bool mpeg1) {
    const auto& table = mpeg1 ? Mpeg1Bitrates : Mpeg2Bitrates;
    return std::find(table.begin(), table.end(), kbps) != table.end();
}

// Checks what lame would silently round or clamp, so that a bad record is
// refused instead of encoded differently from what was asked.
bool ValidRecord(const BE_CONFIG_LHV1& c) {
    if (c.dwStructSize != sizeof(BE_CONFIG)) return false;
    if (!IsMpeg1Rate(c.dwSampleRate) && !IsMpeg2Rate(c.dwSampleRate)) return false;
    const uint32_t out = c.dwReSampleRate ? c.dwReSampleRate : c.dwSampleRate;
    const bool mpeg1 = IsMpeg1Rate(out);
    if (!mpeg1 && !IsMpeg2Rate(out)) return false;
    if (c.dwMpegVersion != (mpeg1 ? MPEG1 : MPEG2)) return false;
    if (c.nMode < BE_MP3_MODE_STEREO || c.nMode > BE_MP3_MODE_MONO) return false;
    if (c.nPreset != LQP_NOPRESET) return false;
    if (c.dwEmphasis > 3) return false;
    if (c.bEnableVBR) {
        if (c.nVbrMethod < VBR_METHOD_NONE || c.nVbrMethod > VBR_METHOD_ABR) return false;
        if (c.nVbrMethod == VBR_METHOD_ABR) return c.dwVbrAbr_bps >= 8000 && c.dwVbrAbr_bps <= 320000;
        if (c.nVbrMethod == VBR_METHOD_NONE) return ValidBitrate(c.dwBitrate, mpeg1);
        if (c.nVBRQuality < 0 || c.nVBRQuality > 9) return false;
        return ValidBitrate(c.dwBitrate, mpeg1) && ValidBitrate(c.dwMaxBitrate, mpeg1) &&
               c.dwBitrate <= c.dwMaxBitrate;
    }
    return ValidBitrate(c.dwBitrate, mpeg1);
}

MPEG_mode LameMode(int32_t mode) {
    switch (mode) {
    case BE_MP3_MODE_JSTEREO: return JOINT_STEREO;
    case BE_MP3_MODE_DUALCHANNEL: return DUAL_CHANNEL;
    case BE_MP3_MODE_MONO: return MONO;
    default: return STEREO;
    }
}

void ApplyVbr(lame_global_flags* f, const BE_CONFIG_LHV1& c) {
    if (!c.bEnableVBR || c.nVbrMethod == VBR_METHOD_NONE) {
        lame_set_VBR(f, vbr_off);
        lame_set_brate(f, static_cast<int>(c.dwBitrate));
        return;
    }
    switch (c.nVbrMethod) {
    case VBR_METHOD_ABR:
        lame_set_VBR(f, vbr_abr);
        lame_set_VBR_mean_bitrate_kbps(f, static_cast<int>(c.dwVbrAbr_bps / 1000));
        return;
    case VBR_METHOD_OLD: lame_set_VBR(f, vbr_rh); break;
    case VBR_METHOD_NEW:
    case VBR_METHOD_MTRH: lame_set_VBR(f, vbr_mtrh); break;
    default: lame_set_VBR(f, vbr_default); break;
    }
    lame_set_VBR_q(f, c.nVBRQuality);
    lame_set_VBR_min_bitrate_kbps(f, static_cast<int>(c.dwBitrate));
    lame_set_VBR_max_bitrate_kbps(f, static_cast<int>(c.dwMaxBitrate));
}

}  // namespace

LAME_ENC_EXPORT void beVersion(BE_VERSION* v) {
    if (!v) return;
    std::memset(v, 0, sizeof *v);
    v->byDLLMajorVersion = 1;
    v->byDLLMinorVersion = 32;
    lame_version_t lv{};
    get_lame_version_numerical(&lv);
    v->byMajorVersion = static_cast<uint8_t>(lv.major);
    v->byMinorVersion = static_cast<uint8_t>(lv.minor);
    v->byAlphaLevel = static_cast<uint8_t>(lv.alpha);
    v->byBetaLevel = static_cast<uint8_t>(lv.beta);
    std::snprintf(v->zHomepage, sizeof v->zHomepage, "%s", get_lame_url());
}

LAME_ENC_EXPORT BE_ERR beInitStream(BE_CONFIG* config, uint32_t* dwSamples, uint32_t* dwBufferSize,
                                    HBE_STREAM* stream) {
    if (!config || !dwSamples || !dwBufferSize || !stream) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (config->dwConfig != BE_CONFIG_LAME) return BE_ERR_INVALID_FORMAT;
    const BE_CONFIG_LHV1& c = config->format.LHV1;
    if (!ValidRecord(c)) return BE_ERR_INVALID_FORMAT_PARAMETERS;

    auto s = std::make_unique<Stream>();
    s->flags = lame_init();
    if (!s->flags) return BE_ERR_NO_MORE_HANDLES;
    lame_global_flags* f = s->flags;
    lame_set_num_channels(f, static_cast<int>(InputChannels));
    lame_set_in_samplerate(f, static_cast<int>(c.dwSampleRate));
    if (c.dwReSampleRate) lame_set_out_samplerate(f, static_cast<int>(c.dwReSampleRate));
    lame_set_mode(f, LameMode(c.nMode));
    ApplyVbr(f, c);
    lame_set_emphasis(f, static_cast<int>(c.dwEmphasis));
    lame_set_extension(f, c.bPrivate ? 1 : 0);
    lame_set_error_protection(f, c.bCRC ? 1 : 0);
    lame_set_copyright(f, c.bCopyright ? 1 : 0);
    lame_set_original(f, c.bOriginal ? 1 : 0);
    lame_set_bWriteVbrTag(f, c.bWriteVBRHeader ? 1 : 0);
    lame_set_disable_reservoir(f, c.bNoRes ? 1 : 0);
    lame_set_strict_ISO(f, c.bStrictIso ? 1 : 0);
    const unsigned quality = c.nQuality & 0xFFu;
    if ((c.nQuality >> 8) == (~quality & 0xFFu) && quality <= 9)
        lame_set_quality(f, static_cast<int>(quality));
    if (lame_init_params(f) < 0) return BE_ERR_INVALID_FORMAT_PARAMETERS;

    s->vbrTag = c.bWriteVBRHeader != 0;
    s->samplesPerChunk = static_cast<uint32_t>(lame_get_framesize(f)) * InputChannels;
    // lame's worst case for one call: 1.25 x frames + 7200 bytes.
    const uint32_t frames = s->samplesPerChunk / InputChannels;
    s->bufferSize = frames + (frames + 3) / 4 + 7200;
    *dwSamples = s->samplesPerChunk;
    *dwBufferSize = s->bufferSize;
    *stream = reinterpret_cast<HBE_STREAM>(s.release());
    return BE_ERR_SUCCESSFUL;
}

LAME_ENC_EXPORT BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t nSamples, const int16_t* samples,
                                     uint8_t* output, uint32_t* dwOutput) {
    Stream* s = StreamFrom(stream);
    if (!s) return BE_ERR_INVALID_HANDLE;
    if (!dwOutput || !output || (nSamples && !samples)) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    *dwOutput = 0;
    if (nSamples % InputChannels != 0 || nSamples > s->samplesPerChunk) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    // lame does not write through pcm; the cast only satisfies its prototype.
    const int n = lame_encode_buffer_interleaved(s->flags, const_cast<short*>(samples),
                                                 static_cast<int>(nSamples / InputChannels), output,
                                                 static_cast<int>(s->bufferSize));
    if (n == -1) return BE_ERR_BUFFER_TOO_SMALL;
    if (n < 0) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    *dwOutput = static_cast<uint32_t>(n);
    return BE_ERR_SUCCESSFUL;
}

LAME_ENC_EXPORT BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* dwOutput) {
    Stream* s = StreamFrom(stream);
    if (!s) return BE_ERR_INVALID_HANDLE;
    if (!output || !dwOutput) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    *dwOutput = 0;
    const int n = lame_encode_flush(s->flags, output, static_cast<int>(s->bufferSize));
    if (n == -1) return BE_ERR_BUFFER_TOO_SMALL;
    if (n < 0) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    *dwOutput = static_cast<uint32_t>(n);
    return BE_ERR_SUCCESSFUL;
}

LAME_ENC_EXPORT BE_ERR beCloseStream(HBE_STREAM stream) {
    std::unique_ptr<Stream> s(StreamFrom(stream));
    if (!s) return BE_ERR_INVALID_HANDLE;
    if (s->vbrTag) {
        std::vector<unsigned char> frame(8192);
        const size_t n = lame_get_lametag_frame(s->flags, frame.data(), frame.size());
        frame.resize(n <= frame.size() ? n : 0);
        VbrTagStore& store = LastVbrTag();
        std::lock_guard guard(store.lock);
        store.frame = std::move(frame);
    }
    return BE_ERR_SUCCESSFUL;
}

// Puts the Info/Xing frame of the last stream closed with bWriteVBRHeader set
// over the blank frame lame reserved at the start of the file.
LAME_ENC_EXPORT BE_ERR beWriteVBRHeader(const char* mp3FileName) {
    if (!mp3FileName) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    VbrTagStore& store = LastVbrTag();
    std::lock_guard guard(store.lock);
    if (store.frame.empty()) return BE_ERR_INVALID_HANDLE;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(mp3FileName, "r+b"), &std::fclose);
    if (!file) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    // The frame the encoder left blank comes after an ID3v2 tag at the front.
    std::array<unsigned char, 10> id3{};
    long frameAt = 0;
    if (std::fread(id3.data(), 1, id3.size(), file.get()) == id3.size() && std::memcmp(id3.data(), "ID3", 3) == 0) {
        const long body = (long{id3[6] & 0x7F} << 21) | (long{id3[7] & 0x7F} << 14) | (long{id3[8] & 0x7F} << 7) |
                          long{id3[9] & 0x7F};
        frameAt = 10 + body + ((id3[5] & 0x10) ? 10 : 0);  // a footer follows the body
    }
    if (std::fseek(file.get(), frameAt, SEEK_SET) != 0) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (std::fwrite(store.frame.data(), 1, store.frame.size(), file.get()) != store.frame.size())
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (std::fflush(file.get()) != 0) return BE_ERR_INVALID_FORMAT_PARAMETERS;
    store.frame.clear();
    return BE_ERR_SUCCESSFUL;
}

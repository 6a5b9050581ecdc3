#pragma once
// The encoder library's C interface, shared by the library and the program
// that loads it. The configuration record is the 331-byte packed record in its
// extended layout (dwConfig = BE_CONFIG_LAME); everything is little-endian.
#include <cstddef>
#include <cstdint>

using BE_ERR = uint32_t;
using HBE_STREAM = uintptr_t;

inline constexpr BE_ERR BE_ERR_SUCCESSFUL = 0;
inline constexpr BE_ERR BE_ERR_INVALID_FORMAT = 1;
inline constexpr BE_ERR BE_ERR_INVALID_FORMAT_PARAMETERS = 2;
inline constexpr BE_ERR BE_ERR_NO_MORE_HANDLES = 3;
inline constexpr BE_ERR BE_ERR_INVALID_HANDLE = 4;
inline constexpr BE_ERR BE_ERR_BUFFER_TOO_SMALL = 5;

inline constexpr uint32_t BE_CONFIG_LAME = 256;

inline constexpr int32_t BE_MP3_MODE_STEREO = 0;
inline constexpr int32_t BE_MP3_MODE_JSTEREO = 1;
inline constexpr int32_t BE_MP3_MODE_DUALCHANNEL = 2;
inline constexpr int32_t BE_MP3_MODE_MONO = 3;

inline constexpr int32_t LQP_NOPRESET = -1;

inline constexpr int32_t VBR_METHOD_NONE = -1;
inline constexpr int32_t VBR_METHOD_DEFAULT = 0;
inline constexpr int32_t VBR_METHOD_OLD = 1;
inline constexpr int32_t VBR_METHOD_NEW = 2;
inline constexpr int32_t VBR_METHOD_MTRH = 3;
inline constexpr int32_t VBR_METHOD_ABR = 4;

inline constexpr uint32_t MPEG1 = 1;
inline constexpr uint32_t MPEG2 = 0;

// Flags are 32-bit: -1 (all bits set) for true, 0 for false; any nonzero
// value counts as true when read.
using BE_BOOL = int32_t;

#pragma pack(push, 1)
struct BE_CONFIG_LHV1 {
    uint32_t dwStructVersion;
    uint32_t dwStructSize;
    uint32_t dwSampleRate;
    uint32_t dwReSampleRate;
    int32_t nMode;
    uint32_t dwBitrate;
    uint32_t dwMaxBitrate;
    int32_t nPreset;
    uint32_t dwMpegVersion;
    uint32_t dwPsyModel;
    uint32_t dwEmphasis;
    BE_BOOL bPrivate;
    BE_BOOL bCRC;
    BE_BOOL bCopyright;
    BE_BOOL bOriginal;
    BE_BOOL bWriteVBRHeader;
    BE_BOOL bEnableVBR;
    int32_t nVBRQuality;
    uint32_t dwVbrAbr_bps;
    int32_t nVbrMethod;
    BE_BOOL bNoRes;
    BE_BOOL bStrictIso;
    uint16_t nQuality;  // quality in the low byte, its one's complement in the high byte
    uint8_t btReserved[237];
};

struct BE_CONFIG {
    uint32_t dwConfig;
    union {
        BE_CONFIG_LHV1 LHV1;
        uint8_t raw[sizeof(BE_CONFIG_LHV1)];
    } format;
};

inline constexpr size_t BE_MAX_HOMEPAGE = 128;

struct BE_VERSION {
    uint8_t byDLLMajorVersion;
    uint8_t byDLLMinorVersion;
    uint8_t byMajorVersion;
    uint8_t byMinorVersion;
    uint8_t byDay;
    uint8_t byMonth;
    uint16_t wYear;
    char zHomepage[BE_MAX_HOMEPAGE + 1];
    uint8_t byAlphaLevel;
    uint8_t byBetaLevel;
    uint8_t byMMXEnabled;
    uint8_t btReserved[125];
};
#pragma pack(pop)

static_assert(sizeof(BE_CONFIG) == 331);
static_assert(offsetof(BE_CONFIG, dwConfig) == 0);
static_assert(offsetof(BE_CONFIG, format) == 4);
static_assert(4 + offsetof(BE_CONFIG_LHV1, dwStructVersion) == 4);
static_assert(4 + offsetof(BE_CONFIG_LHV1, dwStructSize) == 8);
static_assert(4 + offsetof(BE_CONFIG_LHV1, dwSampleRate) == 12);
static_assert(4 + offsetof(BE_CONFIG_LHV1, dwReSampleRate) == 16);
static_assert(4 + offsetof(BE_CONFIG_LHV1, nMode) == 20);
static_assert(4 + offsetof(BE_CONFIG_LHV1, dwBitrate) == 24);
static_assert(4 + offsetof(BE_CONFIG_LHV1, dwMaxBitrate) == 28);
static_assert(4 + offsetof(BE_CONFIG_LHV1, nPreset) == 32);
static_assert(4 + offsetof(BE_CONFIG_LHV1, dwMpegVersion) == 36);
static_assert(4 + offsetof(BE_CONFIG_LHV1, dwPsyModel) == 40);
static_assert(4 + offsetof(BE_CONFIG_LHV1, dwEmphasis) == 44);
static_assert(4 + offsetof(BE_CONFIG_LHV1, bPrivate) == 48);
static_assert(4 + offsetof(BE_CONFIG_LHV1, bCRC) == 52);
static_assert(4 + offsetof(BE_CONFIG_LHV1, bCopyright) == 56);
static_assert(4 + offsetof(BE_CONFIG_LHV1, bOriginal) == 60);
static_assert(4 + offsetof(BE_CONFIG_LHV1, bWriteVBRHeader) == 64);
static_assert(4 + offsetof(BE_CONFIG_LHV1, bEnableVBR) == 68);
static_assert(4 + offsetof(BE_CONFIG_LHV1, nVBRQuality) == 72);
static_assert(4 + offsetof(BE_CONFIG_LHV1, dwVbrAbr_bps) == 76);
static_assert(4 + offsetof(BE_CONFIG_LHV1, nVbrMethod) == 80);
static_assert(4 + offsetof(BE_CONFIG_LHV1, bNoRes) == 84);
static_assert(4 + offsetof(BE_CONFIG_LHV1, bStrictIso) == 88);
static_assert(4 + offsetof(BE_CONFIG_LHV1, nQuality) == 92);
static_assert(4 + offsetof(BE_CONFIG_LHV1, btReserved) == 94);

// Entry points, looked up by these names.
extern "C" {
using BEINITSTREAM = BE_ERR (*)(BE_CONFIG* config, uint32_t* dwSamples, uint32_t* dwBufferSize,
                                HBE_STREAM* stream);
using BEENCODECHUNK = BE_ERR (*)(HBE_STREAM stream, uint32_t nSamples, const int16_t* samples,
                                 uint8_t* output, uint32_t* dwOutput);
using BEDEINITSTREAM = BE_ERR (*)(HBE_STREAM stream, uint8_t* output, uint32_t* dwOutput);
using BECLOSESTREAM = BE_ERR (*)(HBE_STREAM stream);
using BEVERSION = void (*)(BE_VERSION* version);
using BEWRITEVBRHEADER = BE_ERR (*)(const char* mp3FileName);
}

inline constexpr const char* TEXT_BEINITSTREAM = "beInitStream";
inline constexpr const char* TEXT_BEENCODECHUNK = "beEncodeChunk";
inline constexpr const char* TEXT_BEDEINITSTREAM = "beDeinitStream";
inline constexpr const char* TEXT_BECLOSESTREAM = "beCloseStream";
inline constexpr const char* TEXT_BEVERSION = "beVersion";
inline constexpr const char* TEXT_BEWRITEVBRHEADER = "beWriteVBRHeader";

// An encoder library without beWriteVBRHeader: loading it must fail as a whole.
#include "platform/lame_enc/encoder_interface.h"

extern "C" {
void beVersion(BE_VERSION*) {}
BE_ERR beInitStream(BE_CONFIG*, uint32_t*, uint32_t*, HBE_STREAM*) { return BE_ERR_INVALID_FORMAT; }
BE_ERR beEncodeChunk(HBE_STREAM, uint32_t, const int16_t*, uint8_t*, uint32_t*) { return BE_ERR_INVALID_HANDLE; }
BE_ERR beDeinitStream(HBE_STREAM, uint8_t*, uint32_t*) { return BE_ERR_INVALID_HANDLE; }
BE_ERR beCloseStream(HBE_STREAM) { return BE_ERR_INVALID_HANDLE; }
}

// LZMA entries (ZIP method 14): a 4-byte header (the encoder's version, two
// bytes, and the size of the properties, which must be 5), the properties,
// then the raw stream, with an end marker when general purpose bit 1 says
// so. The entry's decoder memory is taken and given back here.
#pragma once
#include "codecs/codec.h"
#include "support/sfx_types.h"

const uint16_t METHOD_LZMA = 14;
// General purpose bit 1 of an LZMA entry: an end marker follows its data.
const uint16_t ZIP_FLAG_LZMA_END_MARKER = 0x0002;
// The version LZMA entries need (APPNOTE 6.3).
const uint8_t LZMA_VERSION_NEEDED = 63;

// Takes the header from the entry's input (the first piece read), allocates
// the probabilities and a window of the smaller of the dictionary and the
// entry's size (plus the decoder's slack) and starts the decoder. false with
// the status set: SFX_ERR_BAD_DATA for data too short to hold the header,
// SFX_ERR_UNSUPPORTED for a properties size other than 5 or properties
// outside the format, SFX_ERR_NOMEM when the memory is not there (or would
// not fit the address space), read errors from the input layer.
bool StartLzmaEntry(CodecWindow* window);

// Gives back what StartLzmaEntry took; harmless when it took nothing.
void EndLzmaEntry();

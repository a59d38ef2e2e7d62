// LZMA decoding (ZIP method 14) through the common decoder interface: a
// range decoder over adaptive bit probabilities, literals in the context of
// the previous byte and the position, matches with four recent distances,
// and the end of the stream either at the declared size or at an end marker.
//
// The caller owns all memory: the probabilities (LzmaProbabilityBytes) and
// the window, which needs to hold the smaller of LzmaDictionarySize and the
// entry's size (matches reach back no further); with LZMA_WINDOW_SLACK
// bytes more, matches are copied a word at a time.
#pragma once
#include "codecs/codec.h"

const uint32_t LZMA_WINDOW_SLACK = 64;

// The properties that stand before the stream: one byte (pb * 5 + lp) * 9
// + lc, then the dictionary size, 32 bits little-endian.
const uint32_t LZMA_PROPERTIES_SIZE = 5;

// Bytes one symbol can take at most: each bit decision takes at most one
// byte, and a match with the longest length (2 + 8 bits after its two
// decisions), a six-bit slot, 26 direct and 4 aligned distance bits is the
// longest symbol (48 decisions).
const uint32_t LZMA_SYMBOL_INPUT_MAX = 48;
static_assert(LZMA_SYMBOL_INPUT_MAX < CODEC_INPUT_MARGIN, "a symbol must fit in what the engine keeps");

// Bytes of probabilities the properties need (at most 6,295,148); 0 when the
// first byte lies outside the format (225 or above: lc > 8, lp > 4 or pb > 4).
uint32_t LzmaProbabilityBytes(const uint8_t* properties);

// The dictionary size the properties declare, at least 4096 (the format
// reads smaller ones as that).
uint32_t LzmaDictionarySize(const uint8_t* properties);

// Starts an entry: the probabilities (LzmaProbabilityBytes of memory, 2-byte
// aligned) are reset, the window is taken as empty. size is the declared
// uncompressed size; endMarker set says that an end marker follows the
// last byte (ZIP general purpose bit 1). CODEC_REFUSED for properties
// outside the format, otherwise CODEC_NEEDS_INPUT: ready for the stream.
CodecResult LzmaStart(const uint8_t* properties, void* probabilities, uint64_t size, uint32_t endMarker);

// Decodes on from input into the window (see codecs/codec.h).
CodecResult LzmaDecode(CodecInput* input, CodecWindow* window);

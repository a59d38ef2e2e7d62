// LZMA encoding of ZIP entries (method 14) through liblzma's raw LZMA1
// encoder. An entry's data: a 4-byte header (the encoder's version, major
// and minor byte, then the size of the properties, 5, 16 bits little-endian),
// the 5 property bytes ((pb * 5 + lp) * 9 + lc, the dictionary size, 32 bits
// little-endian) and the stream, which ends with an end marker (general
// purpose bit 1). Knows nothing of files: data comes in, bytes go out.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <vector>

const uint32_t LZMA_ENTRY_HEADER_SIZE = 4 + 5;
// The largest dictionary: 7-Zip's at its highest level, and a window that a
// 32-bit extractor (the stub) can still allocate in one piece beside its
// other memory. An encoder with it needs about 700 MB.
const uint32_t LZMA_DICTIONARY_MAX = 64u << 20;
const uint32_t LZMA_DICTIONARY_MIN = 4096;

// The literal context: lc bits of the previous byte, lp and pb bits of the
// position for literals and for matches.
struct LzmaContext {
    uint8_t lc, lp, pb;
};
const LzmaContext LZMA_CONTEXT_DEFAULT = {3, 0, 2};

// The dictionary of an entry: the smallest 2^n or 3 * 2^n that holds the
// whole entry, from LZMA_DICTIONARY_MIN to LZMA_DICTIONARY_MAX (matches
// never reach further back than the entry's start, and the extractor
// allocates the dictionary, or the entry's size when that is smaller).
uint32_t LzmaDictionaryFor(uint64_t entrySize);

// Bytes of memory an encoder for an entry of this size takes (the match
// finder's tables and its window); 0 when liblzma refuses the settings.
uint64_t LzmaEncoderMemory(uint64_t entrySize);

struct LzmaMatchThread;

// One entry's encoder, fed in pieces.
struct LzmaEncoder {
    void* stream = nullptr;     // lzma_stream, owned
    LzmaMatchThread* matches = nullptr;     // its match finder's thread, owned
};

// Starts the encoder for an entry of entrySize bytes with the given context
// and writes the entry's header and properties into *out. false when
// liblzma cannot start (out of memory). With whole, the entry's data in
// memory (followed by LZMA_MATCH_PADDING readable bytes, and fed to the
// encoder from there, in order), the match finder runs on a thread of its
// own where it can; the stream is the same either way.
bool LzmaEncoderStart(LzmaEncoder& encoder, uint64_t entrySize, LzmaContext context, std::vector<uint8_t>* out,
                      const uint8_t* whole = nullptr);
// Encodes count bytes and appends what the encoder gives to *out; with
// finish set the stream is closed with its end marker. false when liblzma
// fails.
bool LzmaEncoderRun(LzmaEncoder& encoder, const uint8_t* data, size_t count, bool finish,
                    std::vector<uint8_t>* out);
void LzmaEncoderEnd(LzmaEncoder& encoder);

// Encodes the whole of data[0 .. size) (followed by LZMA_MATCH_PADDING
// readable bytes) with each of count contexts, over matches found once, and
// leaves the smallest entry data (header, properties, stream; the first of
// equal ones) in *out. A stream that does not fit into the file's size and
// a sixteenth counts as that large. false when liblzma fails.
bool LzmaEncodeSmaller(const uint8_t* data, size_t size, const LzmaContext* contexts, size_t count,
                       std::vector<uint8_t>* out);

// The contexts tried on every whole file below the size of the strong
// trials (their sample would be too small to tell): lc3 lp0 pb2 and lc1
// lp0 pb2. On the 195 32-bit Wine DLLs of the DLL corpus the better of the
// two for each file makes the archive 0.13 % smaller than lc3 pb2 alone,
// where trials on samples gained nothing (six fast ones on 64 KiB made it
// 0.15 % larger, six strong ones 0.18 %); the best of all six candidates
// for each file would give 0.02 % more. The two encodes share one match
// finder, which does 70 % of the work: 1.3 times the time of one.
const LzmaContext LZMA_WHOLE_FILE_CONTEXTS[] = {{3, 0, 2}, {1, 0, 2}};

// How the candidates are tried: fast (liblzma's fast mode, about five
// times the speed) or with the entry's own settings, which pick better on a
// sample of a large file (a megabyte of program code or JSON: lc4 where the
// fast trials took lc3 or lc2: 0.14 % smaller on program binaries, 0.43 %
// on JSON).
enum LzmaTrial { LZMA_TRIAL_FAST, LZMA_TRIAL_STRONG };

// The context that makes the smallest stream of the sample (a part of the
// entry, or the whole of a small one; followed by LZMA_MATCH_PADDING
// readable bytes), among a few that suit code, aligned data and text, and
// that stream's size in *streamSize (SIZE_MAX when liblzma fails: then
// LZMA_CONTEXT_DEFAULT).
LzmaContext ChooseLzmaContext(const uint8_t* sample, size_t size, LzmaTrial trial, size_t* streamSize);

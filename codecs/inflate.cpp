// The DEFLATE stream and its blocks: stored copies, the fixed code, dynamic
// code headers, and the window flush that writes, checksums and reports.
#include "codecs/inflate.h"
#include "codecs/inflate_bits.h"
#include "codecs/crc32.h"
#include "support/file_layer.h"

DecoderState Decoder;
// Never cleared: at the start of an entry it still holds the previous entry's
// bytes, which a distance reaching before the entry's first byte copies.
uint8_t OutputWindow[WINDOW_SIZE];

extern const uint8_t CodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
// Length symbols 257..285, then 286 and 287, which no valid stream uses:
// their extra-bit count 99 makes them invalid codes in the tables.
extern const uint16_t LengthBase[31] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
                                        35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0, 0};
extern const uint16_t LengthExtraBits[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                             3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
extern const uint16_t DistanceBase[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
                                          257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145,
                                          8193, 12289, 16385, 24577};
extern const uint16_t DistanceExtraBits[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                               7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

unsigned TakeBits(unsigned k) {
    NeedBits(k);
    unsigned value = PeekBits(k);
    DropBits(k);
    return value;
}

void FlushWindow(uint32_t count) {
    // An entry never yields more than it declares: a lying archive must not
    // be able to fill the disk. (Bytes written never pass the declared size:
    // only this check lets them grow.)
    if (count > Archive.entry.uncompressedSize - Archive.bytesWritten) {
        Archive.status = SFX_ERR_BAD_DATA;
        Decoder.broken = 1;
        return;
    }
    Crc32Update(Archive.crc, OutputWindow, (uint16_t)count);
    if (FileWrite(OutputWindow, count, Archive.outputHandle) == -1) Archive.status = SFX_ERR_IO;
    Archive.bytesWritten += count;
    if (Archive.status == SFX_OK && Archive.progress != nullptr &&
        !Archive.progress(Archive.bytesWritten, Archive.entry.uncompressedSize)) {
        // The entry is dropped: decoding the rest of it would only keep the
        // dialog waiting, unanswered, for as long as the entry takes.
        Archive.status = SFX_USER_ABORT;
        Decoder.broken = 1;
    }
}

void ReleaseFixedTables() {
    if (Decoder.fixedLitLen != nullptr) {
        FreeHuffTable(Decoder.fixedDistance);
        FreeHuffTable(Decoder.fixedLitLen);
        Decoder.fixedDistance = nullptr;
        Decoder.fixedLitLen = nullptr;
    }
}

void DecodeDeflatedEntry() {
    DecodeDeflateStream();
    ReleaseFixedTables();
}

int DecodeDeflateStream() {
    Decoder.windowPosition = 0;
    Decoder.bitCount = 0;
    Decoder.bitBuffer = 0;
    Decoder.overrun = 0;
    Decoder.broken = 0;
    int finalBlock = 0;
    do {
        int result = DecodeBlock(&finalBlock);
        if (result == BLOCK_OK && Decoder.broken) result = BLOCK_CORRUPT;
        if (result != BLOCK_OK) {
            // A cancel stays a cancel and a failed read is reported as such;
            // anything else is bad data, whatever the status was before.
            if (Archive.status != SFX_USER_ABORT)
                Archive.status = Archive.input.failed ? SFX_ERR_IO : SFX_ERR_BAD_DATA;
            return result;
        }
    } while (!finalBlock);
    FlushWindow(Decoder.windowPosition);
    return Decoder.broken ? BLOCK_CORRUPT : BLOCK_OK;
}

int DecodeBlock(int* finalBlock) {
    *finalBlock = (int)TakeBits(1);
    switch (TakeBits(2)) {
    case 0: return CopyStoredBlock();
    case 1: return DecodeFixedBlock();
    case 2: return DecodeDynamicBlock();
    default: return BLOCK_REFUSED;
    }
}

int CopyStoredBlock() {
    DropBits(Decoder.bitCount & 7);
    unsigned length = TakeBits(16);
    if ((~TakeBits(16) & 0xFFFF) != length) return BLOCK_CORRUPT;
    if (Decoder.broken) return BLOCK_CORRUPT;

    InputReader& in = Archive.input;
    unsigned position = Decoder.windowPosition;
    while (length != 0) {
        unsigned piece;
        if (Decoder.bitCount == 0 && in.count >= in.position && !(in.bytewiseDecrypt && in.encrypted)) {
            // Nothing fetched ahead: copy straight from the input buffer.
            piece = (unsigned)(in.count - in.position + 1);
            if (piece > length) piece = length;
            if (piece > WINDOW_SIZE - position) piece = WINDOW_SIZE - position;
            __builtin_memcpy(OutputWindow + position, in.buffer + in.position - 1, piece);
            in.position = (int16_t)(in.position + piece);
        } else {
            // Bytes already in the bit buffer first, then byte by byte
            // through the reader (refills, decryption, end of data).
            OutputWindow[position] = (uint8_t)TakeBits(8);
            if (Decoder.broken) return BLOCK_CORRUPT;
            piece = 1;
        }
        position += piece;
        length -= piece;
        if (position == WINDOW_SIZE) {
            FlushWindow(WINDOW_SIZE);
            position = 0;
            if (Decoder.broken) {
                Decoder.windowPosition = position;
                return BLOCK_CORRUPT;
            }
        }
    }
    Decoder.windowPosition = position;
    return BLOCK_OK;
}

int DecodeFixedBlock() {
    if (Decoder.fixedLitLen == nullptr) {
        unsigned* lengths = Decoder.fixedLengths;
        unsigned i = 0;
        for (; i < 144; ++i) lengths[i] = 8;
        for (; i < 256; ++i) lengths[i] = 9;
        for (; i < 280; ++i) lengths[i] = 7;
        for (; i < 288; ++i) lengths[i] = 8;
        unsigned litLenBits = 7;
        int result = BuildHuffTable(lengths, 288, 257, LengthBase, LengthExtraBits, &Decoder.fixedLitLen, &litLenBits);
        if (result != 0) {
            Decoder.fixedLitLen = nullptr;
            return result;
        }
        for (i = 0; i < 30; ++i) lengths[i] = 5;
        unsigned distanceBits = 5;
        result = BuildHuffTable(lengths, 30, 0, DistanceBase, DistanceExtraBits, &Decoder.fixedDistance, &distanceBits);
        if (result > 1) {
            // Result 1 is expected: codes 30 and 31 have no symbol.
            FreeHuffTable(Decoder.fixedLitLen);
            Decoder.fixedLitLen = nullptr;
            return result;
        }
        Decoder.fixedLitLenBits = litLenBits;
        Decoder.fixedDistanceBits = distanceBits;
    }
    return DecodeSymbols(Decoder.fixedLitLen, Decoder.fixedDistance, Decoder.fixedLitLenBits,
                         Decoder.fixedDistanceBits) != 0 ? BLOCK_CORRUPT : BLOCK_OK;
}

// Reads the literal/length and distance code lengths of a dynamic block
// through the code-length code. 0 or a block result.
static int ReadCodeLengths(HuffTable table, unsigned width, unsigned total) {
    unsigned* lengths = Decoder.codeLengths;
    unsigned last = 0;
    unsigned i = 0;
    while (i < total) {
        // (Links to sub-tables are not expected for codes of at most 7 bits,
        // but followed anyway.)
        const HuffEntry* slot = CarefulLookup(table, width);
        if (slot == nullptr || Decoder.broken) return BLOCK_CORRUPT;
        unsigned symbol = slot->value;
        unsigned repeat, value;
        if (symbol < 16) {
            lengths[i++] = symbol;
            last = symbol;
            continue;
        }
        if (symbol == 16) {
            repeat = 3 + TakeBits(2);
            value = last;
        } else if (symbol == 17) {
            repeat = 3 + TakeBits(3);
            value = 0;
        } else {
            repeat = 11 + TakeBits(7);
            value = 0;
        }
        if (i + repeat > total) return BLOCK_CORRUPT;
        while (repeat--) lengths[i++] = value;
        last = value;
    }
    return BLOCK_OK;
}

int DecodeDynamicBlock() {
    unsigned litLenCount = 257 + TakeBits(5);
    unsigned distanceCount = 1 + TakeBits(5);
    unsigned codeLengthCount = 4 + TakeBits(4);
    if (litLenCount > 286 || distanceCount > 30) return BLOCK_CORRUPT;

    unsigned* lengths = Decoder.codeLengths;
    for (unsigned j = 0; j < 19; ++j) {
        lengths[CodeLengthOrder[j]] = j < codeLengthCount ? TakeBits(3) : 0;
    }

    HuffTable codeLengthTable;
    unsigned width = 7;
    int result = BuildHuffTable(lengths, 19, 19, nullptr, nullptr, &codeLengthTable, &width);
    if (result != 0) {
        if (result == 1) FreeHuffTable(codeLengthTable);
        return result;
    }
    if (codeLengthTable == nullptr) return BLOCK_CORRUPT;   // no code-length code at all
    result = ReadCodeLengths(codeLengthTable, width, litLenCount + distanceCount);
    FreeHuffTable(codeLengthTable);
    if (result != BLOCK_OK) return result;

    HuffTable litLen;
    unsigned litLenBits = LitLenLookupBits;
    result = BuildHuffTable(lengths, litLenCount, 257, LengthBase, LengthExtraBits, &litLen, &litLenBits);
    if (result != 0) {
        if (result == 1) FreeHuffTable(litLen);
        return result;
    }
    HuffTable distance;
    unsigned distanceBits = DistanceLookupBits;
    result = BuildHuffTable(lengths + litLenCount, distanceCount, 0, DistanceBase, DistanceExtraBits, &distance,
                            &distanceBits);
    if (result != 0) {
        if (result == 1) FreeHuffTable(distance);
        FreeHuffTable(litLen);
        return result;
    }
    int symbols = DecodeSymbols(litLen, distance, litLenBits, distanceBits);
    FreeHuffTable(distance);
    FreeHuffTable(litLen);
    return symbols != 0 ? BLOCK_CORRUPT : BLOCK_OK;
}

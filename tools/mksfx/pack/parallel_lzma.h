// Compressing files with LZMA on several threads, one whole file per job
// (an LZMA stream cannot be cut into pieces that join): several files at
// once. Which thread takes which file changes from run to run; what each
// file becomes does not.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>
#include "tools/mksfx/input/input_walk.h"
#include "tools/mksfx/pack/lzma_encoder.h"
#include "tools/mksfx/progress_bar.h"

struct LzmaJob {
    size_t item;                // index into the items
    uint64_t size;              // of the file
    // Results.
    std::vector<uint8_t> data;  // the entry's data (lzma_encoder.h), when smaller than the file
    bool stored;                // the file does not get smaller: it is stored
    uint32_t crc;               // CRC-32 of the file
    bool ok;
    std::string error;
};

// Files up to this size are compressed into memory by the threads, in
// batches of at most this much input; a larger one is compressed on the
// writing thread straight into the output (WriteLzmaDirect in zip_pack.cpp).
uint64_t LzmaBatchBytes();

// The jobs of the files that are compressed in memory (not empty, not
// larger than LzmaBatchBytes), in item order.
std::vector<LzmaJob> PlanLzmaJobs(const std::vector<PackItem>& items);

// The part of a file that chooses its literal context, from its middle, and
// how it is tried: a 48th of a large file (256 KiB to 1 MiB) with the
// entry's settings, else 64 KiB (or the whole smaller file) fast.
void LzmaSampleSpan(uint64_t fileSize, uint64_t* offset, uint32_t* size, LzmaTrial* trial);
// Reads that part and chooses the context on it. *incompressible, where
// given, tells whether the file is better stored: neither that part nor the
// file's first 64 KiB shrink.
bool ChooseContextForFile(const PackItem& item, LzmaContext* context, bool* incompressible, std::string* error);

// Compresses jobs[first, end) on up to 'threads' threads, as many as the
// encoders' memory allows at once. The progress bar, when given, is
// advanced by one thread at a time.
void CompressLzmaJobs(std::vector<LzmaJob>& jobs, size_t first, size_t end, const std::vector<PackItem>& items,
                      int threads, ProgressBar* progress);

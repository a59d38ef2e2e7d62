// Compressing the pieces of many files on several threads. Which thread
// takes which piece changes from run to run; what each piece becomes does not.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>
#include "tools/mksfx/input/input_walk.h"
#include "tools/mksfx/progress_bar.h"

struct PieceJob {
    size_t item;                // index into the items
    uint64_t offset;            // of the piece in its file
    uint32_t size;
    bool first;                 // the file's first piece
    bool last;                  // the file's last piece
    // Results.
    std::vector<uint8_t> data;  // compressed (see CompressPiece)
    uint32_t crc;               // CRC-32 of the piece's own bytes
    bool ok;
    std::string error;
};

// The pieces of every file that is to be deflated, in item order.
std::vector<PieceJob> PlanPieces(const std::vector<PackItem>& items);

// Compresses jobs[first, end) at the level on up to 'threads' threads; each
// job reads its own piece of its file. The progress bar, when given, is
// advanced by one thread at a time.
void CompressJobs(std::vector<PieceJob>& jobs, size_t first, size_t end, const std::vector<PackItem>& items,
                  int level, int threads, ProgressBar* progress);

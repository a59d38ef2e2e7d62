// Wrapping an existing ZIP archive behind the stub: checked entry by entry
// for what the stub can extract, then copied with every offset moved.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>
#include "tools/mksfx/progress_bar.h"
#include "tools/mksfx/pack/zip_format.h"

struct WrapPlan {
    std::string path;
    uint64_t fileSize = 0;
    uint32_t firstLocal = 0;        // offset of the first central entry's local header
    uint32_t centralOffset = 0;
    uint32_t centralSize = 0;
    uint32_t endOffset = 0;         // offset of the end record's signature
    std::string central;            // the central directory as read
    std::string endRecord;          // end record with comment, as read
    std::vector<size_t> headerPositions;   // each entry's header within 'central'
    uint16_t entryCount = 0;
    uint64_t dataSize = 0;          // sum of the entries' uncompressed sizes
    bool anyEncrypted = false;
};

// Reads and checks the archive; false with *error naming the entry or the
// property that the stub cannot handle.
bool PlanWrap(const std::string& path, WrapPlan* plan, std::string* error);
// The size the archive takes in the program file.
uint64_t WrappedSize(const WrapPlan& plan);
// Copies the archive to the output's position, which becomes the new place of
// the first local header.
bool WriteWrapped(OutputFile& out, const WrapPlan& plan, ProgressBar* progress, std::string* error);

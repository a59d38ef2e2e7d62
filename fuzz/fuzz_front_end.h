// The front-end linked into the fuzz targets: every entry is extracted, an
// encrypted entry is offered one fixed password, nothing is printed. A target
// can watch each entry through the hooks below.
#pragma once
#include "archive/archive_state.h"

extern const char FuzzPassword[];

struct FuzzFrontHooks {
    // Called from FrontEntryDone with the entry's target path and status.
    void (*entryDone)(const char* targetPath, SfxStatus status);
    // Bytes the run may write in total before FrontProgress answers false.
    // It keeps one input from filling the disk through many entries that share
    // one small, highly compressed stream; 0 means no limit.
    uint64_t writeBudget;
};

extern FuzzFrontHooks FuzzHooks;

// Per-input reset: budget used, password answers.
void ResetFuzzFrontEnd();

// The progress bar shown on a terminal while packing: one line on stderr,
// redrawn in place, only when the shown percentage changes.
#pragma once
#include <stdint.h>
#include <string>

struct ProgressBar {
    bool enabled = false;
    uint64_t total = 0;
    uint64_t done = 0;
    int shownPermille = -1;
    std::string label;
};

void StartProgress(ProgressBar& bar, bool enabled, uint64_t total);
void SetProgressLabel(ProgressBar& bar, const std::string& label);
void AdvanceProgress(ProgressBar& bar, uint64_t bytes);
// Clears the line so that later messages start on a clean one.
void EndProgress(ProgressBar& bar);

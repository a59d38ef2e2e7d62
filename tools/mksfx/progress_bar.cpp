#include "tools/mksfx/progress_bar.h"
#include <stdio.h>

namespace {

const int BAR_WIDTH = 30;
const size_t LABEL_WIDTH = 36;

void Draw(ProgressBar& bar) {
    int permille = bar.total ? int(bar.done * 1000 / bar.total) : 1000;
    if (permille > 1000) permille = 1000;
    if (permille == bar.shownPermille) return;
    bar.shownPermille = permille;
    char cells[BAR_WIDTH + 1];
    int filled = permille * BAR_WIDTH / 1000;
    for (int i = 0; i < BAR_WIDTH; ++i) cells[i] = i < filled ? '#' : '.';
    cells[BAR_WIDTH] = 0;
    std::string label = bar.label;
    // Long names keep their end, which tells more than their start.
    if (label.size() > LABEL_WIDTH) label = "..." + label.substr(label.size() - (LABEL_WIDTH - 3));
    fprintf(stderr, "\r[%s] %3d.%d%% %-*s", cells, permille / 10, permille % 10, int(LABEL_WIDTH), label.c_str());
    fflush(stderr);
}

}  // namespace

void StartProgress(ProgressBar& bar, bool enabled, uint64_t total) {
    bar.enabled = enabled;
    bar.total = total;
    bar.done = 0;
    bar.shownPermille = -1;
    if (bar.enabled) Draw(bar);
}

void SetProgressLabel(ProgressBar& bar, const std::string& label) {
    bar.label = label;
    if (bar.enabled) {
        bar.shownPermille = -1;
        Draw(bar);
    }
}

void AdvanceProgress(ProgressBar& bar, uint64_t bytes) {
    bar.done += bytes;
    if (bar.enabled) Draw(bar);
}

void EndProgress(ProgressBar& bar) {
    if (!bar.enabled) return;
    fprintf(stderr, "\r%*s\r", BAR_WIDTH + 9 + int(LABEL_WIDTH), "");
    fflush(stderr);
    bar.enabled = false;
}

#include "fuzz/fuzz_front_end.h"
#include "engine/front_end.h"
#include <string.h>

const char FuzzPassword[] = "fuzz";
FuzzFrontHooks FuzzHooks = {nullptr, 0};

namespace {
uint64_t bytesWrittenInRun = 0;
uint32_t lastDone = 0;
int passwordAnswers = 0;   // for the current entry
}

void ResetFuzzFrontEnd() {
    bytesWrittenInRun = 0;
    lastDone = 0;
    passwordAnswers = 0;
}

int FrontConfirmEntry(const CatalogEntry*, const char*) {
    passwordAnswers = 0;
    lastDone = 0;
    return 0;   // extract
}

bool FrontProgress(uint64_t done, uint64_t) {
    // done counts the current entry's bytes; add what is new since the last call.
    if (done >= lastDone) bytesWrittenInRun += done - lastDone;
    lastDone = done;
    return FuzzHooks.writeBudget == 0 || bytesWrittenInRun <= FuzzHooks.writeBudget;
}

bool FrontEntryDone(const CatalogEntry*, const char* targetPath, SfxStatus status) {
    if (FuzzHooks.entryDone) FuzzHooks.entryDone(targetPath, status);
    lastDone = 0;
    return true;
}

// The password is offered once per entry; asking again means it was wrong,
// and answering the same text again would only repeat the question forever.
int FrontAskPassword(char* password, const char*) {
    if (passwordAnswers++ > 0) return 0;
    strcpy(password, FuzzPassword);
    return 1;
}

void ShowRunStatus(SfxStatus, const char*) {}

void FrontCommandFailed(const char*) {}

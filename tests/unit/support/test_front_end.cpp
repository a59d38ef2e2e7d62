#include "test_front_end.h"
#include "engine/front_end.h"

TestFrontEnd Front;

void ResetTestFrontEnd() { Front = TestFrontEnd(); }

int FrontConfirmEntry(const CatalogEntry* entry, const char* targetPath) {
    ++Front.confirmCalls;
    return Front.confirm ? Front.confirm(entry, targetPath) : 0;
}

bool FrontProgress(uint64_t done, uint64_t total) {
    ++Front.progressCalls;
    Front.progressDone.push_back(done);
    return Front.progress ? Front.progress(done, total) : true;
}

bool FrontEntryDone(const CatalogEntry* entry, const char* targetPath, SfxStatus status) {
    ++Front.entryDoneCalls;
    Front.entryStatuses.push_back(status);
    return Front.entryDone ? Front.entryDone(entry, targetPath, status) : true;
}

int FrontAskPassword(char* password, const char* entryName) {
    ++Front.passwordCalls;
    Front.passwordPrompts.push_back(entryName);
    return Front.password ? Front.password(password, entryName) : 0;
}

void ShowRunStatus(SfxStatus status, const char* displayName) {
    ++Front.runStatusCalls;
    Front.lastRunStatus = status;
    Front.lastRunName = displayName;
}

void FrontCommandFailed(const char* command) { Front.messages.push_back(command); }

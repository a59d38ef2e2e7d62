// The front-end linked into the unit tests: every callback forwards to a
// replaceable function and counts its calls, so that a test can script the
// user's answers and check what the engine asked.
#pragma once
#include <string>
#include <vector>
#include "archive/archive_state.h"

struct TestFrontEnd {
    ConfirmEntryFn confirm = nullptr;   // null: extract every entry
    ProgressFn progress = nullptr;      // null: always go on
    EntryDoneFn entryDone = nullptr;    // null: always go on
    PasswordFn password = nullptr;      // null: cancel
    int confirmCalls = 0;
    int progressCalls = 0;
    int entryDoneCalls = 0;
    int passwordCalls = 0;
    std::vector<uint64_t> progressDone;          // every ProgressFn 'done' value
    std::vector<SfxStatus> entryStatuses;        // every EntryDoneFn status
    std::vector<std::string> passwordPrompts;    // the names shown
    std::vector<std::string> messages;           // commands FrontCommandFailed reported
    SfxStatus lastRunStatus = 0xFFFF;
    std::string lastRunName;
    int runStatusCalls = 0;
};

extern TestFrontEnd Front;

// Puts the front-end back to its defaults (extract all, no password).
void ResetTestFrontEnd();

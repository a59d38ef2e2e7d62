// What the engine needs of its front-end. The dialog program implements these
// on Windows, unsfx on the host, and the test harness in the tests; exactly one
// front-end is linked into each program.
#pragma once
#include "archive/archive_state.h"

// Installed by ExtractArchive before the entry loop.
int FrontConfirmEntry(const CatalogEntry* entry, const char* targetPath);
bool FrontProgress(uint64_t done, uint64_t total);
bool FrontEntryDone(const CatalogEntry* entry, const char* targetPath, SfxStatus status);

// Installed as PasswordFn by every OpenArchive.
int FrontAskPassword(char* password, const char* entryName);

// Writes the final status line of a run.
void ShowRunStatus(SfxStatus status, const char* displayName);

// Tells the user that the configured command could not be started
// ("Fehler beim Ausführen von <command>.").
void FrontCommandFailed(const char* command);

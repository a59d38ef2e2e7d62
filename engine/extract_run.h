// One extraction run over the whole catalogue.
#pragma once
#include "archive/archive_state.h"

int ExtractArchive(const char* programPath, const char* targetFolder, const char* command);
void ExtractAll();
void SetTargetFolder(const char* folder);
void SetConfirmEntryFn(ConfirmEntryFn fn);
void SetProgressFn(ProgressFn fn);
void SetEntryDoneFn(EntryDoneFn fn);
// SFX_OK when the name is safe and fits; else the status that refuses the entry.
// targetPath (256 bytes) receives the target folder plus the name with
// backslashes; when the entry is refused it receives the name alone, for the
// messages about it.
SfxStatus MapEntryPath(const char* entryName, char* targetPath);

// Set by the front-end when the user answered the overwrite question for all
// files; every run starts by clearing it, so that every run asks again.
extern uint32_t ReplaceAll;

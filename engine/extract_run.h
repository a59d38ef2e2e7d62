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
SfxStatus MapEntryPath(const char* entryName, char* targetPath);

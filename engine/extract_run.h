// One extraction run over the whole catalogue.
#pragma once
#include "archive/archive_state.h"

int ExtractArchive(const char* programPath, const char* targetFolder, const char* command);
void ExtractAll();
void SetTargetFolder(const char* folder);
void SetConfirmEntryFn(ConfirmEntryFn fn);
void SetProgressFn(ProgressFn fn);
void SetEntryDoneFn(EntryDoneFn fn);
// SFX_OK when the name (UTF-8) is safe and fits; else the status that
// refuses the entry: SFX_ERR_BAD_DATA for a name that would leave the target
// folder or that Windows cannot hold, SFX_ERR_CREATE for one too long.
// targetPath (SFX_PATH_BYTES) receives the target folder plus the name with
// backslashes, without empty and "." components; when the entry is refused
// it receives the name alone, for the messages about it.
SfxStatus MapEntryPath(const char* entryName, char* targetPath);

// True when one component of a name (length bytes, UTF-8) is a
// name that Windows opens as a device instead of a file, with or without an
// extension, in any case: a file of that name can never be written. The
// builder refuses such names with the same rule.
bool IsDeviceName(const char* component, uint32_t length);

// Set by the front-end when the user answered the overwrite question for all
// files; every run starts by clearing it, so that every run asks again.
extern uint32_t ReplaceAll;

// The configured command as it is started. Windows looks for a program in
// the running program's own folder before the current one, so a command
// "setup.exe" run by a self-extractor named setup.exe would start the
// self-extractor again: a program named relative to the target folder that
// is a file there (also with ".exe" added to a name without extension) is
// started by its full path, quoted. Every other command is left as it is.
// The folder may be as long as any target folder. commandLine holds
// COMMAND_LINE_SIZE bytes; false when the line to start does not fit: it is
// then not started at all, since a cut line would start another program (or
// the self-extractor itself) or lose arguments.
const uint32_t COMMAND_LINE_SIZE = SFX_PATH_BYTES;
bool ResolveCommand(const char* command, const char* folder, char* commandLine);

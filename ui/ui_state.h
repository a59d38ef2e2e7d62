// Process-wide state of the dialog program and the few routines its parts
// share. Everything runs on the one GUI thread, so plain variables suffice.
#pragma once
#include <windows.h>
#include "archive/catalog_entry.h"
#include "ui/command_line.h"
#include "support/wide_win32.h"

extern HINSTANCE ModuleHandle;
extern HWND MainWindow;             // the main dialog, owner of every box and sub-dialog
extern volatile uint32_t CancelRequested;   // set by "Abbrechen" during a run

extern Switches StartSwitches;      // what the command line asked for

// The program's options (ui/program_options.h), read at start-up; without
// them, flags 0 and no texts (null).
struct ProgramOptions {
    uint32_t flags;
    const WCHAR* prompt;
    const WCHAR* license;
};
extern ProgramOptions Options;
void ReadProgramOptions();
// The caption of the main dialog and of every message box: the publisher's
// title, else "Tarvolin Self Extractor".
extern const WCHAR* Caption;
// The question and the licence, where the program has them: false when the
// user declined either.
bool AcceptedBeforeStart();

// Environment variables (%TEMP% ...) in text (UTF-8, SFX_PATH_BYTES bytes),
// expanded in place; a text that grows too long for Windows becomes one that
// every file operation refuses.
void ExpandVariables(char* text);

// Temporary mode: a new folder (UTF-8, ending in a backslash) in base, or
// in %TEMP% when base is empty; false when none could be made.
bool MakeTemporaryFolder(const char* base, char* folder);
// Removes the folder and everything in it, once no program holds its files.
void RemoveTemporaryFolder(const char* folder);

void CenterOnDesktop(HWND window);
// What follows the last backslash of path: the name of a file.
const char* LastPart(const char* path);
void PumpMessages();

// A modal dialog that ends with the id of the button pressed (IDCANCEL also
// for Escape and the close box), centred and filled by its Init function
// when it opens: the overwrite question or the licence.
INT_PTR ShowButtonDialog(int templateId, HWND owner);
void InitOverwriteDialog(HWND dialog);
void InitLicenseDialog(HWND dialog);

// 0 when the existing file cannot be looked up (no dialog); otherwise the id
// of the button that closed the overwrite dialog (1, 1030, 7 or 2).
int ConfirmOverwrite(const CatalogEntry* entry, const char* targetPath);

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

extern const char ProductName[];    // caption of the program's message boxes
extern Switches StartSwitches;      // what the command line asked for

void CenterOnDesktop(HWND window);
// What follows the last backslash of path: the name of a file.
const char* LastPart(const char* path);
void PumpMessages();

// 0 when the existing file cannot be looked up (no dialog); otherwise the id
// of the button that closed the overwrite dialog (1, 1030, 7 or 2).
int ConfirmOverwrite(const CatalogEntry* entry, const char* targetPath);

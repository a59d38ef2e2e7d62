// unsfx: the console front-end of the extraction engine on the host.
// Shared state of the command line and the terminal.
#pragma once
#include <signal.h>
#include <string>

struct ConsoleOptions {
    std::string targetFolder;   // ANSI (code page 1252), as the engine takes it
    bool replaceAll = false;    // -o
    bool skipExisting = false;  // -n
    bool hasPassword = false;   // -p given
    std::string password;       // bytes as given
    bool listOnly = false;      // -l
    std::string programFile;    // ANSI
    std::string programFileShown;   // as the user wrote it
};

extern ConsoleOptions Options;

// Whether stdin / stderr are terminals (decided once at start-up).
extern bool InputIsTerminal;
extern bool StatusIsTerminal;

// Set by Ctrl-C; the callbacks turn it into a cancel of the run.
extern volatile sig_atomic_t CancelRequested;

// A text of the engine (UTF-8, backslashes) as the terminal shows it.
std::string ShowText(const char* utf8);
// Ends an updating status line, if one is open.
void EndStatusLine();
// Lists the catalogue; the exit code.
int ListArchive();

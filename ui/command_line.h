// The switches of a scripted start (/S, /D=, /O, /N, /P=, /X, /W, /?), read
// from the whole command line as Windows hands it to the program. No Windows
// calls here, so the host tests the same source.
#pragma once
#include <stdint.h>

// Longest values taken, in bytes of UTF-8: a target folder as long as a
// path Windows takes (32,767 UTF-16 units, at most three bytes each), a
// password of as many characters as the password prompt takes (298).
const uint32_t SWITCH_FOLDER_MAX = 3 * 32767;
const uint32_t SWITCH_PASSWORD_MAX = 3 * 298;

// The switches without a value, as bits of Switches::given; their letters
// in this order are SWITCH_LETTERS.
enum : uint8_t {
    SWITCH_SILENT = 1,         // /S: no dialog, no message box
    SWITCH_REPLACE = 2,        // /O: replace existing files without asking
    SWITCH_KEEP = 4,           // /N: keep existing files, skip their entries
    SWITCH_NO_COMMAND = 8,     // /X: do not start the configured command
    SWITCH_WAIT_COMMAND = 16,  // /W: wait for the command, exit with its code
    SWITCH_HELP = 32,          // /?: list the switches
    SWITCH_BAD = 64            // an argument was refused; badArgument names it
};
#define SWITCH_LETTERS "SONXW?"

struct Switches {
    uint8_t given;         // SWITCH_ bits
    char targetFolder[SWITCH_FOLDER_MAX + 1];     // /D=; empty when not given
    char password[SWITCH_PASSWORD_MAX + 1];       // /P=; empty when not given
    char badArgument[64];  // the first refused argument, cut to 63 characters
};

// Fills switches (cleared first) from a command line whose first word is the
// program's name. Quotes group blanks into a word and may stand anywhere in
// it, so both "/D=C:\Mein Ziel" and /D="C:\Mein Ziel" give the folder
// C:\Mein Ziel; "" inside quotes is a quote; backslashes are literal.
// Letters in any case, '-' for '/'. Refused, with SWITCH_BAD: an unknown
// word, an empty or too long value, /O with /N, /X with /W.
void ParseCommandLine(const char* commandLine, Switches* switches);

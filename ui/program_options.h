// The program's options beyond the configuration block: the first strings of
// the program's string table (one resource: type RT_STRING, block 1, any
// language), which the builder writes and the program reads when it starts.
// Each string is stored with a terminating zero counted in its length, so
// that the program can show it straight from its resources. A program
// without them behaves as programs did before these options existed.
//
//   string 1   one unit: the OPTION_ flags below (the other bits are zero)
//   string 2   the title: caption of the main dialog and of every message
//              box (none: "Tarvolin Self Extractor")
//   string 3   the question asked before anything else (none: no question)
//   string 4   the licence shown before anything else, with CR LF line
//              ends (none: no licence)
//
// No Windows calls here: the builder uses the same definitions.
#pragma once
#include <stdint.h>

enum : uint16_t {
    OPTION_STRING_FLAGS = 1,
    OPTION_STRING_TITLE = 2,
    OPTION_STRING_PROMPT = 3,
    OPTION_STRING_LICENSE = 4
};

enum : uint16_t {
    // Extract into a new folder under %TEMP%, start the configured command
    // there, wait for it and every process it started, remove the folder
    // and exit with the command's exit code.
    OPTION_TEMPORARY = 1,
    // The configured folder and command hold environment variables
    // (%ProgramFiles% ...), expanded when the program starts.
    OPTION_EXPAND = 2
};

// Longest texts, in UTF-16 units without the terminating zero: what a
// caption and a message box show whole, and what a string can hold.
const uint32_t OPTION_TITLE_MAX = 255;
const uint32_t OPTION_PROMPT_MAX = 1000;
const uint32_t OPTION_LICENSE_MAX = 65534;

// Reading a finished program file back through the extractor's own code: the
// end-record search, the configuration block, the catalogue, and a full
// extraction into a scratch folder, which checks every entry's CRC-32.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>

struct ReadbackExpect {
    std::string target;         // configuration block as written (code page 1252)
    std::string command;
    uint32_t entries = 0;       // central directory entries
    uint32_t files = 0;         // entries with data (not folders)
    bool hasPassword = false;
    std::string password;       // code page 1252
};

struct ReadbackReport {
    uint32_t checked = 0;           // files whose CRC-32 matched
    uint32_t lockedUnchecked = 0;   // encrypted files left unchecked (no password given)
    uint32_t longUnchecked = 0;     // names too long to extract behind the scratch folder
    std::vector<std::string> problems;
};

// false with the problems listed when anything does not read back as written.
bool CheckProgramFile(const std::string& path, const ReadbackExpect& expect, ReadbackReport* report);

// Turns the PATHs of the command line into the list of entries to pack.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>
#include "tools/mksfx/input/name_patterns.h"

struct PackItem {
    std::string sourcePath;     // native path of the file or folder
    std::u32string name;        // entry name, '/' separated; folders end in '/'
    bool isFolder;              // an empty folder, stored as a folder entry
    uint64_t size;
    uint16_t dosDate;
    uint16_t dosTime;
};


// What the walk leaves out or changes.
struct InputRules {
    std::vector<ExcludeRule> excludes;  // their counts are filled in by the walk
    bool clampTimes = false;            // SOURCE_DATE_EPOCH was given:
    int64_t latestTime = 0;             // no entry gets a later time than this
};

// Folders are walked recursively with their names in sorted (byte) order, so
// the same input always gives the same archive. false with *error (naming
// the file) for anything the stub could not extract. Files and folders that
// an exclude rule matches are passed over, folders without looking inside.
bool CollectInputs(const std::vector<std::string>& paths, InputRules& rules, std::vector<PackItem>* items,
                   std::string* error);

// The builder's command line.
#pragma once
#include <string>
#include <vector>

struct MksfxOptions {
    std::string output;             // -o OUT
    std::string stub;               // --stub FILE; empty: the stub of this build
    std::string target;             // --target DIR, as typed
    std::string run;                // --run COMMAND, as typed
    std::string password;           // --password PW, as typed
    bool hasPassword = false;
    int level = 9;                  // --level 0-9
    bool hasLevel = false;
    bool quiet = false;             // --quiet
    bool help = false;              // --help
    std::string zipArchive;         // --zip ARCHIVE
    std::vector<std::string> paths; // files and folders to pack
};

// false with *error for a command line that cannot be carried out.
bool ParseOptions(int argc, char** argv, MksfxOptions* options, std::string* error);
const char* UsageText();

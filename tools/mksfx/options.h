// The builder's command line.
#pragma once
#include <string>
#include <vector>

const int LEVEL_MAX = 12;
const int LEVEL_DEFAULT = 11;
const int THREADS_MAX = 64;
const int THREADS_MAX_32BIT = 16;

// Texts of the version resource, as typed; empty when not given.
struct VersionTexts {
    std::string product;            // --product
    std::string version;            // --version a.b.c.d
    std::string company;            // --company
    std::string description;        // --description
    std::string copyright;          // --copyright
    bool any() const {
        return !product.empty() || !version.empty() || !company.empty() || !description.empty() ||
               !copyright.empty();
    }
};

struct MksfxOptions {
    std::string output;             // -o OUT
    std::string stub;               // --stub FILE; empty: the stub of this build
    std::string target;             // --target DIR, as typed
    std::string run;                // --run COMMAND, as typed
    std::string password;           // --password PW, as typed
    bool hasPassword = false;
    bool zipCrypto = false;         // --encryption zipcrypto (default aes256)
    bool lzma = false;              // --method lzma (default deflate)
    bool hasMethod = false;
    int level = LEVEL_DEFAULT;      // --level 0-12
    bool hasLevel = false;
    int threads = 0;                // --threads N; 0: one per processor
    bool quiet = false;             // --quiet
    bool help = false;              // --help
    std::string zipArchive;         // --zip ARCHIVE
    std::vector<std::string> excludes;  // --exclude PATTERN, in the order given
    std::string icon;               // --icon FILE.ico
    VersionTexts versionTexts;
    // What makes the program an installer (ui/program_options.h).
    bool temporary = false;         // --temp
    std::string prompt;             // --prompt TEXT
    bool hasPrompt = false;
    std::string licensePath;        // --license FILE
    std::string title;              // --title TEXT
    bool hasTitle = false;
    bool admin = false;             // --admin
    bool x64 = false;               // --x64
    std::vector<std::string> paths; // files and folders to pack
};

// false with *error for a command line that cannot be carried out.
bool ParseOptions(int argc, char** argv, MksfxOptions* options, std::string* error);
const char* UsageText();

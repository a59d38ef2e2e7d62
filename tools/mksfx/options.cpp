// The builder's command line: options may come in any order, "--name=value"
// and "--name value" alike; "--" ends the options.
#include "tools/mksfx/options.h"

namespace {

const char* const Usage =
    "Usage: mksfx -o OUT.exe [options] PATH...\n"
    "       mksfx -o OUT.exe [options] --zip ARCHIVE.zip\n"
    "\n"
    "Builds a self-extracting program for Windows: the extractor stub, a\n"
    "configuration block (target folder and command) and a ZIP archive whose\n"
    "offsets count from the start of the program file. The result is also an\n"
    "ordinary ZIP file that unzip and 7z read.\n"
    "\n"
    "Input (one of):\n"
    "  PATH...            files and folders to pack, folders with everything in\n"
    "                     them, in sorted order; each name is relative to the\n"
    "                     folder that holds its PATH, so 'mksfx -o a.exe dist'\n"
    "                     stores 'dist/...'. Empty folders become folder entries.\n"
    "  --zip ARCHIVE.zip  wrap an existing ZIP archive unchanged (entries and\n"
    "                     comment kept, offsets moved). Refused when it holds\n"
    "                     what the stub cannot extract: Zip64, several disks,\n"
    "                     version needed above 2.0, methods other than stored (0)\n"
    "                     and deflated (8), strong or AES encryption, encrypted\n"
    "                     entries with data descriptors, unsafe names.\n"
    "\n"
    "Options:\n"
    "  -o OUT.exe         the program file to write (required). It is written to\n"
    "                     a temporary file beside it and renamed when complete and\n"
    "                     checked; on any error an existing OUT stays unchanged.\n"
    "  --stub FILE        the extractor stub (a Windows program). Default: the\n"
    "                     32-bit stub of this build (sfxstub.exe in ../win32/\n"
    "                     next to mksfx, or beside mksfx.exe on Windows).\n"
    "  --target DIR       default target folder offered to the user (at most 256\n"
    "                     characters of Windows code page 1252). Default: none,\n"
    "                     the stub offers its own folder.\n"
    "  --run COMMAND      command line started in the target folder after a\n"
    "                     successful extraction (at most 256 characters).\n"
    "  --password PW      encrypt every file with the traditional ZIP encryption\n"
    "                     (weak; keeps casual readers out, no more). With --zip:\n"
    "                     the password to check encrypted entries with.\n"
    "  --level 0-9        DEFLATE level (default 9; 0 stores everything). An entry\n"
    "                     that does not get smaller is stored.\n"
    "  --quiet, -q        print nothing but errors.\n"
    "  --help, -h         show this text.\n"
    "\n"
    "Refused before anything is written: files of 2 GiB or more, a program file\n"
    "that would reach 2 GiB, more than 65535 entries, names longer than 255\n"
    "characters, names the stub refuses as unsafe (a '..' component, a leading\n"
    "slash, a colon, < > \" | ? * or control characters, device names such as\n"
    "CON, PRN, AUX, NUL, COM1-9, LPT1-9), names with characters that Windows\n"
    "code page 1252 lacks, a target folder or command longer than 256\n"
    "characters, a stub that is not a Windows program.\n"
    "\n"
    "Names are stored in code page 850 when every character fits, otherwise in\n"
    "UTF-8 (flag bit 11). Times are the files' modification times in local time.\n"
    "\n"
    "After writing, mksfx reads the program file back through the extractor's own\n"
    "catalogue and extraction code, checks the CRC-32 of every entry (decrypting\n"
    "with --password) and reports entries, sizes and ratio. On a terminal it\n"
    "shows a progress bar while packing.\n"
    "\nSigning comes after building: sign OUT.exe itself (osslsigncode, signtool).\n"
    "\n"
    "Exit status: 0 when the program file was written and checked, 1 on any error,\n"
    "2 for a wrong command line.\n"
    "\n"
    "Example:\n"
    "  mksfx -o setup.exe --target 'C:\\Programme\\Demo' --run 'demo.exe' dist\n";

// Takes the value of option 'name' from "--name=value" or the next argument.
bool TakeValue(const std::string& arg, const std::string& name, int argc, char** argv, int* i,
               std::string* value, bool* matched, std::string* error) {
    *matched = false;
    if (arg == name) {
        *matched = true;
        if (*i + 1 >= argc) {
            *error = "option " + name + " needs a value";
            return false;
        }
        *value = argv[++*i];
        return true;
    }
    if (name.size() > 2 && arg.compare(0, name.size() + 1, name + "=") == 0) {
        *matched = true;
        *value = arg.substr(name.size() + 1);
        return true;
    }
    return true;
}

}  // namespace

const char* UsageText() { return Usage; }

bool ParseOptions(int argc, char** argv, MksfxOptions* options, std::string* error) {
    bool optionsEnded = false;
    bool hasZip = false;
    bool hasOutput = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            options->paths.push_back(arg);
            continue;
        }
        if (arg == "--") { optionsEnded = true; continue; }
        if (arg == "--help" || arg == "-h") { options->help = true; continue; }
        if (arg == "--quiet" || arg == "-q") { options->quiet = true; continue; }

        struct Valued { const char* name; const char* alias; std::string* value; bool* seen; };
        std::string levelText;
        bool hasTarget = false, hasRun = false, hasStub = false;
        Valued valued[] = {
            {"-o", "--output", &options->output, &hasOutput},
            {"--stub", nullptr, &options->stub, &hasStub},
            {"--target", nullptr, &options->target, &hasTarget},
            {"--run", nullptr, &options->run, &hasRun},
            {"--password", nullptr, &options->password, &options->hasPassword},
            {"--level", nullptr, &levelText, &options->hasLevel},
            {"--zip", nullptr, &options->zipArchive, &hasZip},
        };
        bool matched = false;
        for (Valued& v : valued) {
            for (const char* name : {v.name, v.alias}) {
                if (!name || matched) continue;
                if (!TakeValue(arg, name, argc, argv, &i, v.value, &matched, error)) return false;
                if (matched) *v.seen = true;
            }
            if (matched) break;
        }
        if (!matched) {
            *error = "unknown option " + arg + " (see mksfx --help)";
            return false;
        }
        if (arg.compare(0, 7, "--level") == 0) {
            if (levelText.size() != 1 || levelText[0] < '0' || levelText[0] > '9') {
                *error = "--level takes a number from 0 to 9, not \"" + levelText + "\"";
                return false;
            }
            options->level = levelText[0] - '0';
        }
    }
    if (options->help) return true;
    if (!hasOutput || options->output.empty()) {
        *error = "no output given: -o OUT.exe is required (see mksfx --help)";
        return false;
    }
    if (hasZip && !options->paths.empty()) {
        *error = "give either PATHs or --zip ARCHIVE, not both";
        return false;
    }
    if (hasZip && options->zipArchive.empty()) {
        *error = "--zip needs an archive";
        return false;
    }
    if (hasZip && options->hasLevel) {
        *error = "--level does not apply to --zip: the archive is wrapped as it is";
        return false;
    }
    if (!hasZip && options->paths.empty()) {
        *error = "nothing to pack: give files or folders, or --zip ARCHIVE (see mksfx --help)";
        return false;
    }
    if (options->hasPassword && options->password.empty()) {
        *error = "--password needs a non-empty password";
        return false;
    }
    return true;
}

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
    "                     version needed above 2.0 (6.3 for LZMA), methods other\n"
    "                     than stored (0), deflated (8) and LZMA (14), LZMA\n"
    "                     headers outside the format, PKWARE's strong\n"
    "                     encryption, AES other than WinZip's AE-1/AE-2 with\n"
    "                     AES-128 to -256, traditionally encrypted entries with\n"
    "                     data descriptors, unsafe names.\n"
    "\n"
    "Options:\n"
    "  -o OUT.exe         the program file to write (required). It is written to\n"
    "                     a temporary file beside it and renamed when complete and\n"
    "                     checked; on any error an existing OUT stays unchanged.\n"
    "  --stub FILE        the extractor stub (a Windows program). Default: the\n"
    "                     32-bit stub of this build (sfxstub.exe in ../win32/\n"
    "                     next to mksfx, or beside mksfx.exe on Windows).\n"
    "  --target DIR       default target folder offered to the user (at most 256\n"
    "                     bytes: code page 1252 where the text fits it, else\n"
    "                     UTF-8 behind a byte order mark). Default: none, the\n"
    "                     stub offers its own folder.\n"
    "  --run COMMAND      command line started in the target folder after a\n"
    "                     successful extraction (at most 256 bytes, as --target).\n"
    "  --password PW      encrypt every file (AES-256 unless --encryption says\n"
    "                     otherwise). With --zip: the password to check\n"
    "                     encrypted entries with.\n"
    "  --encryption KIND  with --password: aes256 (the default) or zipcrypto.\n"
    "                     aes256 is WinZip's AES format (AE-2): it protects the\n"
    "                     contents against everything but a guessed password,\n"
    "                     and a changed byte fails the file's authentication\n"
    "                     code. 7-Zip, WinZip, libarchive (bsdtar) and most ZIP\n"
    "                     libraries read it; Info-ZIP unzip 6.0 and Windows\n"
    "                     Explorer do not. zipcrypto is the traditional ZIP\n"
    "                     encryption, which every reader knows but which keeps\n"
    "                     out only casual opening: about 12 known bytes of a file\n"
    "                     (the start of a program file, say) recover its keys in\n"
    "                     minutes. Neither hides file names, sizes or times.\n"
    "  --method METHOD    deflate (the default) or lzma. DEFLATE (method 8) is\n"
    "                     read by every ZIP reader. LZMA (method 14, APPNOTE\n"
    "                     5.8) makes smaller files (each file one stream at\n"
    "                     liblzma's strongest settings, a file per thread, the\n"
    "                     literal context chosen per file) and takes longer;\n"
    "                     it is read by the self-extractor itself, unsfx,\n"
    "                     7-Zip, libarchive (bsdtar) and Python's zipfile, not\n"
    "                     by Info-ZIP unzip 6.0 nor Windows Explorer. With\n"
    "                     --password only the self-extractor, unsfx and 7-Zip\n"
    "                     read it (zipfile the zipcrypto kind). A file that\n"
    "                     does not get smaller is stored.\n"
    "  --level 0-12       DEFLATE level (default 11; 12 is a little smaller and\n"
    "                     takes about 1.7 times as long, 1-9 are faster, 10-12\n"
    "                     search for the best encoding; 0 stores everything).\n"
    "                     Not with --method lzma, which has one setting.\n"
    "                     An entry that does not get smaller is stored.\n"
    "  --threads N        compress on N threads (1-64; default: one per\n"
    "                     processor). The output is the same for every N.\n"
    "                     LZMA runs fewer at once where their memory (about\n"
    "                     700 MB for a file of 64 MB and more) would not fit.\n"
    "  --exclude PATTERN  leave out every file and folder whose stored name\n"
    "                     matches PATTERN (see below); may be given many times.\n"
    "                     The report names what each pattern left out.\n"
    "  --icon FILE.ico    the program's icon in Explorer and in its window: an\n"
    "                     icon file with any number of sizes and colour depths,\n"
    "                     PNG-compressed images included. It replaces the stub's\n"
    "                     main icon; the dialogs and their icons stay as they are.\n"
    "  --product TEXT, --version A.B.C.D, --company TEXT, --description TEXT,\n"
    "  --copyright TEXT   the version information that Explorer shows under\n"
    "                     \"Details\" (product name and version, company, file\n"
    "                     description, copyright; each at most 255 characters).\n"
    "                     --version takes one to four numbers of 0-65535 and is\n"
    "                     both file and product version.\n"
    "\n"
    "Installers:\n"
    "  Environment variables in --target and --run (%ProgramFiles%, %APPDATA%,\n"
    "                     %LOCALAPPDATA%, %USERPROFILE%, %TEMP%, any other) are\n"
    "                     expanded when the program starts. A 32-bit program on\n"
    "                     64-bit Windows gets \"C:\\Program Files (x86)\" for\n"
    "                     %ProgramFiles%; %ProgramW6432% is the 64-bit folder\n"
    "                     there (and undefined on 32-bit Windows), or use --x64.\n"
    "  --temp             temporary mode, with --run (no --target): extract into\n"
    "                     a new folder of its own under %TEMP%, start the command\n"
    "                     there, wait until it and every process it started have\n"
    "                     ended, remove the folder with everything in it and exit\n"
    "                     with the command's exit code. A failure or a cancel\n"
    "                     removes what was extracted too. Instead of the main\n"
    "                     dialog a small window shows the progress.\n"
    "  --prompt TEXT      a question with \"Ja\" and \"Nein\" before anything else\n"
    "                     (at most 1000 characters); \"Nein\" ends the program with\n"
    "                     nothing written (exit code 2926).\n"
    "  --license FILE     a licence text (UTF-8, or UTF-16 with a byte order mark,\n"
    "                     at most 65,534 UTF-16 units) shown read-only before\n"
    "                     anything else, with \"Annehmen\" and \"Ablehnen\";\n"
    "                     \"Ablehnen\" ends the program with nothing written (2926).\n"
    "                     Under /S the question and the licence count as accepted.\n"
    "  --title TEXT       the caption of the main dialog and of every message box\n"
    "                     (at most 255 characters; default \"Tarvolin Self\n"
    "                     Extractor\").\n"
    "  --admin            the program asks for administrator rights when it starts\n"
    "                     (manifest: requireAdministrator), for installs into\n"
    "                     protected folders; without it it runs as the user who\n"
    "                     starts it.\n"
    "  --x64              build with the 64-bit stub of this build (sfxstub64.exe\n"
    "                     beside mksfx, or ../win64/sfxstub.exe): runs on 64-bit\n"
    "                     Windows only, also where 32-bit programs cannot.\n"
    "  These options are kept in the program's string table (strings 1 to 4, see\n"
    "  ui/program_options.h); the configuration block stays as it is.\n"
    "  --quiet, -q        print nothing but errors.\n"
    "  --help, -h         show this text.\n"
    "\n"
    "Exclude patterns are shell patterns on the stored names ('/' separated):\n"
    "'*' matches any characters but '/', '?' one character but '/', [abc],\n"
    "[a-z] and [!abc] one character of (not of) a set; upper and lower case\n"
    "are not told apart, as on Windows. A pattern without '/' is matched\n"
    "against each file and folder name ('*.o', 'Thumbs.db', '.git'), one with\n"
    "'/' against the whole name from its start ('dist/docs/*.pdf'); a pattern\n"
    "ending in '/' matches folders only. A folder left out takes everything in\n"
    "it along.\n"
    "\n"
    "Refused before anything is written: a name with a component\n"
    "longer than 255 characters, names the stub refuses as unsafe (a '..'\n"
    "component, a leading slash, a colon, < > \" | ? * or control characters,\n"
    "a component ending in a dot or a blank, device names such as CON, PRN,\n"
    "AUX, NUL, COM1-9, LPT1-9), a target folder or command longer than 256\n"
    "bytes, a stub that is not a Windows program, an --icon that is no\n"
    "icon file. --icon and the version texts need a stub whose resources are\n"
    "its last section and that carries no signature.\n"
    "\n"
    "Names in any script are stored as UTF-8 (flag bit 11; ASCII names as they\n"
    "are). Files and program files past 4 GiB and more than 65535 entries get\n"
    "Zip64 records where a size, an offset or the count needs them; an archive\n"
    "given with --zip must stay below 2 GiB. Times are the files' modification\n"
    "times in local time.\n"
    "\n"
    "Reproducible output: the same inputs give the same program file, byte for\n"
    "byte, on every run and with any --threads: entries are written in sorted\n"
    "order, each file is compressed in pieces of a fixed size, and with\n"
    "--password the encryption headers and AES salts are derived from the\n"
    "password, the entry and its content instead of from random bytes (files\n"
    "with different contents never share a salt). The inputs are the files,\n"
    "their names\n"
    "and times, the stub and the options; times are local times, so the time\n"
    "zone counts too (set TZ=UTC to get the same bytes in every zone). With\n"
    "SOURCE_DATE_EPOCH set (seconds since 1970-01-01 UTC, as in reproducible\n"
    "builds), no entry carries a later time than it: later times are replaced\n"
    "by SOURCE_DATE_EPOCH.\n"
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
    "  mksfx -o setup.exe --target 'C:\\Programme\\Demo' --run 'demo.exe' \\\n"
    "        --icon demo.ico --product Demo --version 1.2.0.0 --exclude '*.bak' dist\n";

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

// A whole number from minimum to maximum, written in plain digits.
bool ParseNumber(const std::string& text, int minimum, int maximum, int* value) {
    if (text.empty() || text.size() > 3) return false;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (n < minimum || n > maximum) return false;
    *value = n;
    return true;
}

}  // namespace

const char* UsageText() { return Usage; }

bool ParseOptions(int argc, char** argv, MksfxOptions* options, std::string* error) {
    bool optionsEnded = false;
    bool hasZip = false;
    bool hasOutput = false;
    bool hasThreads = false;
    bool hasIcon = false;
    bool hasLicense = false;
    bool hasEncryption = false;
    std::string levelText, threadsText, pattern, encryption, method;
    VersionTexts& v = options->versionTexts;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            options->paths.push_back(arg);
            continue;
        }
        if (arg == "--") { optionsEnded = true; continue; }
        if (arg == "--help" || arg == "-h") { options->help = true; continue; }
        if (arg == "--quiet" || arg == "-q") { options->quiet = true; continue; }
        if (arg == "--temp") { options->temporary = true; continue; }
        if (arg == "--admin") { options->admin = true; continue; }
        if (arg == "--x64") { options->x64 = true; continue; }

        struct Valued { const char* name; const char* alias; std::string* value; bool* seen; };
        bool hasTarget = false, hasRun = false, hasStub = false, hasExclude = false;
        bool hasText[5] = {};
        Valued valued[] = {
            {"-o", "--output", &options->output, &hasOutput},
            {"--stub", nullptr, &options->stub, &hasStub},
            {"--target", nullptr, &options->target, &hasTarget},
            {"--run", nullptr, &options->run, &hasRun},
            {"--password", nullptr, &options->password, &options->hasPassword},
            {"--encryption", nullptr, &encryption, &hasEncryption},
            {"--level", nullptr, &levelText, &options->hasLevel},
            {"--method", nullptr, &method, &options->hasMethod},
            {"--threads", nullptr, &threadsText, &hasThreads},
            {"--zip", nullptr, &options->zipArchive, &hasZip},
            {"--exclude", nullptr, &pattern, &hasExclude},
            {"--icon", nullptr, &options->icon, &hasIcon},
            {"--product", nullptr, &v.product, &hasText[0]},
            {"--version", nullptr, &v.version, &hasText[1]},
            {"--company", nullptr, &v.company, &hasText[2]},
            {"--description", nullptr, &v.description, &hasText[3]},
            {"--copyright", nullptr, &v.copyright, &hasText[4]},
            {"--title", nullptr, &options->title, &options->hasTitle},
            {"--prompt", nullptr, &options->prompt, &options->hasPrompt},
            {"--license", nullptr, &options->licensePath, &hasLicense},
        };
        const Valued* taken = nullptr;
        for (const Valued& option : valued) {
            bool matched = false;
            for (const char* name : {option.name, option.alias}) {
                if (!name || matched) continue;
                if (!TakeValue(arg, name, argc, argv, &i, option.value, &matched, error)) return false;
            }
            if (matched) {
                *option.seen = true;
                taken = &option;
                break;
            }
        }
        if (!taken) {
            *error = "unknown option " + arg + " (see mksfx --help)";
            return false;
        }
        std::string name = taken->name;
        if (name == "--level" && !ParseNumber(levelText, 0, LEVEL_MAX, &options->level)) {
            *error = "--level takes a number from 0 to " + std::to_string(LEVEL_MAX) + ", not \"" + levelText + "\"";
            return false;
        }
        if (name == "--threads" && !ParseNumber(threadsText, 1, THREADS_MAX, &options->threads)) {
            *error = "--threads takes a number from 1 to " + std::to_string(THREADS_MAX) + ", not \"" + threadsText + "\"";
            return false;
        }
        if (name == "--method") {
            if (method != "deflate" && method != "lzma") {
                *error = "--method takes deflate or lzma, not \"" + method + "\"";
                return false;
            }
            options->lzma = method == "lzma";
        }
        if (name == "--encryption") {
            if (encryption != "aes256" && encryption != "zipcrypto") {
                *error = "--encryption takes aes256 or zipcrypto, not \"" + encryption + "\"";
                return false;
            }
            options->zipCrypto = encryption == "zipcrypto";
        }
        if (name == "--exclude") {
            if (pattern.empty() || pattern == "/") {
                *error = "--exclude needs a pattern";
                return false;
            }
            options->excludes.push_back(pattern);
        }
        bool isVersionText = taken->seen >= hasText && taken->seen < hasText + 5;
        if (isVersionText && taken->value->empty()) {
            *error = name + " needs a text";
            return false;
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
    if (hasZip && options->hasMethod) {
        *error = "--method does not apply to --zip: the archive is wrapped as it is";
        return false;
    }
    if (options->lzma && options->hasLevel) {
        *error = "--level sets DEFLATE's level; --method lzma always packs at its strongest settings";
        return false;
    }
    if (hasZip && !options->excludes.empty()) {
        *error = "--exclude does not apply to --zip: the archive is wrapped as it is";
        return false;
    }
    if (!hasZip && options->paths.empty()) {
        *error = "nothing to pack: give files or folders, or --zip ARCHIVE (see mksfx --help)";
        return false;
    }
    if (hasEncryption && !options->hasPassword) {
        *error = "--encryption needs --password";
        return false;
    }
    if (hasEncryption && hasZip) {
        *error = "--encryption does not apply to --zip: the archive is wrapped as it is";
        return false;
    }
    if (options->hasPassword && options->password.empty()) {
        *error = "--password needs a non-empty password";
        return false;
    }
    if (hasIcon && options->icon.empty()) {
        *error = "--icon needs an icon file";
        return false;
    }
    if (hasLicense && options->licensePath.empty()) {
        *error = "--license needs a text file";
        return false;
    }
    if (options->temporary && options->run.empty()) {
        *error = "--temp needs --run: the command the temporary folder is made for";
        return false;
    }
    if (options->temporary && !options->target.empty()) {
        *error = "--temp extracts into a new folder under %TEMP%, never into --target";
        return false;
    }
    if (options->x64 && !options->stub.empty()) {
        *error = "give either --x64 (the 64-bit stub of this build) or --stub FILE, not both";
        return false;
    }
    return true;
}

// mksfx: builds a self-extracting program from the stub, a configuration
// block and a ZIP archive (packed from files and folders, or an existing one).
// Every check that can refuse the input runs before the output is touched;
// the program file is written beside OUT under a temporary name, read back
// through the extractor's own code and only then renamed to OUT.
#include "tools/mksfx/input/entry_names.h"
#include "tools/mksfx/host/host_system.h"
#include "tools/mksfx/input/input_walk.h"
#include "tools/mksfx/options.h"
#include "tools/mksfx/progress_bar.h"
#include "tools/mksfx/pack/readback_check.h"
#include "tools/mksfx/pack/zip_aes.h"
#include "tools/mksfx/pe/stub_image.h"
#include "tools/mksfx/pe/stub_resources.h"
#include "tools/mksfx/pack/zip_pack.h"
#include "tools/mksfx/pack/zip_wrap.h"
#include "archive/zip_records.h"

#include <stdio.h>
#include <stdlib.h>

#ifndef MKSFX_DEFAULT_STUB
#define MKSFX_DEFAULT_STUB ""
#endif

namespace {

const size_t CONFIG_FIELD = 257;
const size_t CONFIG_TEXT_MAX = 256;
const size_t PASSWORD_MAX = 255;

int Fail(const std::string& message) {
    fprintf(stderr, "mksfx: %s\n", message.c_str());
    return 1;
}

// Text for the password: code page 1252, the stub's own, within its length.
bool ToStubText(const std::string& typed, const char* what, size_t maximum, std::string* ansi,
                std::string* error) {
    if (!NativeToAnsi(typed, ansi)) {
        *error = std::string(what) + " holds characters that Windows code page 1252 lacks";
        return false;
    }
    if (ansi->size() > maximum) {
        *error = std::string(what) + " is " + std::to_string(ansi->size()) + " characters long; at most " +
                 std::to_string(maximum) + " fit";
        return false;
    }
    return true;
}

// A configuration field: code page 1252 where the text fits it, so that the
// field reads as it always did; otherwise the UTF-8 byte order mark and
// UTF-8. *shown is the text as the stub reads it back (UTF-8).
bool ToConfigField(const std::string& typed, const char* what, size_t maximum, std::string* field,
                   std::string* shown, std::string* error) {
    std::u32string text;
    if (!NativeToUnicode(typed, &text)) {
        *error = std::string(what) + " is not valid text";
        return false;
    }
    *shown = ToUtf8(text);
    if (!ToCp1252(text, field)) *field = "\xEF\xBB\xBF" + *shown;
    if (field->size() > maximum) {
        *error = std::string(what) + " takes " + std::to_string(field->size()) + " bytes in the program file; at most " +
                 std::to_string(maximum) + " fit";
        return false;
    }
    return true;
}

std::string ConfigBlockBytes(const std::string& target, const std::string& command) {
    std::string block = target;
    block.resize(CONFIG_FIELD, '\0');
    block += command;
    block.resize(2 * CONFIG_FIELD, '\0');
    return block;
}

#ifndef MKSFX_DEFAULT_STUB64
#define MKSFX_DEFAULT_STUB64 ""
#endif

// The stub of this build: the 32-bit one, or with --x64 the 64-bit one.
std::string DefaultStub(bool x64) {
    std::string folder = ProgramFolder();
    std::string candidates[] = {
        folder + (x64 ? "sfxstub64.exe" : "sfxstub.exe"),   // mksfx.exe beside the stubs (Windows build)
        folder + ".." + NativeSeparator() + (x64 ? "win64" : "win32") + NativeSeparator() + "sfxstub.exe",
        x64 ? MKSFX_DEFAULT_STUB64 : MKSFX_DEFAULT_STUB,
    };
    for (const std::string& candidate : candidates) {
        PathFacts facts;
        std::string ignored;
        if (!candidate.empty() && GetPathFacts(candidate, &facts, &ignored) && facts.kind == PATH_FILE)
            return candidate;
    }
    return std::string();
}

// The machine a Windows program is made for (0x14C x86, 0x8664 x86-64).
uint16_t ProgramMachine(const std::string& image) {
    uint32_t pe = Get32(reinterpret_cast<const uint8_t*>(image.data()) + 0x3C);
    return Get16(reinterpret_cast<const uint8_t*>(image.data()) + pe + 4);
}

std::string Percent(uint64_t part, uint64_t whole) {
    if (whole == 0) return "100.0%";
    uint64_t permille = (part * 1000 + whole / 2) / whole;
    return std::to_string(permille / 10) + "." + std::to_string(permille % 10) + "%";
}

// SOURCE_DATE_EPOCH, when set: seconds since 1970 in plain digits, at or
// after 1980 (DOS times start there, so no earlier time could be kept to).
bool ReadSourceDateEpoch(InputRules& rules, std::string* error) {
    const char* text = getenv("SOURCE_DATE_EPOCH");
    if (!text || !*text) return true;
    int64_t value = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9' || value > (int64_t(1) << 40)) {
            *error = "SOURCE_DATE_EPOCH is \"" + std::string(text) + "\", not a number of seconds since 1970";
            return false;
        }
        value = value * 10 + (*c - '0');
    }
    uint16_t date, time;
    if (!UnixTimeToDos(value, &date, &time)) {
        *error = "SOURCE_DATE_EPOCH (" + std::string(text) + ") lies before 1980, where ZIP times begin";
        return false;
    }
    rules.clampTimes = true;
    rules.latestTime = value;
    return true;
}

struct Build {
    MksfxOptions options;
    std::string target, command, password;  // code page 1252
    std::string stub;
    std::vector<PackItem> items;
    InputRules rules;
    int threads = 1;
    WrapPlan wrap;
    bool wrapping = false;
    ReadbackExpect expect;
    uint64_t originalBytes = 0;
    uint64_t archiveStart = 0;
    uint64_t packedBytes = 0;               // compressed data of all entries
    uint64_t programSize = 0;
};

// Everything that can refuse the input, before any file is created.
bool Prepare(Build& build, std::string* error) {
    MksfxOptions& o = build.options;
    if (!ToConfigField(o.target, "the target folder (--target)", CONFIG_TEXT_MAX, &build.target,
                       &build.expect.target, error) ||
        !ToConfigField(o.run, "the command (--run)", CONFIG_TEXT_MAX, &build.command, &build.expect.command, error))
        return false;
    if (o.hasPassword && !ToStubText(o.password, "the password", PASSWORD_MAX, &build.password, error))
        return false;

    std::string stubPath = o.stub.empty() ? DefaultStub(o.x64) : o.stub;
    if (stubPath.empty()) {
        *error = o.x64 ? "no 64-bit stub found (looked for sfxstub64.exe beside mksfx, in ../win64/ and at \"" +
                             std::string(MKSFX_DEFAULT_STUB64) + "\"); build it or give --stub FILE"
                       : "no stub found (looked for sfxstub.exe beside mksfx, in ../win32/ and at \"" +
                             std::string(MKSFX_DEFAULT_STUB) + "\"); build it or give --stub FILE";
        return false;
    }
    if (!LoadStub(stubPath, &build.stub, error)) return false;
    if (o.x64 && ProgramMachine(build.stub) != 0x8664) {
        *error = stubPath + ": not a 64-bit program (--x64)";
        return false;
    }
    StubBranding branding;
    branding.iconPath = o.icon;
    branding.texts = o.versionTexts;
    if (!MakeInstallerOptions(o, &branding.installer, error)) return false;
    if (branding.any() && !BrandStub(build.stub, branding, error)) return false;

    PathFacts outFacts;
    if (!GetPathFacts(o.output, &outFacts, error)) return false;
    if (outFacts.kind == PATH_FOLDER || outFacts.kind == PATH_OTHER) {
        *error = o.output + ": exists and is not a file";
        return false;
    }

    build.archiveStart = build.stub.size() + 2 * CONFIG_FIELD;
    build.expect.hasPassword = o.hasPassword;
    build.expect.password = build.password;
    if (!o.zipArchive.empty()) {
        build.wrapping = true;
        if (!PlanWrap(o.zipArchive, &build.wrap, error)) return false;
        if (build.archiveStart + WrappedSize(build.wrap) >= PROGRAM_LIMIT) {
            *error = "the program file would reach 2 GiB, more than the stub can read";
            return false;
        }
        build.expect.entries = build.wrap.entryCount;
        // Folder entries carry no data; the extractor passes them over.
        uint32_t folders = 0;
        for (size_t at : build.wrap.headerPositions) {
            uint16_t nameLength = Get16(reinterpret_cast<const uint8_t*>(build.wrap.central.data()) + at + 28);
            if (nameLength > 0 && build.wrap.central[at + 46 + nameLength - 1] == '/') ++folders;
        }
        build.expect.files = build.wrap.entryCount - folders;
        build.originalBytes = build.wrap.dataSize;
        return true;
    }
    if (!MakeExcludeRules(o.excludes, &build.rules.excludes, error) || !ReadSourceDateEpoch(build.rules, error) ||
        !CollectInputs(o.paths, build.rules, &build.items, error))
        return false;
    if (build.items.empty()) {
        *error = "nothing is left to pack: --exclude left out every file and folder";
        return false;
    }
    build.threads = o.threads ? o.threads : ProcessorCount();
    if (build.threads > THREADS_MAX) build.threads = THREADS_MAX;
    // Each thread holds a piece (8 MB) and its compressors (9 MB at levels 10-12):
    // a 32-bit program keeps to what its address space allows.
    if (sizeof(void*) == 4 && build.threads > THREADS_MAX_32BIT) build.threads = THREADS_MAX_32BIT;
    for (const PackItem& item : build.items) {
        build.originalBytes += item.size;
        build.expect.entries++;
        if (!item.isFolder) build.expect.files++;
    }
    return true;
}

bool WriteProgram(Build& build, OutputFile& out, std::string* error) {
    ProgressBar bar;
    StartProgress(bar, !build.options.quiet && StderrIsTerminal(), build.originalBytes);
    bool ok = WriteBytes(out, build.stub) && WriteBytes(out, ConfigBlockBytes(build.target, build.command));
    if (!ok) {
        *error = "cannot write " + out.path;
    } else if (build.wrapping) {
        ok = WriteWrapped(out, build.wrap, &bar, error);
        build.packedBytes = 0;
        for (size_t at : build.wrap.headerPositions)
            build.packedBytes += Get32(reinterpret_cast<const uint8_t*>(build.wrap.central.data()) + at + 20);
    } else {
        PackSettings settings;
        settings.method = build.options.lzma ? METHOD_LZMA_ENTRY : METHOD_DEFLATE;
        settings.level = build.options.level;
        settings.threads = build.threads;
        settings.encrypt = build.options.hasPassword;
        settings.aes = !build.options.zipCrypto;
        settings.password = build.password;
        settings.progress = &bar;
        std::vector<PackedEntry> entries;
        ok = PackItems(out, build.items, settings, &entries, error) &&
             WriteCentralDirectory(out, entries, std::string(), error);
        for (const PackedEntry& entry : entries) build.packedBytes += entry.compressedSize;
    }
    EndProgress(bar);
    if (!ok) return false;
    // A stored rewrite of an entry can leave bytes behind the end record.
    if (!TruncateOpenFile(out.file, out.position) || fflush(out.file) != 0) {
        *error = "cannot write " + out.path;
        return false;
    }
    build.programSize = out.position;
    return true;
}

// One line for everything --exclude left out, by pattern, so that a
// pattern that matched nothing shows as well.
void PrintExcluded(const InputRules& rules) {
    if (rules.excludes.empty()) return;
    uint32_t files = 0, folders = 0;
    uint64_t bytes = 0;
    std::string each;
    for (const ExcludeRule& rule : rules.excludes) {
        files += rule.files;
        folders += rule.folders;
        bytes += rule.bytes;
        std::string what;
        if (rule.files) what = std::to_string(rule.files) + (rule.files == 1 ? " file" : " files");
        if (rule.folders)
            what += (what.empty() ? "" : ", ") + std::to_string(rule.folders) + (rule.folders == 1 ? " folder" : " folders");
        each += (each.empty() ? "" : "; ") + rule.typed + ": " + (what.empty() ? "nothing" : what);
    }
    printf("  left out: %u %s (%llu bytes) and %u %s with all they hold (%s)\n", files,
           files == 1 ? "file" : "files", (unsigned long long)bytes, folders, folders == 1 ? "folder" : "folders",
           each.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Build build;
    std::string error;
    if (!ParseOptions(argc, argv, &build.options, &error)) {
        fprintf(stderr, "mksfx: %s\n", error.c_str());
        return 2;
    }
    if (build.options.help) {
        fputs(UsageText(), stdout);
        return 0;
    }
    if (!Prepare(build, &error)) return Fail(error);

    OutputFile out;
    out.file = CreateTempBeside(build.options.output, &out.path, &error);
    if (!out.file) return Fail(error);
    bool written = WriteProgram(build, out, &error);
    if (fclose(out.file) != 0 && written) {
        written = false;
        error = "cannot write " + out.path;
    }
    if (!written) {
        RemoveFile(out.path);
        return Fail(error);
    }

    ReadbackReport report;
    if (!CheckProgramFile(out.path, build.expect, &report)) {
        RemoveFile(out.path);
        fprintf(stderr, "mksfx: the program file does not read back correctly; %s not written:\n",
                build.options.output.c_str());
        for (const std::string& problem : report.problems) fprintf(stderr, "  %s\n", problem.c_str());
        return 1;
    }
    if (!PutFileInPlace(out.path, build.options.output, &error)) {
        RemoveFile(out.path);
        return Fail(error);
    }

    if (!build.options.quiet) {
        uint32_t folders = build.expect.entries - build.expect.files;
        printf("%s: %llu bytes (stub %llu, configuration 514, archive %llu)\n", build.options.output.c_str(),
               (unsigned long long)build.programSize, (unsigned long long)build.stub.size(),
               (unsigned long long)(build.programSize - build.archiveStart));
        printf("  %u entries (%u files, %u %s): %llu bytes packed into %llu (%s)\n", build.expect.entries,
               build.expect.files, folders, folders == 1 ? "folder" : "folders", (unsigned long long)build.originalBytes,
               (unsigned long long)build.packedBytes, Percent(build.packedBytes, build.originalBytes).c_str());
        // AES-256 entries (AE-2) carry no CRC-32: their authentication code vouches for them.
        bool aes = build.options.hasPassword && !build.options.zipCrypto && !build.wrapping;
        printf("  checked through the extractor: %u of %u files, %s\n", report.checked,
               build.expect.files, aes ? "authentication codes correct" : "CRC-32 correct");
        if (report.lockedUnchecked)
            printf("  %u encrypted files not checked (no --password given)\n", report.lockedUnchecked);
        if (report.longUnchecked)
            printf("  %u files with very long names not checked (they need a short target folder)\n",
                   report.longUnchecked);
        PrintExcluded(build.rules);
        if (!build.options.icon.empty()) printf("  icon: %s\n", build.options.icon.c_str());
        if (build.options.versionTexts.any()) printf("  version information: %s\n", VersionSummary(build.options.versionTexts).c_str());
        if (!build.target.empty()) printf("  target folder: %s\n", build.options.target.c_str());
        if (!build.command.empty()) printf("  command: %s\n", build.options.run.c_str());
    }
    return 0;
}

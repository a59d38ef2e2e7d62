// The extraction run: open the program file as an archive, walk its
// catalogue, map every entry name into the target folder, let the front-end
// confirm, skip or abort, extract, report, and start the configured command
// after a run without error.
#include "engine/extract_run.h"
#include "archive/archive_open.h"
#include "archive/catalog.h"
#include "engine/extract_entry.h"
#include "engine/front_end.h"
#include "support/file_layer.h"
#include "support/platform.h"
#include "support/str_util.h"

uint32_t ReplaceAll = 0;

void SetConfirmEntryFn(ConfirmEntryFn fn) { Archive.confirmEntry = fn; }
void SetProgressFn(ProgressFn fn) { Archive.progress = fn; }
void SetEntryDoneFn(EntryDoneFn fn) { Archive.entryDone = fn; }

void SetTargetFolder(const char* folder) {
    // Room for the folder and one more backslash; a folder this long leaves
    // no room for any name and every entry is refused as too long.
    StrCopyMax(Archive.targetFolder, folder, SFX_PATH_BYTES - 2);
    uint32_t length = StrLength(Archive.targetFolder);
    if (length == 0 || Archive.targetFolder[length - 1] != '\\') {
        Archive.targetFolder[length] = '\\';
        Archive.targetFolder[length + 1] = '\0';
    }
}

static char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c; }

// COM and LPT take a digit 0 to 9 or a superscript one, two or three (which
// Windows counts as digits there: U+00B9, U+00B2, U+00B3, two bytes of
// UTF-8 each); CONIN$ and CONOUT$ are the console.
bool IsDeviceName(const char* component, uint32_t length) {
    uint32_t base = 0;
    while (base < length && component[base] != '.')
        ++base;
    while (base > 0 && component[base - 1] == ' ')
        --base;
    if (base < 3 || base > 7)
        return false;
    static const char names[] = "CONPRNAUXNULCOMLPT";
    for (uint32_t n = 0; n < sizeof(names) - 1; n += 3) {
        uint32_t i = 0;
        while (i < 3 && UpperAscii(component[i]) == names[n + i])
            ++i;
        if (i != 3)
            continue;
        if (base == 3)
            return n < 12;
        uint8_t c = (uint8_t)component[3];
        if (n >= 12) {
            uint8_t d = (uint8_t)component[4];
            return (base == 4 && c >= '0' && c <= '9') ||
                   (base == 5 && c == 0xC2 && (d == 0xB9 || d == 0xB2 || d == 0xB3));
        }
        if (n != 0)
            return false;
        // CONIN$ and CONOUT$
        const char* rest = base == 6 ? "IN$" : base == 7 ? "OUT$" : "";
        for (i = 0; rest[i] != '\0' && UpperAscii(component[3 + i]) == rest[i]; ++i) {
        }
        return rest[0] != '\0' && rest[i] == '\0';
    }
    return false;
}

// One component of a name (UTF-8, without separators). A name that would
// reach outside the target folder or that Windows cannot hold as given is
// refused rather than written somewhere else or under a changed name. The
// same rules hold on every platform, so that an archive behaves alike
// wherever it is unpacked. Characters beyond ASCII are ordinary characters:
// every call of the file layer is wide, so no look-alike is ever folded
// into one of the characters checked here.
static SfxStatus CheckComponent(const char* component, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t c = (uint8_t)component[i];
        if (c < 32 || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
            return SFX_ERR_BAD_DATA;
    }
    // ".." climbs out of the folder; Windows also drops trailing dots and
    // spaces, which would turn "... " into a climb or any other name into a
    // different one.
    char last = component[length - 1];
    if (last == '.' || last == ' ' || IsDeviceName(component, length))
        return SFX_ERR_BAD_DATA;
    // No file system of Windows holds a longer component.
    return Utf16Length(component, length) > 255 ? SFX_ERR_CREATE : SFX_OK;
}

SfxStatus MapEntryPath(const char* entryName, char* targetPath) {
    uint32_t folderLength = StrLength(Archive.targetFolder);
    MemCopy(targetPath, Archive.targetFolder, folderLength);
    char* name = targetPath + folderLength;
    char* out = name;
    char* limit = targetPath + SFX_PATH_BYTES - 8;
    SfxStatus status = SFX_OK;
    // Component by component, slashes and backslashes alike. Empty and "."
    // components are dropped as Windows drops them, so that a name cannot
    // differ from the path that the long-path prefix (which drops nothing)
    // hands to the file system; so go leading separators: a name is always
    // relative to the target folder, never to the root of a drive, a server
    // or a device (\\?\, \\.\, UNC).
    for (const char* p = entryName;;) {
        const char* start = p;
        while (*p != '\0' && *p != '/' && *p != '\\')
            ++p;
        uint32_t length = (uint32_t)(p - start);
        if (length != 0 && !(length == 1 && *start == '.')) {
            SfxStatus checked = CheckComponent(start, length);
            if (status == SFX_OK || checked == SFX_ERR_BAD_DATA)
                status = checked != SFX_OK ? checked : status;
            if (out + length + 1 > limit) {
                if (status == SFX_OK)
                    status = SFX_ERR_CREATE;   // never cut into another name
            } else {
                if (out != name)
                    *out++ = '\\';
                MemCopy(out, start, length);
                out += length;
            }
        }
        if (*p++ == '\0')
            break;
    }
    *out = '\0';
    // A name must not be empty or the folder itself.
    if (out == name)
        status = SFX_ERR_BAD_DATA;
    if (status == SFX_OK && Utf16Length(targetPath, (uint32_t)(out - targetPath)) > SFX_TARGET_UNITS)
        status = SFX_ERR_CREATE;
    // A refused entry is reported under its name alone.
    if (status != SFX_OK)
        MemMove(targetPath, name, (uint32_t)(out - name) + 1);
    return status;
}

// The target path of the entry being extracted.
static char TargetPath[SFX_PATH_BYTES];

static void RunEntryLoop(Catalog* catalog) {
    // A run in which any entry failed must not end as a success, even when
    // the front-end lets it go on after the failure.
    SfxStatus firstFailure = SFX_OK;
    Archive.status = SFX_OK;
    RewindCatalog(catalog);
    const CatalogEntry* entry;
    while (Archive.status == SFX_OK && (entry = NextCatalogEntry(catalog)) != nullptr) {
        char* targetPath = TargetPath;
        SfxStatus mapped;
        if (entry->folder) {
            // Nothing is created for a folder: every folder comes into being
            // with its first file.
            continue;
        } else {
            mapped = MapEntryPath(entry->name, targetPath);
        }
        if (mapped != SFX_OK) {
            Archive.status = mapped;
        } else {
            Archive.replaceProtected = 0;
            if (Archive.confirmEntry) {
                int answer = Archive.confirmEntry(entry, targetPath);
                if (answer == CONFIRM_SKIP)
                    continue;
                if (answer == CONFIRM_ABORT)
                    Archive.status = SFX_USER_ABORT;
                if (answer == CONFIRM_REFUSE)
                    Archive.status = SFX_ERR_EXISTS;
                Archive.replaceProtected = answer == CONFIRM_REPLACE_PROTECTED;
            }
            if (Archive.status != SFX_OK)
                break;
            ExtractEntry(entry, targetPath);
        }
        if (Archive.status != SFX_OK && firstFailure == SFX_OK)
            firstFailure = Archive.status;
        if (Archive.entryDone) {
            if (!Archive.entryDone(entry, targetPath, Archive.status))
                break;
            Archive.status = SFX_OK;
        }
    }
    if (Archive.status == SFX_OK)
        Archive.status = firstFailure;
}

// The catalogue was read when the archive was opened; closing it frees it.
void ExtractAll() {
    Archive.status = Archive.catalog.status;
    if (Archive.status == SFX_OK)
        RunEntryLoop(&Archive.catalog);
}

// True when path names a file that can be opened (not a folder).
static bool IsFile(const char* path) {
    FileHandle file = FileOpen(path, "rb");
    if (file == FILE_NONE)
        return false;
    FileClose(file);
    return true;
}

// The program's path in the target folder, and the line started; static,
// as they may be as long as a path.
static char CommandProgram[SFX_PATH_BYTES];
static char StartedCommandLine[COMMAND_LINE_SIZE];

bool ResolveCommand(const char* command, const char* folder, char* commandLine) {
    if (StrLength(command) >= COMMAND_LINE_SIZE)
        return false;
    StrCopy(commandLine, command);
    // The program is the quoted first part, or else the first word.
    const char* start = command;
    char end = ' ';
    if (*start == '"') {
        ++start;
        end = '"';
    }
    const char* stop = start;
    bool relative = *start != '\\' && *start != '/';
    bool extension = false;
    for (; *stop != '\0' && *stop != end; ++stop) {
        if (*stop == ':')
            relative = false;
        if (*stop == '.')
            extension = true;
        if (*stop == '\\' || *stop == '/')
            extension = false;
    }
    uint32_t length = (uint32_t)(stop - start);
    const char* rest = *stop == '"' ? stop + 1 : stop;
    // A folder is given with its backslash; the current one is ".\".
    const char* base = folder[0] != '\0' ? folder : ".\\";
    uint32_t folderLength = StrLength(base);
    // Room for ".exe" and the terminator; a longer path is no file.
    if (!relative || length == 0 || folderLength + length + 5 > sizeof CommandProgram)
        return true;
    MemCopy(CommandProgram, base, folderLength);
    MemCopy(CommandProgram + folderLength, start, length);
    uint32_t programLength = folderLength + length;
    CommandProgram[programLength] = '\0';
    // Windows adds ".exe" to a program named without an extension.
    if (!IsFile(CommandProgram)) {
        if (extension)
            return true;
        MemCopy(CommandProgram + programLength, ".exe", 5);
        programLength += 4;
        if (!IsFile(CommandProgram))
            return true;
    }
    if (programLength + StrLength(rest) + 3 > COMMAND_LINE_SIZE)
        return false;
    commandLine[0] = '"';
    MemCopy(commandLine + 1, CommandProgram, programLength);
    commandLine[programLength + 1] = '"';
    StrCopy(commandLine + programLength + 2, rest);
    return true;
}

int ExtractArchive(const char* programPath, const char* targetFolder, const char* command) {
    ReplaceAll = 0;

    // The program's file name, whatever the length of its path.
    const char* displayName = programPath;
    for (const char* p = programPath; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/')
            displayName = p + 1;

    Archive.status = SFX_OK;
    OpenArchive(programPath);
    if (Archive.status != SFX_OK) {
        SfxStatus failed = Archive.status;
        ShowRunStatus(failed, displayName);
        CloseArchive();
        return failed;
    }

    SetEntryDoneFn(FrontEntryDone);
    SetConfirmEntryFn(FrontConfirmEntry);
    SetProgressFn(FrontProgress);
    if (targetFolder && targetFolder[0] != '\0')
        SetTargetFolder(targetFolder);

    ExtractAll();
    ShowRunStatus(Archive.status, displayName);
    SfxStatus status = Archive.status;
    CloseArchive();

    if (!command || command[0] == '\0' || status != SFX_OK)
        return status;

    // The command runs in the target folder, after the archive is closed.
    SetCurrentFolder(targetFolder ? targetFolder : "");
    if (ResolveCommand(command, targetFolder ? targetFolder : "", StartedCommandLine) &&
        StartProgram(StartedCommandLine) >= 32)
        return SFX_RUN_STARTED;
    FrontCommandFailed(command);
    return status;
}

// Output files and the directories on their way.
//
// Entry names carry their directories, and directory entries are passed
// over, so every directory of the target tree comes into being here, when
// the first file inside it is created. The create is tried first; only when
// it fails is the path walked from its start, one level at a time, testing
// and making directories and retrying the create after each level. So a
// file whose folder exists costs one attempt and no directory test.
#include "engine/output_file.h"
#include "support/file_layer.h"
#include "support/str_util.h"

uint32_t OutputCreateAttempts = 0;

char* AppendBackslash(const char* path, char* result) {
    char work[SFX_PATH_MAX];
    StrCopyMax(work, path, SFX_PATH_MAX - 1);
    uint8_t length = (uint8_t)StrLength(work);
    if (length != 0 && work[length - 1] != '\\' && work[length - 1] != ':' && length < SFX_PATH_MAX - 1) {
        work[length] = '\\';
        work[length + 1] = '\0';
    }
    return StrCopy(result, work);
}

// Temporary names are "~" and four hex digits: a target path holds at most
// 255 characters, so its folder at most 254, and five more stay within the
// 259 characters Windows allows a path. The counter walks on through the
// process, so names left by an earlier run are passed over once.
static const uint32_t TEMP_NAME_ATTEMPTS = 4096;
static uint32_t TempNameCounter;

static void NextTempName(const char* folder, char* path) {
    uint32_t n = ++TempNameCounter;
    StrCopyMax(path, folder, SFX_PATH_MAX - 1);
    uint32_t length = StrLength(path);
    path[length] = '~';
    for (uint32_t i = 4; i > 0; --i, n >>= 4) {
        uint32_t digit = n & 15;
        path[length + i] = (char)(digit < 10 ? '0' + digit : 'A' - 10 + digit);
    }
    path[length + TEMP_NAME_LENGTH] = '\0';
}

bool PickUnusedName(const char* folder, char* path) {
    for (uint32_t attempt = 0; attempt < TEMP_NAME_ATTEMPTS; ++attempt) {
        NextTempName(folder, path);
        if (!FileExists(path))
            return true;
    }
    return false;
}

// The entry is written to a fresh file beside its target, so that an
// existing file stays untouched until the new one is complete. The file is
// created only where no file of that name exists: a name that is taken is
// passed over, never opened.
static bool TryCreate(const char* folder) {
    ++OutputCreateAttempts;
    char* path = Archive.outputTempPath;
    for (uint32_t attempt = 0; attempt < TEMP_NAME_ATTEMPTS; ++attempt) {
        NextTempName(folder, path);
        Archive.outputHandle = FileCreateNew(path);
        if (Archive.outputHandle != FILE_NONE)
            return true;
        if (!FileExists(path))
            break;   // not a taken name: the folder is missing or closed
    }
    path[0] = '\0';
    return false;
}

void CreateOutputFile(const char* targetPath) {
    char folder[SFX_PATH_MAX];
    char rest[SFX_PATH_MAX];
    char built[SFX_PATH_MAX];
    char component[SFX_PATH_MAX];

    // The folder of the target: everything up to and including its last
    // backslash; empty for a bare name (the current folder).
    StrCopyMax(folder, targetPath, SFX_PATH_MAX - 1);
    uint32_t cut = 0;
    for (uint32_t i = 0; folder[i] != '\0'; ++i)
        if (folder[i] == '\\')
            cut = i + 1;
    folder[cut] = '\0';

    built[0] = '\0';
    StrCopy(rest, folder);
    if (TryCreate(folder)) {
        Archive.status = SFX_OK;
        return;
    }
    Archive.status = SFX_ERR_IO;
    for (;;) {
        uint8_t slash = StrPos('\\', rest);
        if (slash == 255)
            return;
        AppendBackslash(built, built);
        StrCopySub(rest, 0, slash, component);
        if (StrLength(built) + StrLength(component) >= SFX_PATH_MAX)
            return;
        StrAppend(built, component);
        StrDelete(rest, 0, (uint8_t)(slash + 1));
        uint32_t length = StrLength(built);
        if (length == 0 || built[length - 1] == ':') {
            // A root or a drive is never tested or made.
            if (length + 1 >= SFX_PATH_MAX)
                return;
            StrAppend(built, "\\");
            continue;
        }
        if (!FileExists(built) && MakeDirectory(built) != 0) {
            Archive.status = SFX_ERR_IO;
            return;
        }
        if (TryCreate(folder)) {
            Archive.status = SFX_OK;
            return;
        }
    }
}

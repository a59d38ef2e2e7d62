// Output files and the directories on their way.
//
// Entry names carry their directories, and directory entries are passed
// over, so every directory of the target tree comes into being here, when
// the first file inside it is created. The create is tried first; only when
// it fails is the path walked from its start, one level at a time, testing
// and making directories and retrying the create after each level. So a
// file whose folder exists costs one attempt and no directory test.
//
// Paths are UTF-8 of any length the platform takes; the walk works in one
// process-wide buffer instead of copies on the stack.
#include "engine/output_file.h"
#include "support/file_layer.h"
#include "support/str_util.h"

uint32_t OutputCreateAttempts = 0;

char* AppendBackslash(const char* path, char* result) {
    uint32_t length = StrLength(path);
    MemMove(result, path, length + 1);
    if (length != 0 && result[length - 1] != '\\' && result[length - 1] != ':') {
        result[length] = '\\';
        result[length + 1] = '\0';
    }
    return result;
}

// Temporary names are "~" and four hex digits beside the target; the target
// paths leave room for them. The counter walks on through the process, so
// names left by an earlier run are passed over once.
static const uint32_t TEMP_NAME_ATTEMPTS = 4096;
static uint32_t TempNameCounter;

// path = the first folderLength bytes of folder, then a temporary name.
static void NextTempName(const char* folder, uint32_t folderLength, char* path) {
    uint32_t n = ++TempNameCounter;
    MemMove(path, folder, folderLength);
    path[folderLength] = '~';
    for (uint32_t i = 4; i > 0; --i, n >>= 4) {
        uint32_t digit = n & 15;
        path[folderLength + i] = (char)(digit < 10 ? '0' + digit : 'A' - 10 + digit);
    }
    path[folderLength + TEMP_NAME_LENGTH] = '\0';
}

// The length of the folder part of path, its last backslash included.
static uint32_t FolderLength(const char* path) {
    uint32_t cut = 0;
    for (uint32_t i = 0; path[i] != '\0'; ++i)
        if (path[i] == '\\')
            cut = i + 1;
    return cut;
}

bool PickUnusedNameBeside(const char* path, char* result) {
    uint32_t folderLength = FolderLength(path);
    for (uint32_t attempt = 0; attempt < TEMP_NAME_ATTEMPTS; ++attempt) {
        NextTempName(path, folderLength, result);
        if (!FileExists(result))
            return true;
    }
    return false;
}

// The entry is written to a fresh file beside its target, so that an
// existing file stays untouched until the new one is complete. The file is
// created only where no file of that name exists: a name that is taken is
// passed over, never opened.
static bool TryCreate(const char* folder, uint32_t folderLength) {
    ++OutputCreateAttempts;
    char* path = Archive.outputTempPath;
    for (uint32_t attempt = 0; attempt < TEMP_NAME_ATTEMPTS; ++attempt) {
        NextTempName(folder, folderLength, path);
        Archive.outputHandle = FileCreateNew(path);
        if (Archive.outputHandle != FILE_NONE)
            return true;
        if (!FileExists(path))
            break;   // not a taken name: the folder is missing or closed
    }
    path[0] = '\0';
    return false;
}

// The directories walked, one level at a time.
static char Walk[SFX_PATH_BYTES];

void CreateOutputFile(const char* targetPath) {
    // The folder of the target: everything up to and including its last
    // backslash; empty for a bare name (the current folder).
    uint32_t cut = FolderLength(targetPath);
    MemCopy(Walk, targetPath, cut);
    Walk[cut] = '\0';
    Archive.status = SFX_OK;
    if (TryCreate(Walk, cut))
        return;
    Archive.status = SFX_ERR_IO;
    // A root, a drive ("C:") and a server's share (\\server\share) are never
    // tested or made: level i ends before the i-th backslash.
    uint32_t skip = Walk[0] == '\\' && Walk[1] == '\\' ? 3 : 0;
    for (uint32_t i = 0; i < cut; ++i) {
        if (Walk[i] != '\\' || i == 0 || Walk[i - 1] == ':')
            continue;
        if (skip != 0) {
            --skip;
            continue;
        }
        Walk[i] = '\0';
        bool made = FileExists(Walk) || MakeDirectory(Walk) == 0;
        Walk[i] = '\\';
        if (!made)
            return;
        if (TryCreate(Walk, cut)) {
            Archive.status = SFX_OK;
            return;
        }
    }
}

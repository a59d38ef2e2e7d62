// The configuration block: 514 bytes that end exactly where the local header
// of the first central directory entry begins.
#include "archive/config_block.h"
#include "archive/archive_open.h"
#include "archive/catalog.h"
#include "support/file_layer.h"
#include "support/str_util.h"

namespace {
const uint32_t kBlockSize = sizeof(ConfigBlock);
const uint32_t kFieldSize = sizeof(ConfigBlock::targetFolder);
}  // namespace

bool LocateFirstEntry() {
    FindEndRecord();
    if (Archive.status != SFX_OK) return false;
    uint8_t* comment = nullptr;
    Archive.status = ReadEndRecord(&Archive.endRecord, &comment);
    MemFree(comment);
    if (Archive.status != SFX_OK) {
        CloseArchive();
        return false;
    }
    Archive.status = SeekCentralDirectory(&Archive.endRecord);
    if (Archive.status != SFX_OK) {
        CloseArchive();
        return false;
    }
    uint32_t signature = 0;
    Archive.status = ReadSignature(&signature);
    if (Archive.status != SFX_OK) return false;
    // Something other than a central header: no configuration. The catalogue
    // reader reports the damage when a run reads the directory.
    if (signature != SIG_CENTRAL_HEADER) return false;
    CentralHeader header;
    char name[SFX_PATH_MAX];
    Archive.status = ReadCentralHeader(&header, name);
    if (Archive.status != SFX_OK) return false;
    Archive.firstLocalHeader = header.localHeaderOffset;
    return true;
}

void ReadConfigBlock() {
    if (!LocateFirstEntry()) return;
    // With less than a block's room before the first local header there is
    // no block; reading from the start of the file would take the program's
    // own header bytes for a target folder.
    if (Archive.firstLocalHeader < kBlockSize) return;
    // A second handle, so that the archive handle's position stays as it is.
    FileHandle file = FileOpen(Archive.archivePath, "rb");
    if (file == FILE_NONE) return;
    if (FileSeek(file, Archive.firstLocalHeader - kBlockSize, 0) != -1 &&
        FileRead(Archive.configTarget, kFieldSize, file) == int32_t(kFieldSize)) {
        // The fields are 257 bytes; the last byte is forced to zero, so at
        // most 256 characters of each are used.
        Archive.configTarget[kFieldSize - 1] = 0;
        FileRead(Archive.configCommand, kFieldSize, file);
        Archive.configCommand[kFieldSize - 1] = 0;
    }
    FileClose(file);
}

void GetConfigBlock(char* targetFolder, char* command) {
    StrCopy(targetFolder, Archive.configTarget);
    StrCopy(command, Archive.configCommand);
}

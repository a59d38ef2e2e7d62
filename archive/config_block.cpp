// The configuration block: 514 bytes that end exactly where the local header
// of the first central directory entry begins.
#include "archive/config_block.h"
#include "archive/catalog.h"
#include "support/str_util.h"

namespace {
const uint32_t kFieldSize = sizeof(ConfigBlock::targetFolder);
}  // namespace

void ReadConfigBlock() {
    Catalog* catalog = &Archive.catalog;
    RewindCatalog(catalog);
    const CatalogEntry* first = NextCatalogEntry(catalog);
    RewindCatalog(catalog);
    if (first == nullptr) return;
    Archive.firstLocalHeader = first->localHeaderOffset;
    // With less than a block's room before the first local header there is
    // no block; reading from the start of the file would take the program's
    // own header bytes for a target folder.
    ConfigBlock block;
    if (first->localHeaderOffset < sizeof block ||
        !ReadArchiveAt(int64_t(first->localHeaderOffset - sizeof block), &block, sizeof block))
        return;
    // The fields are 257 bytes; the last byte is forced to zero, so at most
    // 256 characters of each are used.
    block.targetFolder[kFieldSize - 1] = 0;
    block.command[kFieldSize - 1] = 0;
    StrCopy(Archive.configTarget, block.targetFolder);
    StrCopy(Archive.configCommand, block.command);
}

void GetConfigBlock(char* targetFolder, char* command) {
    StrCopy(targetFolder, Archive.configTarget);
    StrCopy(command, Archive.configCommand);
}

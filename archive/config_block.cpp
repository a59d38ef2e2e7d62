// The configuration block: 514 bytes that end exactly where the local header
// of the first central directory entry begins.
#include "archive/config_block.h"
#include "archive/catalog.h"
#include "support/platform.h"
#include "support/str_util.h"

namespace {
const uint32_t FIELD_SIZE = sizeof(ConfigBlock::targetFolder);

// Every program file written before UTF-8 fields existed reads as it did.
void TakeField(char* dest, char* field) {
    // The fields are 257 bytes; the last byte is forced to zero, so at most
    // 256 characters of each are used.
    field[FIELD_SIZE - 1] = 0;
    const uint8_t* text = reinterpret_cast<const uint8_t*>(field);
    uint32_t codePage = CODE_PAGE_ANSI;
    if (text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF) {
        text += 3;
        codePage = TEXT_UTF8;
    }
    uint32_t written;
    TextToUtf8(dest, text, StrLength(reinterpret_cast<const char*>(text)), codePage, &written);
}
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
    TakeField(Archive.configTarget, block.targetFolder);
    TakeField(Archive.configCommand, block.command);
}

void GetConfigBlock(char* targetFolder, char* command) {
    StrCopy(targetFolder, Archive.configTarget);
    StrCopy(command, Archive.configCommand);
}

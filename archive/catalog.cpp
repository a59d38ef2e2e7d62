// The catalogue: the central directory read record by record into a list.
#include "archive/catalog.h"
#include "archive/archive_open.h"
#include "support/file_layer.h"
#include "support/platform.h"
#include "support/str_util.h"

namespace {
const uint16_t kMaxEntries = 0xFFFF;   // what the 16-bit count can hold

// MS-DOS marks a folder with attribute 0x10; Unix keeps its mode in the high
// 16 bits of the external attributes. An entry with data stays a file.
const uint32_t DOS_FOLDER = 0x10;
const uint16_t HOST_UNIX = 3;

bool IsFolderEntry(const CentralHeader* header, const char* name, uint32_t length) {
    if (length != 0 && (name[length - 1] == '/' || name[length - 1] == '\\')) return true;
    if (header->uncompressedSize != 0) return false;
    if (header->externalAttributes & DOS_FOLDER) return true;
    return (header->versionMadeBy >> 8) == HOST_UNIX && (header->externalAttributes >> 28) == 4;
}
}  // namespace

void ClearCatalog(Catalog* catalog) {
    catalog->head = nullptr;
    catalog->tail = nullptr;
    catalog->cursor = nullptr;
    catalog->count = 0;
}

const CatalogEntry* NextCatalogEntry(Catalog* catalog) {
    catalog->cursor = catalog->cursor ? catalog->cursor->next : catalog->head;
    return catalog->cursor ? &catalog->cursor->entry : nullptr;
}

void RewindCatalog(Catalog* catalog) { catalog->cursor = nullptr; }

// Short reads count as failures throughout: a directory whose records run
// past the end of the file then ends in SFX_ERR_IO instead of seeing stale
// bytes again and again. Skips only ever move forward, so the walk reaches
// the end of the file after at most size/46 records.
void ReadCatalog(Catalog* catalog) {
    FindEndRecord();
    if (Archive.status != SFX_OK) return;
    uint8_t* comment = nullptr;
    Archive.status = ReadEndRecord(&Archive.endRecord, &comment);
    MemFree(comment);
    if (Archive.status != SFX_OK) return;
    Archive.status = SeekCentralDirectory(&Archive.endRecord);
    if (Archive.status != SFX_OK) return;
    for (;;) {
        uint32_t signature = 0;
        if (ReadSignature(&signature) != SFX_OK) {
            Archive.status = SFX_ERR_IO;
            break;
        }
        if (signature == SIG_CENTRAL_HEADER) {
            CentralHeader header;
            char name[SFX_PATH_MAX];
            Archive.status = ReadCentralHeader(&header, name);
            if (Archive.status != SFX_OK) break;
            // More entries than the count can hold would be counted wrongly.
            if (catalog->count == kMaxEntries) {
                Archive.status = SFX_ERR_BAD_DATA;
                break;
            }
            if (!AppendCatalogEntry(catalog, &header, name)) {
                Archive.status = SFX_ERR_NOMEM;
                break;
            }
        } else if (signature == EndRecordSignature()) {
            Archive.status = SFX_OK;
            break;
        } else {
            Archive.status = SFX_ERR_BAD_DATA;
            break;
        }
    }
    if (Archive.status == SFX_OK && catalog->count == 0) Archive.status = SFX_ERR_EMPTY;
}

void FreeCatalog(Catalog* catalog) {
    CatalogNode* entry = catalog->head;
    while (entry != nullptr) {
        CatalogNode* next = entry->next;
        MemFree(entry);
        entry = next;
    }
    ClearCatalog(catalog);
}

bool AppendCatalogEntry(Catalog* catalog, const CentralHeader* header, const char* name) {
    CatalogNode* entry = static_cast<CatalogNode*>(MemAlloc(sizeof(CatalogNode)));
    if (entry == nullptr) return false;
    MemFill(&entry->entry, 0, sizeof(CatalogEntry));
    MemCopy(&entry->entry.header, header, sizeof(CentralHeader));
    StrCopyMax(entry->name, name, SFX_PATH_MAX - 1);
    entry->entry.compressedSize = header->compressedSize;
    entry->entry.uncompressedSize = header->uncompressedSize;
    entry->entry.localHeaderOffset = header->localHeaderOffset;
    entry->entry.name = entry->name;
    entry->entry.nameLength = StrLength(entry->name);
    entry->entry.folder = IsFolderEntry(header, entry->name, entry->entry.nameLength);
    entry->next = nullptr;
    if (catalog->head == nullptr)
        catalog->head = entry;
    else
        catalog->tail->next = entry;
    catalog->tail = entry;
    ++catalog->count;
    return true;
}

SfxStatus ReadCentralHeader(CentralHeader* header, char* name) {
    if (FileRead(header, sizeof(CentralHeader), Archive.archiveHandle) != int32_t(sizeof(CentralHeader)))
        return SFX_ERR_IO;
    SfxStatus status = ReadEntryName(header->nameLength, name, 255, header->flags);
    if (status != SFX_OK) return status;
    status = SkipBytes(header->extraLength);
    if (status != SFX_OK) return status;
    if (header->commentLength != 0) return SkipBytes(header->commentLength);
    return SFX_OK;
}

// Names are stored in the OEM code page unless flag bit 11 marks them as
// UTF-8; either way they are held in ANSI. A name longer than maximum is cut,
// and the archive position always ends behind the whole stored name.
SfxStatus ReadEntryName(uint16_t nameLength, char* dest, uint8_t maximum, uint16_t flags) {
    uint16_t count = nameLength < maximum ? nameLength : maximum;
    char work[261];
    MemFill(work, 0, sizeof(work));
    int32_t done = FileRead(work, count, Archive.archiveHandle);
    if (flags & ZIP_FLAG_UTF8)
        Utf8ToAnsi(work, dest, count + 1);
    else
        OemToAnsi(work, dest);
    dest[count] = 0;
    if (done != int32_t(count)) return SFX_ERR_IO;
    return SkipBytes(uint32_t(nameLength - count));
}

SfxStatus SkipBytes(uint32_t count) {
    return FileSeek(Archive.archiveHandle, count, 1) == -1 ? SFX_ERR_IO : SFX_OK;
}

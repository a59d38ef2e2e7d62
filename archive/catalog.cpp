// The catalogue: the central directory read once into one block, every
// record checked there, and the entries decoded from the block as the run
// walks them. Nothing is allocated per entry, so memory grows only with the
// directory, which cannot be larger than the file.
#include "archive/catalog.h"
#include "codecs/crc32.h"
#include "support/file_layer.h"
#include "support/platform.h"
#include "support/str_util.h"

namespace {

const uint32_t CENTRAL_RECORD_SIZE = 46;   // signature and CentralHeader
const uint32_t ALL_ONES = 0xFFFFFFFF;      // "see the Zip64 field"

// MS-DOS marks a folder with attribute 0x10; Unix keeps its mode in the high
// 16 bits of the external attributes. An entry with data stays a file.
const uint32_t DOS_FOLDER = 0x10;
const uint16_t HOST_UNIX = 3;
const uint16_t HOST_MACOS = 19;

// The decoded name of the entry handed out last: up to 65,535 stored bytes,
// each of which may become three bytes of UTF-8.
char EntryName[3 * 0xFFFF + 1];

uint64_t Load(const uint8_t* p, uint32_t bytes) {
    uint64_t value = 0;
    while (bytes-- != 0) value = value << 8 | p[bytes];
    return value;
}

bool IsFolderEntry(const CatalogEntry* entry) {
    const CentralHeader& h = entry->header;
    uint32_t length = entry->nameLength;
    if (length != 0 && (entry->name[length - 1] == '/' || entry->name[length - 1] == '\\')) return true;
    if (entry->uncompressedSize != 0) return false;
    if (h.externalAttributes & DOS_FOLDER) return true;
    return (h.versionMadeBy >> 8) == HOST_UNIX && (h.externalAttributes >> 28) == 4;
}

// Each size or offset whose header field is all ones (the disk number: 0xFFFF)
// takes the next value of the Zip64 field, in the order the format defines.
// false when the field is too short for them: a record that lies.
bool TakeZip64(CatalogEntry* entry, const uint8_t* data, uint32_t length) {
    uint64_t* fields[3] = {&entry->uncompressedSize, &entry->compressedSize, &entry->localHeaderOffset};
    for (uint64_t* field : fields) {
        if (*field != ALL_ONES) continue;
        if (length < 8) return false;
        *field = Load(data, 8);
        data += 8;
        length -= 8;
    }
    return entry->header.diskStart != 0xFFFF || length >= 4;
}

// Names as their archive means them: UTF-8 when flag bit 11 says so or an
// Info-ZIP Unicode path field stands for the name (text is then that field);
// a name written on Unix or macOS is UTF-8 when it is valid UTF-8, as
// Info-ZIP writes it there; any other name is in the OEM code page.
void DecodeName(CatalogEntry* entry, const uint8_t* text, uint32_t length, uint32_t codePage) {
    uint32_t host = entry->header.versionMadeBy >> 8;
    if (codePage == TEXT_UTF8 || !(host == HOST_UNIX || host == HOST_MACOS) ||
        !TextToUtf8(EntryName, text, length, TEXT_UTF8, &entry->nameLength))
        TextToUtf8(EntryName, text, length, codePage, &entry->nameLength);
    entry->name = EntryName;
}

// Decodes the record at catalog->next into catalog->entry and moves next
// behind it. SFX_ERR_BAD_DATA for anything but a whole central header with
// fields that fit.
SfxStatus DecodeNext(Catalog* catalog) {
    CatalogEntry* entry = &catalog->entry;
    MemFill(entry, 0, sizeof *entry);
    const uint8_t* record = catalog->directory + catalog->next;
    uint32_t left = catalog->size - catalog->next;
    if (left < CENTRAL_RECORD_SIZE || Load(record, 4) != SIG_CENTRAL_HEADER) return SFX_ERR_BAD_DATA;
    MemCopy(&entry->header, record + 4, sizeof(CentralHeader));
    const CentralHeader& h = entry->header;
    uint32_t total = CENTRAL_RECORD_SIZE + h.nameLength + h.extraLength + h.commentLength;
    if (total > left) return SFX_ERR_BAD_DATA;
    catalog->next += total;
    entry->compressedSize = h.compressedSize;
    entry->uncompressedSize = h.uncompressedSize;
    entry->localHeaderOffset = h.localHeaderOffset;

    const uint8_t* name = record + CENTRAL_RECORD_SIZE;
    const uint8_t* extra = name + h.nameLength;
    const uint8_t* text = name;
    uint32_t textLength = h.nameLength;
    uint32_t codePage = (h.flags & ZIP_FLAG_UTF8) ? TEXT_UTF8 : CODE_PAGE_OEM;
    // A field cut short by the end of the extra data ends the walk: what
    // stands before it is still read.
    for (uint32_t at = 0; at + 4 <= h.extraLength;) {
        uint32_t id = uint32_t(Load(extra + at, 2));
        uint32_t length = uint32_t(Load(extra + at + 2, 2));
        const uint8_t* data = extra + at + 4;
        at += 4 + length;
        if (at > h.extraLength) break;
        if (id == EXTRA_ZIP64) {
            if (!TakeZip64(entry, data, length)) return SFX_ERR_BAD_DATA;
        } else if (id == EXTRA_UNICODE_PATH && length > 5 && data[0] == 1) {
            // Only a field written for this very name counts: a tool that
            // renamed the entry without knowing the field leaves it stale.
            uint32_t crc = 0xFFFFFFFF;
            Crc32Update(crc, name, h.nameLength);
            if (~crc == Load(data + 1, 4)) {
                text = data + 5;
                textLength = length - 5;
                codePage = TEXT_UTF8;
            }
        } else if (id == EXTRA_AES && length >= 7 && data[2] == 'A' && data[3] == 'E') {
            entry->aesVersion = uint16_t(Load(data, 2));
            entry->aesStrength = data[4];
            entry->aesMethod = uint16_t(Load(data + 5, 2));
        }
    }
    DecodeName(entry, text, textLength, codePage);
    entry->localHeaderOffset += uint64_t(catalog->shift);
    entry->folder = IsFolderEntry(entry);
    // No file holds an offset this large: a Zip64 field that lies, which
    // every position computed from it would carry further.
    return entry->localHeaderOffset >> 62 ? SFX_ERR_BAD_DATA : SFX_OK;
}

SfxStatus ReadDirectory(Catalog* catalog) {
    // The end record's signature; the directory ends there, or where the
    // Zip64 end record stands before it.
    int64_t end = Archive.endRecordPos - 4;
    EndRecord record;
    if (!ReadArchiveAt(Archive.endRecordPos, &record, sizeof record)) return SFX_ERR_IO;
    uint64_t count = record.entriesTotal;
    uint64_t size = record.centralSize;
    uint64_t offset = record.centralOffset;
    Zip64Tail tail;
    if (end >= int64_t(sizeof tail) && ReadArchiveAt(end - int64_t(sizeof tail), &tail, sizeof tail) &&
        tail.locatorSignature == SIG_ZIP64_LOCATOR) {
        if (tail.signature != SIG_ZIP64_END_RECORD) return SFX_ERR_BAD_DATA;
        count = tail.entriesTotal;
        size = tail.centralSize;
        offset = tail.centralOffset;
        end -= int64_t(sizeof tail);
    }
    // A directory that claims more than the file holds before its end is
    // refused before anything is allocated for it.
    if (size > uint64_t(end)) return SFX_ERR_BAD_DATA;
    if (size >> 31) return SFX_ERR_NOMEM;
    if (count > uint32_t(size) / CENTRAL_RECORD_SIZE) return SFX_ERR_BAD_DATA;
    // Where the directory really stands against where the end record says
    // it does: an archive joined behind a program without adjusted offsets
    // is off by the program's length throughout.
    int64_t start = end - int64_t(size);
    catalog->shift = start - int64_t(offset);
    catalog->directory = static_cast<uint8_t*>(MemAlloc(uint32_t(size)));
    if (catalog->directory == nullptr) return SFX_ERR_NOMEM;
    if (!ReadArchiveAt(start, catalog->directory, uint32_t(size))) return SFX_ERR_IO;
    catalog->size = uint32_t(size);
    for (catalog->next = 0; catalog->next < catalog->size; ++catalog->count) {
        SfxStatus status = DecodeNext(catalog);
        if (status != SFX_OK) return status;
        const CatalogEntry& e = catalog->entry;
        // With offsets shifted, the first record must meet a local header
        // there, or the difference does not make the records line up.
        uint32_t signature = 0;
        if (catalog->count == 0 && catalog->shift != 0 &&
            (!ReadArchiveAt(int64_t(e.localHeaderOffset), &signature, 4) || signature != SIG_LOCAL_HEADER))
            return SFX_ERR_BAD_DATA;
    }
    return catalog->count == 0 ? SFX_ERR_EMPTY : SFX_OK;
}

}  // namespace

bool ReadArchiveAt(int64_t position, void* buffer, uint32_t count) {
    return position >= 0 && FileSeek(Archive.archiveHandle, position, 0) == position &&
           FileRead(buffer, count, Archive.archiveHandle) == int32_t(count);
}

void ClearCatalog(Catalog* catalog) { MemFill(catalog, 0, sizeof *catalog); }

SfxStatus ReadCatalog(Catalog* catalog) {
    ClearCatalog(catalog);
    SfxStatus status = ReadDirectory(catalog);
    if (status != SFX_OK) FreeCatalog(catalog);
    catalog->next = 0;
    catalog->status = status;
    return status;
}

void FreeCatalog(Catalog* catalog) {
    MemFree(catalog->directory);
    ClearCatalog(catalog);
}

const CatalogEntry* NextCatalogEntry(Catalog* catalog) {
    if (catalog->next >= catalog->size) return nullptr;
    DecodeNext(catalog);   // every record was checked by ReadCatalog
    return &catalog->entry;
}

void RewindCatalog(Catalog* catalog) { catalog->next = 0; }

// The catalogue: the central directory read into a list, in file order.
#pragma once
#include "archive/archive_state.h"

struct CatalogNode {
    CatalogNode* next;
    CatalogEntry entry;         // its name points at name below
    char name[SFX_PATH_MAX];    // ANSI, at most 255 characters, slashes as stored
};

struct Catalog {
    CatalogNode* head;
    CatalogNode* tail;
    CatalogNode* cursor;        // the entry NextCatalogEntry handed out last
    uint32_t count;
};

void ClearCatalog(Catalog* catalog);
void ReadCatalog(Catalog* catalog);     // outcome in Archive.status
void FreeCatalog(Catalog* catalog);
// The entries in central-directory order: the first call after ReadCatalog
// or RewindCatalog hands out the first entry, each further call the next one,
// null after the last. An entry stays valid until the catalogue is freed.
const CatalogEntry* NextCatalogEntry(Catalog* catalog);
void RewindCatalog(Catalog* catalog);
bool AppendCatalogEntry(Catalog* catalog, const CentralHeader* header, const char* name);
SfxStatus ReadCentralHeader(CentralHeader* header, char* name);
// Reads nameLength bytes at the archive's position; keeps at most maximum of
// them, converted to ANSI from UTF-8 (flags bit 11) or from the OEM code page.
SfxStatus ReadEntryName(uint16_t nameLength, char* dest, uint8_t maximum, uint16_t flags);
SfxStatus SkipBytes(uint32_t count);

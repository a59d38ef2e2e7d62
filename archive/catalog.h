// The catalogue: the central directory read into a list, in file order.
#pragma once
#include "archive/archive_state.h"

struct CatalogEntry {
    CatalogEntry* next;
    CentralHeader header;
    char name[SFX_PATH_MAX];    // ANSI, at most 255 characters, slashes as stored
    uint8_t selected;
};

struct Catalog {
    CatalogEntry* head;
    CatalogEntry* tail;
    uint16_t count;
};

void ClearCatalog(Catalog* catalog);
void ReadCatalog(Catalog* catalog);     // outcome in Archive.status
void FreeCatalog(Catalog* catalog);
bool AppendCatalogEntry(Catalog* catalog, const CentralHeader* header, const char* name);
SfxStatus ReadCentralHeader(CentralHeader* header, char* name);
// Reads nameLength bytes at the archive's position; keeps at most maximum of
// them, converted to ANSI from UTF-8 (flags bit 11) or from the OEM code page.
SfxStatus ReadEntryName(uint16_t nameLength, char* dest, uint8_t maximum, uint16_t flags);
SfxStatus SkipBytes(uint32_t count);

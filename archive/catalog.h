// The catalogue: the central directory, read whole into one block, and its
// entries decoded from it one at a time, in file order.
#pragma once
#include "archive/archive_state.h"

// Reads the central directory of the open archive (the end record found by
// FindEndRecord, and the Zip64 end record where its locator stands before
// it) into the catalogue and checks every record once. The outcome is
// returned and kept in catalog->status: SFX_OK, SFX_ERR_IO, SFX_ERR_NOMEM,
// SFX_ERR_BAD_DATA (a foreign record, a directory that claims more than the
// file holds, Zip64 fields that do not fit, an archive joined behind data
// whose records do not line up) or SFX_ERR_EMPTY.
SfxStatus ReadCatalog(Catalog* catalog);
void ClearCatalog(Catalog* catalog);
void FreeCatalog(Catalog* catalog);
// The entries in central-directory order: the first call after ReadCatalog
// or RewindCatalog decodes the first entry, each further call the next one;
// null after the last. The entry and its name stay valid until the next call.
const CatalogEntry* NextCatalogEntry(Catalog* catalog);
void RewindCatalog(Catalog* catalog);
// Reads exactly count bytes of the archive at position; false otherwise.
bool ReadArchiveAt(int64_t position, void* buffer, uint32_t count);

// Extraction of one catalogue entry into one file.
#pragma once
#include "archive/archive_state.h"

void ExtractEntry(const CatalogEntry* entry, const char* targetPath);  // outcome in Archive.status
SfxStatus ReadLocalHeader(LocalHeader* record);
uint32_t SetEntryTime(FileHandle file, uint16_t dosDate, uint16_t dosTime);

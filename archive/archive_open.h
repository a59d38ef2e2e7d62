// Opening the program file as an archive and the backward search for the
// end-of-central-directory record.
#pragma once
#include "archive/archive_state.h"

// Opens the program file, finds its end record and reads the catalogue
// (Archive.catalog, with its own status) and the configuration block.
void OpenArchive(const char* path);     // outcome in Archive.status
void CloseArchive();
void FindEndRecord();                   // outcome in Archive.status
uint16_t FindBytes(const uint8_t* buffer, uint16_t length, const uint8_t* pattern, uint16_t patternLength);

// Opening the program file as an archive and the backward search for the
// end-of-central-directory record.
#pragma once
#include "archive/archive_state.h"

void OpenArchive(const char* path);     // outcome in Archive.status
void CloseArchive();
void FindEndRecord();                   // outcome in Archive.status
uint16_t FindBytes(const uint8_t* buffer, uint16_t length, const uint8_t* pattern, uint16_t patternLength);
SfxStatus ReadEndRecord(EndRecord* record, uint8_t** comment);
SfxStatus SeekCentralDirectory(const EndRecord* record);
SfxStatus ReadSignature(uint32_t* signature);

// The configuration block: default target folder and command, stored in the
// 514 bytes that end where the first entry's local header begins.
#pragma once
#include "archive/archive_state.h"

// Takes the block before the first entry of the catalogue that OpenArchive
// read; the fields stay empty when there is none. A field that starts with
// the UTF-8 byte order mark is UTF-8, any other one code page 1252.
void ReadConfigBlock();
// Copies the configured fields (UTF-8) into buffers of CONFIG_TEXT_SIZE bytes.
void GetConfigBlock(char* targetFolder, char* command);

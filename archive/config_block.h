// The configuration block: default target folder and command, stored in the
// 514 bytes that end where the first entry's local header begins.
#pragma once
#include "archive/archive_state.h"

// Takes the block before the first entry of the catalogue that OpenArchive
// read; the fields stay empty when there is none.
void ReadConfigBlock();
void GetConfigBlock(char* targetFolder, char* command);

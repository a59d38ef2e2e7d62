// The configuration block: default target folder and command, stored in the
// 514 bytes that end where the first entry's local header begins.
#pragma once
#include "archive/archive_state.h"

void ReadConfigBlock();
bool LocateFirstEntry();
void GetConfigBlock(char* targetFolder, char* command);

// Creation of an entry's output file with the missing directories of its path.
#pragma once
#include "archive/archive_state.h"

void CreateOutputFile(const char* targetPath);   // outcome in Archive.status
char* AppendBackslash(const char* path, char* result);

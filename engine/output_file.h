// Creation of an entry's output file with the missing directories of its path.
#pragma once
#include "archive/archive_state.h"

// Creates a new temporary file in the folder of targetPath (its handle in
// Archive.outputHandle, its path in Archive.outputTempPath), making the
// missing directories of that folder on the way. The outcome is in
// Archive.status: SFX_OK or SFX_ERR_IO. The target itself is not touched;
// the caller puts the temporary file in its place once the entry is good.
void CreateOutputFile(const char* targetPath);
char* AppendBackslash(const char* path, char* result);
// Temporary names are this long: "~" and four hex digits.
const uint32_t TEMP_NAME_LENGTH = 5;
// Writes into result (SFX_PATH_BYTES) a temporary name in the folder of path
// under which no file exists now; false when none of the names tried is free.
bool PickUnusedNameBeside(const char* path, char* result);

// How often CreateOutputFile tried to create the file since the counter was
// last set to 0; lets the tests follow the directory walk.
extern uint32_t OutputCreateAttempts;

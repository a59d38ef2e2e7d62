// The one process-wide record of the open archive and the running extraction.
// Every OpenArchive resets the fields that belong to a run.
#pragma once
#include "support/sfx_types.h"
#include "archive/catalog_entry.h"

// Callbacks between the engine and the front-end (the dialogs on Windows,
// the console on the host).
//   ConfirmEntryFn: 1 skip the entry, 2 abort the run, anything else extract.
//   ProgressFn: false asks the run to stop (SFX_USER_ABORT).
//   EntryDoneFn: true lets the run go on with the next entry.
//   PasswordFn: non-zero when the user confirmed; the buffer (300 bytes) then
//               holds the password. 0 when cancelled, buffer unchanged.
typedef int (*ConfirmEntryFn)(const CatalogEntry* entry, const char* targetPath);
typedef bool (*ProgressFn)(uint64_t done, uint64_t total);
typedef bool (*EntryDoneFn)(const CatalogEntry* entry, const char* targetPath, SfxStatus status);
typedef int (*PasswordFn)(char* password, const char* entryName);

// Answers of ConfirmEntryFn.
const int CONFIRM_EXTRACT = 0;
const int CONFIRM_SKIP = 1;
const int CONFIRM_ABORT = 2;
// Extract, and the user agreed that this read-only, hidden or system file is
// replaced (it is changed only once its replacement is complete).
const int CONFIRM_REPLACE_PROTECTED = 3;
// End the run with SFX_ERR_EXISTS: an existing file that may neither be
// replaced nor kept, and nobody to ask.
const int CONFIRM_REFUSE = 4;

// A configuration field's 256 characters as UTF-8, and the terminator.
const uint32_t CONFIG_TEXT_SIZE = 3 * 256 + 1;

const int PASSWORD_SIZE = 300;

struct ArchiveState {
    SfxStatus status;

    // Open archive and end-record search.
    FileHandle archiveHandle;   // FILE_NONE when not open
    int64_t endRecordPos;       // offset of the EndRecord (behind its signature); -1 unknown
    Catalog catalog;            // read by OpenArchive, freed by CloseArchive

    // Configuration block.
    char configTarget[CONFIG_TEXT_SIZE];    // UTF-8
    char configCommand[CONFIG_TEXT_SIZE];
    uint64_t firstLocalHeader;  // where the first entry's local header really stands

    // Extraction run.
    char targetFolder[SFX_PATH_BYTES];   // UTF-8, ends in a backslash once set
    ConfirmEntryFn confirmEntry;
    ProgressFn progress;
    EntryDoneFn entryDone;

    // Entry being extracted.
    CatalogEntry entry;         // copy; its name stays valid while the entry is extracted
    FileHandle outputHandle;
    char outputTempPath[SFX_PATH_BYTES];   // temporary file written before it replaces the target
    uint32_t replaceProtected;  // set: the entry may replace a read-only, hidden or system file
    uint32_t crc;               // running CRC-32 register, 0xFFFFFFFF at entry start
    uint64_t bytesWritten;

    // The password of the run: typed once, tried first for every later entry.
    char password[PASSWORD_SIZE];
    PasswordFn passwordFn;
};

extern ArchiveState Archive;

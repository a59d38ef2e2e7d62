// Opening the program file as an archive, and the backward search for the
// end-of-central-directory record.
#include "archive/archive_open.h"
#include "archive/catalog.h"
#include "archive/config_block.h"
#include "engine/front_end.h"
#include "support/file_layer.h"
#include "support/str_util.h"

namespace {

const int SEARCH_WINDOW = 64;
const int SEARCH_STEP = 60;   // each further window: 60 new bytes + 4 carried ones

// Every opening starts without a password, callbacks or configuration, so
// nothing of an earlier run leaks into this one.
void ResetRunFields() {
    Archive.passwordFn = FrontAskPassword;
    MemFill(Archive.password, 0, sizeof(Archive.password));
    Archive.confirmEntry = nullptr;
    Archive.entryDone = nullptr;
    Archive.progress = nullptr;
    MemFill(Archive.configTarget, 0, sizeof(Archive.configTarget));
    MemFill(Archive.configCommand, 0, sizeof(Archive.configCommand));
    MemFill(Archive.targetFolder, 0, sizeof(Archive.targetFolder));
}

bool ArchiveIsOpen() {
    // 0 is the handle of the zero-initialised record before the first opening.
    return Archive.archiveHandle != FILE_NONE && Archive.archiveHandle != 0;
}

}  // namespace

void OpenArchive(const char* path) {
    ResetRunFields();
    // A handle left open by a caller that skipped CloseArchive is not leaked.
    CloseArchive();
    FileHandle handle = FileOpen(path, "rb");
    if (handle == FILE_NONE) {
        Archive.status = SFX_ERR_IO;
        return;
    }
    Archive.archiveHandle = handle;
    Archive.status = SFX_OK;
    Archive.endRecordPos = -1;
    FindEndRecord();
    if (Archive.status != SFX_OK) {
        CloseArchive();
        return;
    }
    // The central directory is read once, for the configuration block and
    // for the run; a damaged one leaves the configuration empty and is the
    // run's failure.
    if (ReadCatalog(&Archive.catalog) == SFX_OK) ReadConfigBlock();
}

void CloseArchive() {
    if (ArchiveIsOpen()) FileClose(Archive.archiveHandle);
    Archive.archiveHandle = FILE_NONE;
    FreeCatalog(&Archive.catalog);
}

// The end record is the last thing in a ZIP file except for its comment, so
// the search goes backwards in small windows; each window after the first
// carries the previous window's first 4 bytes, so that a signature lying
// across the boundary is still seen whole.
void FindEndRecord() {
    FileHandle file = Archive.archiveHandle;
    if (Archive.endRecordPos == -1) {
        uint8_t buffer[SEARCH_WINDOW];
        uint32_t signatureValue = EndRecordSignature();
        const uint8_t* signature = (const uint8_t*)&signatureValue;
        int64_t size = FileSize(file);
        int64_t windowStart = size > SEARCH_WINDOW ? size - SEARCH_WINDOW : 0;
        if (FileSeek(file, windowStart, 0) == -1) {
            Archive.status = SFX_ERR_IO;
            return;
        }
        int32_t n = FileRead(buffer, SEARCH_WINDOW, file);
        if (n == -1) {
            Archive.status = SFX_ERR_IO;
            return;
        }
        uint16_t index = FindBytes(buffer, uint16_t(n), signature, 4);
        while (index == 0xFFFF) {
            if (windowStart <= 0) break;
            MemCopy(buffer + SEARCH_STEP, buffer, 4);
            windowStart -= SEARCH_STEP;
            if (windowStart < 0) windowStart = 0;
            if (FileSeek(file, windowStart, 0) == -1) {
                Archive.status = SFX_ERR_IO;
                return;
            }
            n = FileRead(buffer, SEARCH_STEP, file);
            if (n == -1) {
                Archive.status = SFX_ERR_IO;
                return;
            }
            if (n < SEARCH_STEP) MemMove(buffer + n, buffer + SEARCH_STEP, 4);
            if (n != 0) index = FindBytes(buffer, uint16_t(n + 4), signature, 4);
        }
        if (index == 0xFFFF) {
            Archive.status = SFX_ERR_NO_ARCHIVE;
            return;
        }
        Archive.endRecordPos = windowStart + index + 4;
    }
    Archive.status = FileSeek(file, Archive.endRecordPos, 0) == -1 ? SFX_ERR_IO : SFX_OK;
}

uint16_t FindBytes(const uint8_t* buffer, uint16_t length, const uint8_t* pattern, uint16_t patternLength) {
    if (buffer == nullptr || pattern == nullptr || length == 0 || patternLength == 0 ||
        patternLength > length)
        return 0xFFFF;
    for (uint16_t start = 0; start <= length - patternLength; ++start) {
        uint16_t i = 0;
        while (i < patternLength && buffer[start + i] == pattern[i]) ++i;
        if (i == patternLength) return start;
    }
    return 0xFFFF;
}

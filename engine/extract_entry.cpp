// Extraction of one catalogue entry into one file.
//
// Everything that governs the extraction (version, flags, method, time,
// sizes, CRC-32) comes from the central directory; of the local header only
// the lengths of name and extra field are used, to find the data, and the
// name, which the password prompt shows.
//
// The entry is written to a temporary file beside its target and put in
// place only when it is complete and correct, so that a cancel, a wrong
// password, corrupt data or a failed replacement never costs an existing
// file its content.
#include "engine/extract_entry.h"
#include "archive/catalog.h"
#include "codecs/cipher.h"
#include "codecs/crc32.h"
#include "codecs/inflate.h"
#include "engine/input_reader.h"
#include "engine/output_file.h"
#include "support/file_layer.h"
#include "support/platform.h"
#include "support/str_util.h"

// Encrypted stored data is copied in bigger chunks; the buffer lives as long
// as the process so that no entry has to allocate it.
static uint8_t EncryptedCopyBuffer[ENCRYPTED_COPY_SIZE];

static const uint16_t METHOD_STORED = 0;
static const uint16_t METHOD_DEFLATED = 8;
static const int ENCRYPTION_HEADER_SIZE = 12;

uint32_t SetEntryTime(FileHandle file, uint16_t dosDate, uint16_t dosTime) {
    return SetFileDosTime(file, dosDate, dosTime);
}

// The local name is passed over: the catalogue's name is the entry's name.
SfxStatus ReadLocalHeader(LocalHeader* record) {
    int32_t got = FileRead(record, sizeof(LocalHeader), Archive.archiveHandle);
    if (got != (int32_t)sizeof(LocalHeader))
        return SFX_ERR_IO;
    int64_t skip = (int64_t)record->nameLength + record->extraLength;
    return FileSeek(Archive.archiveHandle, skip, 1) == -1 ? SFX_ERR_IO : SFX_OK;
}

// Writes one chunk of plain data: CRC, output limit, file. A stored entry
// never writes more than it declares, so a lying size cannot fill the disk.
static void WriteChunk(const uint8_t* data, uint32_t length) {
    if (length > Archive.entry.uncompressedSize - Archive.bytesWritten) {
        Archive.status = SFX_ERR_BAD_DATA;
        return;
    }
    Crc32Update(Archive.crc, data, (uint16_t)length);
    int32_t written = FileWrite(data, length, Archive.outputHandle);
    Archive.status = (written >= 0 && (uint32_t)written == length) ? SFX_OK : SFX_ERR_IO;
    Archive.bytesWritten += length;
}

// Reads exactly n bytes of entry data: an archive cut short ends the entry
// with an I/O error instead of repeating the read.
static bool ReadChunk(uint8_t* buffer, uint32_t n) {
    int32_t got = FileRead(buffer, n, Archive.archiveHandle);
    if (got >= 0 && (uint32_t)got == n)
        return true;
    Archive.input.failed = 1;
    Archive.status = SFX_ERR_IO;
    return false;
}

void CopyStored() {
    uint32_t remaining = Archive.entry.compressedSize;
    uint8_t* buffer = Archive.input.buffer;
    // The body runs at least once: an empty entry makes one empty write and
    // one progress report of 0 of 0.
    do {
        uint32_t n = remaining < (uint32_t)INPUT_BUFFER_SIZE ? remaining : (uint32_t)INPUT_BUFFER_SIZE;
        if (!ReadChunk(buffer, n))
            return;
        WriteChunk(buffer, n);
        if (Archive.status != SFX_OK)
            return;
        remaining -= n;
        if (Archive.progress && !Archive.progress(Archive.bytesWritten, Archive.entry.uncompressedSize))
            Archive.status = SFX_USER_ABORT;
    } while (remaining != 0 && Archive.status == SFX_OK);
}

void CopyStoredEncrypted(int64_t dataPosition) {
    if (FileSeek(Archive.archiveHandle, dataPosition + ENCRYPTION_HEADER_SIZE, 0) < 0) {
        Archive.status = SFX_ERR_IO;
        return;
    }
    uint32_t remaining = Archive.entry.compressedSize - ENCRYPTION_HEADER_SIZE;
    do {
        uint32_t n = remaining < (uint32_t)ENCRYPTED_COPY_SIZE ? remaining : (uint32_t)ENCRYPTED_COPY_SIZE;
        if (!ReadChunk(EncryptedCopyBuffer, n))
            return;
        DecryptInPlace(EncryptedCopyBuffer, n);
        WriteChunk(EncryptedCopyBuffer, n);
        remaining -= n;
    } while (remaining != 0 && Archive.status == SFX_OK);
}

// Puts the finished temporary file in place of the target, or drops it.
static void SettleOutput(const char* targetPath) {
    SfxStatus status = Archive.status;
    bool keep = status == SFX_OK;
    // Data that fails its CRC check is still the best copy there is when
    // nothing stood at the target; an existing file is never traded for it.
    if (status == SFX_ERR_CRC && !FileExists(targetPath))
        keep = true;
    if (keep) {
        // The replaced file may stand under a second unused name on the way.
        char folder[SFX_PATH_MAX];
        char backup[264];
        StrCopyMax(folder, Archive.outputTempPath, StrLength(Archive.outputTempPath) - TEMP_NAME_LENGTH);
        if (PickUnusedName(folder, backup) &&
            FileReplace(Archive.outputTempPath, targetPath, backup, Archive.replaceProtected != 0) == 0)
            return;
    }
    if (keep && status == SFX_OK)
        Archive.status = SFX_ERR_CREATE;
    // A temporary file that cannot be removed is reported rather than left
    // behind unnoticed.
    if (FileDelete(Archive.outputTempPath) != 0)
        Archive.status = SFX_ERR_IO;
}

void ExtractEntry(const CatalogEntry* entry, const char* targetPath) {
    const CentralHeader* header = &entry->header;
    Archive.status = SFX_OK;
    Archive.entry = *entry;
    Archive.outputHandle = FILE_NONE;
    Archive.outputTempPath[0] = '\0';
    ResetInputReader(entry->compressedSize);
    Archive.bytesWritten = 0;
    Archive.crc = 0xFFFFFFFFu;

    uint16_t method = header->method;
    // Only stored and deflated data can be written; an entry of any other
    // method would become an empty or wrong file.
    if ((header->versionNeeded & 0xFF) > 45 || (method != METHOD_STORED && method != METHOD_DEFLATED)) {
        Archive.status = SFX_ERR_UNSUPPORTED;
        return;
    }
    bool encrypted = (header->flags & ZIP_FLAG_ENCRYPTED) != 0;
    Archive.input.encrypted = encrypted ? 1 : 0;
    if (encrypted && entry->compressedSize < (uint32_t)ENCRYPTION_HEADER_SIZE) {
        // Too short to hold even the encryption header.
        Archive.status = SFX_ERR_BAD_DATA;
        return;
    }

    Archive.input.buffer = (uint8_t*)MemAlloc(INPUT_BUFFER_SIZE);
    if (!Archive.input.buffer) {
        Archive.status = SFX_ERR_NOMEM;
        return;
    }
    int64_t savedPosition = FileTell(Archive.archiveHandle);

    LocalHeader local;
    int64_t dataPosition = -1;
    if (FileSeek(Archive.archiveHandle, (int64_t)entry->localHeaderOffset + 4, 0) < 0)
        Archive.status = SFX_ERR_IO;
    else
        Archive.status = ReadLocalHeader(&local);
    if (Archive.status == SFX_OK) {
        dataPosition = FileTell(Archive.archiveHandle);
        if (dataPosition < 0)
            Archive.status = SFX_ERR_IO;
    }

    // The password is settled before anything is created, so that a cancel
    // or a wrong password leaves no empty file and no existing one touched.
    // The first chunk is read before the check (with the encryption flag
    // clear, as stored): a cut-off archive is an I/O error, not a reason to
    // ask for the password again and again.
    if (Archive.status == SFX_OK && encrypted) {
        Archive.passwordCheckCrc = header->crc32;
        Archive.input.encrypted = 0;
        if (FillInput()) {
            if (UnlockEntry(entry->name)) {
                Archive.input.encrypted = 1;
                Archive.input.bytewiseDecrypt = 1;
            } else if (Archive.status == SFX_OK) {
                Archive.status = SFX_ERR_PASSWORD;
            }
        }
    }

    bool created = false;
    if (Archive.status == SFX_OK) {
        CreateOutputFile(targetPath);
        if (Archive.status == SFX_OK)
            created = true;
        else
            Archive.status = SFX_ERR_CREATE;
    }

    if (created) {
        if (method == METHOD_STORED) {
            if (encrypted)
                CopyStoredEncrypted(dataPosition);
            else
                CopyStored();
        } else if (method == METHOD_DEFLATED) {
            if (entry->uncompressedSize != 0)
                DecodeDeflatedEntry();
        }
        // Data that ends before its declared size is as incomplete as data
        // that would run past it: the file is not kept.
        if (Archive.status == SFX_OK && Archive.bytesWritten != entry->uncompressedSize)
            Archive.status = SFX_ERR_BAD_DATA;
        if (Archive.status == SFX_OK && (Archive.crc ^ 0xFFFFFFFFu) != header->crc32)
            Archive.status = SFX_ERR_CRC;
        if (Archive.status == SFX_OK || Archive.status == SFX_ERR_CRC)
            SetEntryTime(Archive.outputHandle, header->dosDate, header->dosTime);
        FileClose(Archive.outputHandle);
        Archive.outputHandle = FILE_NONE;
        SettleOutput(targetPath);
    }

    if (savedPosition < 0 || FileSeek(Archive.archiveHandle, savedPosition, 0) < 0) {
        if (Archive.status == SFX_OK)
            Archive.status = SFX_ERR_IO;
    }
    MemFree(Archive.input.buffer);
    Archive.input.buffer = 0;
}

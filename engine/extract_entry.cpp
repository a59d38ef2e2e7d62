// Extraction of one catalogue entry into one file.
//
// Everything that governs the extraction (version, flags, method, time,
// sizes, CRC-32) comes from the central directory; of the local header only
// the lengths of name and extra field are used, to find the data, and the
// name, which the password prompt shows.
//
// The entry is written to a temporary file beside its target and put in
// place only when it is complete and correct, so that a cancel, a wrong
// password, corrupt data, a CRC mismatch or a failed replacement never
// costs an existing file its content and never leaves a wrong one.
#include "engine/extract_entry.h"
#include "archive/catalog.h"
#include "codecs/cipher.h"
#include "codecs/winzip_aes.h"
#include "engine/entry_decode.h"
#include "engine/input_reader.h"
#include "engine/lzma_entry.h"
#include "engine/output_file.h"
#include "engine/unlock_entry.h"
#include "support/file_layer.h"
#include "support/platform.h"
#include "support/str_util.h"

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

// Puts the finished temporary file in place of the target, or drops it:
// whatever failed (a CRC mismatch too), nothing of the new data is kept
// and an existing target stays as it was.
static void SettleOutput(const char* targetPath) {
    if (Archive.status == SFX_OK) {
        // The replaced file may stand under a second unused name on the way.
        static char backup[SFX_PATH_BYTES];
        if (PickUnusedNameBeside(Archive.outputTempPath, backup) &&
            FileReplace(Archive.outputTempPath, targetPath, backup, Archive.replaceProtected != 0) == 0)
            return;
        Archive.status = SFX_ERR_CREATE;
    }
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
    Archive.bytesWritten = 0;
    Archive.crc = 0xFFFFFFFFu;

    uint16_t method = header->method;
    bool encrypted = (header->flags & ZIP_FLAG_ENCRYPTED) != 0;
    // In front of the data: the encryption header, or an AES entry's salt
    // and verifier; behind them an AES entry's authentication code.
    uint32_t around = ZIPCRYPTO_HEADER_SIZE;
    uint32_t codeSize = 0;
    uint8_t versionLimit = 45;
    if (method == METHOD_AES) {
        // AES-128, -192 or -256 (8, 12 or 16 bytes of salt), AE-1 or AE-2,
        // and the data's own method inside; 5.1 is the version AES needs.
        uint32_t saltSize = WinZipAesSaltSize(entry->aesStrength);
        method = entry->aesMethod;
        codeSize = WINZIP_AES_CODE_SIZE;
        around = saltSize + WINZIP_AES_VERIFIER_SIZE + WINZIP_AES_CODE_SIZE;
        versionLimit = 51;
        if (saltSize == 0 || entry->aesVersion - 1u > 1u || !encrypted) method = METHOD_AES;
    }
    if (method == METHOD_LZMA) versionLimit = LZMA_VERSION_NEEDED;
    // Only stored, deflated and LZMA data can be written; an entry of any
    // other method would become an empty or wrong file.
    if ((header->versionNeeded & 0xFF) > versionLimit ||
        (method != METHOD_STORED && method != METHOD_DEFLATED && method != METHOD_LZMA)) {
        Archive.status = SFX_ERR_UNSUPPORTED;
        return;
    }
    if (encrypted && entry->compressedSize < around) {
        // Too short to hold even what encryption puts around the data.
        Archive.status = SFX_ERR_BAD_DATA;
        return;
    }
    int64_t savedPosition = FileTell(Archive.archiveHandle);

    LocalHeader local;
    // An offset from a Zip64 field may be anything: one past what a file
    // position can be is a failed seek, not an overflow.
    uint64_t localData = entry->localHeaderOffset + 4;
    if (localData < 4 || localData > (uint64_t)INT64_MAX ||
        FileSeek(Archive.archiveHandle, (int64_t)localData, 0) < 0)
        Archive.status = SFX_ERR_IO;
    else
        Archive.status = ReadLocalHeader(&local);
    StartInput(entry->compressedSize - codeSize);

    // The password is settled before anything is created, so that a cancel
    // or a wrong password leaves no empty file and no existing one touched.
    // The first piece is read before the check: a cut-off archive is an I/O
    // error, not a reason to ask for the password again and again.
    if (Archive.status == SFX_OK && encrypted && ReadInput() && !UnlockEntry(entry->name) &&
        Archive.status == SFX_OK)
        Archive.status = SFX_ERR_PASSWORD;

    if (Archive.status == SFX_OK) {
        CreateOutputFile(targetPath);
        if (Archive.status != SFX_OK) {
            Archive.status = SFX_ERR_CREATE;
        } else {
            // An empty deflated or LZMA entry is not decoded: there is
            // nothing to get.
            if (method == METHOD_STORED || entry->uncompressedSize != 0)
                DecodeEntryData(method);
            // Data that end before their declared size are as incomplete as
            // data that would run past it.
            if (Archive.status == SFX_OK && Archive.bytesWritten != entry->uncompressedSize)
                Archive.status = SFX_ERR_BAD_DATA;
            // An AES entry's code vouches for its data; AE-2 stores 0 for
            // the CRC-32, AE-1 the real one.
            if (Archive.status == SFX_OK && codeSize != 0)
                AuthenticateInput();
            if (Archive.status == SFX_OK && (Archive.crc ^ 0xFFFFFFFFu) != header->crc32 &&
                !(codeSize != 0 && entry->aesVersion == 2))
                Archive.status = SFX_ERR_CRC;
            if (Archive.status == SFX_OK)
                SetEntryTime(Archive.outputHandle, header->dosDate, header->dosTime);
            FileClose(Archive.outputHandle);
            Archive.outputHandle = FILE_NONE;
            SettleOutput(targetPath);
        }
    }

    if (savedPosition < 0 || FileSeek(Archive.archiveHandle, savedPosition, 0) < 0) {
        if (Archive.status == SFX_OK)
            Archive.status = SFX_ERR_IO;
    }
}

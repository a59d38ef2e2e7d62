#include "tools/mksfx/pack/zip_pack.h"
#include "tools/mksfx/input/entry_names.h"
#include "tools/mksfx/pack/parallel_deflate.h"
#include "tools/mksfx/pack/parallel_lzma.h"
#include "tools/mksfx/pack/zip_aes.h"
#include "tools/mksfx/pack/zip_crypt.h"
#include "archive/zip_records.h"
#include "engine/lzma_entry.h"

#include <libdeflate.h>
#include <zlib.h>

namespace {

const size_t CHUNK = 256 * 1024;
// Compressed pieces wait in memory until this thread writes them; a batch of
// pieces holds at most about this much input.
const uint64_t BATCH_BYTES = 64u << 20;

// Files this large may reach 4 GiB once compressed data or the encryption
// header is counted (an entry that does not get smaller is stored).
const uint64_t ZIP64_FILE_SIZE = 0xFFFFFFFFull - 64;

void Put64(std::string& out, uint64_t value) {
    Put32(out, uint32_t(value));
    Put32(out, uint32_t(value >> 32));
}

// A 32-bit field, or all ones when the value stands in the Zip64 field.
uint32_t Field32(uint64_t value, bool zip64) { return zip64 ? ZIP64_ALL_ONES : uint32_t(value); }

bool IsAes(const PackedEntry& entry) { return entry.method == METHOD_AES; }

// The version a reader needs: LZMA's 6.3 above everything else an entry
// may carry (AES 5.1, Zip64 4.5).
uint16_t VersionNeeded(const PackedEntry& entry, bool zip64) {
    if (entry.realMethod == METHOD_LZMA) return LZMA_VERSION_NEEDED;
    return IsAes(entry) ? VERSION_NEEDED_AES : zip64 ? VERSION_NEEDED_ZIP64 : VERSION_NEEDED;
}

std::string ExtraField(const PackedEntry& entry) { return IsAes(entry) ? AesExtraField(entry.realMethod) : ""; }

std::string LocalHeaderBytes(const PackedEntry& entry) {
    bool zip64 = entry.zip64Local;
    std::string h;
    Put32(h, SIG_LOCAL_HEADER);
    Put16(h, VersionNeeded(entry, zip64));
    Put16(h, entry.flags);
    Put16(h, entry.method);
    Put16(h, entry.dosTime);
    Put16(h, entry.dosDate);
    Put32(h, IsAes(entry) ? 0 : entry.crc);
    Put32(h, Field32(entry.compressedSize, zip64));
    Put32(h, Field32(entry.uncompressedSize, zip64));
    Put16(h, uint32_t(entry.storedName.size()));
    std::string extra = ExtraField(entry);
    if (zip64) {
        // In a local header the Zip64 field holds both sizes.
        std::string field;
        Put16(field, EXTRA_ZIP64);
        Put16(field, 16);
        Put64(field, entry.uncompressedSize);
        Put64(field, entry.compressedSize);
        extra = field + extra;
    }
    Put16(h, uint32_t(extra.size()));
    return h + entry.storedName + extra;
}

// Reads a source file in chunks; it must still have the size it had when the
// inputs were collected.
struct SourceReader {
    FILE* file = nullptr;
    uint64_t left = 0;
    std::string path;
};

bool OpenSource(SourceReader& reader, const PackItem& item, std::string* error) {
    reader.path = item.sourcePath;
    reader.left = item.size;
    reader.file = fopen(item.sourcePath.c_str(), "rb");
    if (!reader.file) {
        *error = item.sourcePath + ": cannot be opened for reading";
        return false;
    }
    return true;
}

// Next chunk into buffer: *count bytes, 0 at the end. false on a read error or
// when the file turned out shorter than it was.
bool ReadSource(SourceReader& reader, std::vector<uint8_t>& buffer, size_t* count, std::string* error) {
    size_t want = reader.left < buffer.size() ? size_t(reader.left) : buffer.size();
    *count = want ? fread(buffer.data(), 1, want, reader.file) : 0;
    if (*count != want) {
        *error = reader.path + (ferror(reader.file) ? ": read error" : ": became shorter while it was packed");
        return false;
    }
    reader.left -= *count;
    return true;
}

void CloseSource(SourceReader& reader) {
    if (reader.file) fclose(reader.file);
    reader.file = nullptr;
}

// The CRC-32 of a source file and, when digest is given, its SHA-1.
bool SourceCrc(const PackItem& item, uint32_t* crc, uint8_t* digest, std::string* error) {
    SourceReader reader;
    if (!OpenSource(reader, item, error)) return false;
    std::vector<uint8_t> buffer(CHUNK);
    uint32_t reg = 0;
    Sha1 sha;
    Sha1Start(sha);
    size_t count;
    bool ok;
    while ((ok = ReadSource(reader, buffer, &count, error)) && count > 0) {
        reg = uint32_t(libdeflate_crc32(reg, buffer.data(), count));
        if (digest) Sha1Update(sha, buffer.data(), uint32_t(count));
    }
    CloseSource(reader);
    *crc = reg;
    if (digest) Sha1Finish(sha, digest);
    return ok;
}

// The entry being written: its header is in place, its data follows.
struct OpenEntry {
    PackedEntry entry;
    uint64_t dataStart = 0;
    ZipCipher cipher;
    WinZipAes aes;
    uint32_t crc = 0;           // of the data written so far
    std::vector<uint8_t> scratch;
};

bool WriteData(OutputFile& out, OpenEntry& open, const uint8_t* data, size_t count) {
    if (!(open.entry.flags & ZIP_FLAG_ENCRYPTED)) return WriteBytes(out, data, count);
    open.scratch.assign(data, data + count);
    if (IsAes(open.entry))
        WinZipAesEncrypt(open.aes, open.scratch.data(), uint32_t(count));
    else
        EncryptBytes(open.cipher, open.scratch.data(), count);
    return WriteBytes(out, open.scratch.data(), count);
}

// Writes the local header (sizes still unknown) and, for an encrypted entry,
// the encryption header: the traditional kind's check byte needs the CRC, an
// AES salt the content's digest, before any data.
bool StartEntry(OutputFile& out, const PackItem& item, const PackSettings& settings, uint16_t method,
                OpenEntry& open, std::string* error) {
    PackedEntry& entry = open.entry;
    entry.method = method;
    entry.realMethod = method;
    entry.uncompressedSize = item.size;
    entry.localOffset = out.position;
    entry.zip64Local = item.size >= ZIP64_FILE_SIZE;
    entry.externalAttributes = item.isFolder ? DOS_ATTRIBUTE_FOLDER : DOS_ATTRIBUTE_ARCHIVE;
    uint8_t digest[SHA1_DIGEST_SIZE];
    if (settings.encrypt && !item.isFolder) {
        entry.flags |= ZIP_FLAG_ENCRYPTED;
        if (settings.aes) entry.method = METHOD_AES;
        if (!SourceCrc(item, &entry.crc, settings.aes ? digest : nullptr, error)) return false;
    }
    if (!WriteBytes(out, LocalHeaderBytes(entry))) {
        *error = "cannot write " + out.path;
        return false;
    }
    open.dataStart = out.position;
    open.crc = 0;
    if (IsAes(entry)) {
        uint8_t salt[AES_SALT_SIZE];
        AesSaltFor(settings.password, entry.storedName, entry.realMethod, item.size, digest, salt);
        if (!WriteBytes(out, StartAesEntry(open.aes, settings.password, salt))) {
            *error = "cannot write " + out.path;
            return false;
        }
    } else if (entry.flags & ZIP_FLAG_ENCRYPTED) {
        uint8_t seed[11];
        HeaderBytesFor(settings.password, entry.storedName, entry.crc, uint32_t(entry.uncompressedSize), seed);
        if (!WriteBytes(out, StartEncryptedEntry(open.cipher, settings.password, entry.crc, seed))) {
            *error = "cannot write " + out.path;
            return false;
        }
    }
    return true;
}

// The bytes of an encrypted entry's data in front of what it encrypts.
uint32_t EncryptionHeaderSize(const PackedEntry& entry) {
    if (IsAes(entry)) return AES_SALT_SIZE + WINZIP_AES_VERIFIER_SIZE;
    return (entry.flags & ZIP_FLAG_ENCRYPTED) ? 12 : 0;
}

// Writes the file as it is behind the entry's headers.
bool WriteStoredData(OutputFile& out, const PackItem& item, OpenEntry& open, ProgressBar* progress,
                     std::string* error) {
    SourceReader reader;
    if (!OpenSource(reader, item, error)) return false;
    std::vector<uint8_t> buffer(CHUNK);
    size_t count;
    bool ok;
    while ((ok = ReadSource(reader, buffer, &count, error)) && count > 0) {
        open.crc = uint32_t(libdeflate_crc32(open.crc, buffer.data(), count));
        if (!WriteData(out, open, buffer.data(), count)) {
            *error = "cannot write " + out.path;
            ok = false;
            break;
        }
        if (progress) AdvanceProgress(*progress, count);
    }
    CloseSource(reader);
    return ok;
}

// Sizes and CRC into the local header; the entry joins the list.
bool FinishEntry(OutputFile& out, const PackItem& item, OpenEntry& open, std::vector<PackedEntry>* entries,
                 std::string* error) {
    PackedEntry& entry = open.entry;
    if ((entry.flags & ZIP_FLAG_ENCRYPTED) && open.crc != entry.crc) {
        *error = item.sourcePath + ": changed while it was packed";
        return false;
    }
    entry.crc = open.crc;
    if (IsAes(entry) && !WriteBytes(out, FinishAesEntry(open.aes))) {
        *error = "cannot write " + out.path;
        return false;
    }
    entry.compressedSize = out.position - open.dataStart;
    uint64_t next = out.position;
    if (!SeekOutput(out, entry.localOffset) || !WriteBytes(out, LocalHeaderBytes(entry)) || !SeekOutput(out, next)) {
        *error = "cannot write " + out.path;
        return false;
    }
    entries->push_back(entry);
    return true;
}

PackedEntry NewEntry(const PackItem& item) {
    PackedEntry entry = {};
    bool utf8 = false;
    entry.storedName = EncodeEntryName(item.name, &utf8);
    entry.flags = utf8 ? ZIP_FLAG_UTF8 : 0;
    entry.dosDate = item.dosDate;
    entry.dosTime = item.dosTime;
    return entry;
}

// A folder, an empty file or a file stored as it is.
bool PackWhole(OutputFile& out, const PackItem& item, const PackSettings& settings,
               std::vector<PackedEntry>* entries, std::string* error) {
    OpenEntry open;
    open.entry = NewEntry(item);
    if (settings.progress) SetProgressLabel(*settings.progress, ToUtf8(item.name));
    return StartEntry(out, item, settings, 0, open, error) &&
           (item.isFolder || WriteStoredData(out, item, open, settings.progress, error)) &&
           FinishEntry(out, item, open, entries, error);
}

// Stores an entry over what was written from its local header on, after
// its compressed data turned out no smaller than the file; crc is the file's
// as it was compressed. The entry's flags stay as they are.
bool RewriteStored(OutputFile& out, const PackItem& item, const PackSettings& settings, OpenEntry& open,
                   uint32_t crc, std::string* error) {
    if (!SeekOutput(out, open.entry.localOffset) || !StartEntry(out, item, settings, 0, open, error)) {
        if (error->empty()) *error = "cannot write " + out.path;
        return false;
    }
    if (!WriteStoredData(out, item, open, nullptr, error)) return false;
    if (open.crc != crc) {
        *error = item.sourcePath + ": changed while it was packed";
        return false;
    }
    return true;
}

// Appends one compressed piece to its entry, which the first piece opens and
// the last closes. A file that did not get smaller is stored instead, over
// what was written (the stored data is never longer).
bool WritePiece(OutputFile& out, const PieceJob& job, const PackItem& item, const PackSettings& settings,
                OpenEntry& open, std::vector<PackedEntry>* entries, std::string* error) {
    if (!job.ok) {
        *error = job.error.empty() ? "out of memory: no thread could start compressing" : job.error;
        return false;
    }
    if (job.first) {
        open = OpenEntry();
        open.entry = NewEntry(item);
        if (!StartEntry(out, item, settings, 8, open, error)) return false;
    }
    if (!WriteData(out, open, job.data.data(), job.data.size())) {
        *error = "cannot write " + out.path;
        return false;
    }
    open.crc = uint32_t(crc32_combine(open.crc, job.crc, job.size));
    if (!job.last) return true;

    uint64_t header = open.dataStart + EncryptionHeaderSize(open.entry);
    if (out.position - header >= item.size && !RewriteStored(out, item, settings, open, open.crc, error))
        return false;
    return FinishEntry(out, item, open, entries, error);
}

// Writes a file that a thread compressed with LZMA (or found no smaller).
bool WriteLzmaJob(OutputFile& out, const LzmaJob& job, const PackItem& item, const PackSettings& settings,
                  std::vector<PackedEntry>* entries, std::string* error) {
    if (!job.ok) {
        *error = job.error.empty() ? "out of memory: no thread could start compressing" : job.error;
        return false;
    }
    OpenEntry open;
    open.entry = NewEntry(item);
    if (job.stored) {
        if (!StartEntry(out, item, settings, 0, open, error) ||
            !WriteStoredData(out, item, open, nullptr, error))
            return false;
        if (open.crc != job.crc) {
            *error = item.sourcePath + ": changed while it was packed";
            return false;
        }
    } else {
        open.entry.flags |= ZIP_FLAG_LZMA_END_MARKER;
        if (!StartEntry(out, item, settings, METHOD_LZMA, open, error)) return false;
        if (!WriteData(out, open, job.data.data(), job.data.size())) {
            *error = "cannot write " + out.path;
            return false;
        }
        open.crc = job.crc;
    }
    return FinishEntry(out, item, open, entries, error);
}

// A file too large to be compressed in memory: compressed on this thread
// straight into the output, and stored over it when it does not get smaller.
bool WriteLzmaDirect(OutputFile& out, const PackItem& item, const PackSettings& settings,
                     std::vector<PackedEntry>* entries, std::string* error) {
    if (settings.progress) SetProgressLabel(*settings.progress, ToUtf8(item.name));
    LzmaContext context;
    if (!ChooseContextForFile(item, &context, nullptr, error)) return false;
    OpenEntry open;
    open.entry = NewEntry(item);
    open.entry.flags |= ZIP_FLAG_LZMA_END_MARKER;
    if (!StartEntry(out, item, settings, METHOD_LZMA, open, error)) return false;
    LzmaEncoder encoder;
    std::vector<uint8_t> packed;
    if (!LzmaEncoderStart(encoder, item.size, context, &packed)) {
        *error = item.sourcePath + ": out of memory for the LZMA encoder";
        return false;
    }
    SourceReader reader;
    if (!OpenSource(reader, item, error)) {
        LzmaEncoderEnd(encoder);
        return false;
    }
    std::vector<uint8_t> buffer(CHUNK * 4);
    uint64_t written = 0;
    size_t count;
    bool ok;
    while ((ok = ReadSource(reader, buffer, &count, error)) && count > 0) {
        open.crc = uint32_t(libdeflate_crc32(open.crc, buffer.data(), count));
        if (!LzmaEncoderRun(encoder, buffer.data(), count, reader.left == 0, &packed)) {
            *error = item.sourcePath + ": liblzma failed to compress it";
            ok = false;
            break;
        }
        if (!WriteData(out, open, packed.data(), packed.size())) {
            *error = "cannot write " + out.path;
            ok = false;
            break;
        }
        written += packed.size();
        packed.clear();
        if (settings.progress) AdvanceProgress(*settings.progress, count);
        if (written >= item.size) break;
    }
    LzmaEncoderEnd(encoder);
    if (ok && written >= item.size) {
        // The rest is read for the CRC the stored data must match.
        while ((ok = ReadSource(reader, buffer, &count, error)) && count > 0) {
            open.crc = uint32_t(libdeflate_crc32(open.crc, buffer.data(), count));
            if (settings.progress) AdvanceProgress(*settings.progress, count);
        }
        CloseSource(reader);
        // Stored data has no end marker.
        open.entry.flags &= uint16_t(~ZIP_FLAG_LZMA_END_MARKER);
        return ok && RewriteStored(out, item, settings, open, open.crc, error) &&
               FinishEntry(out, item, open, entries, error);
    }
    CloseSource(reader);
    return ok && FinishEntry(out, item, open, entries, error);
}

// Folders, empty files and the files too large for memory, in item order.
bool PackOtherItem(OutputFile& out, const PackItem& item, const PackSettings& settings,
                   std::vector<PackedEntry>* entries, std::string* error) {
    if (!item.isFolder && item.size > LzmaBatchBytes()) return WriteLzmaDirect(out, item, settings, entries, error);
    return PackWhole(out, item, settings, entries, error);
}

// LZMA: batches of whole files compressed on all threads, written in item
// order; the compressed files of a batch wait in memory until it is done.
bool PackItemsLzma(OutputFile& out, const std::vector<PackItem>& items, const PackSettings& settings,
                   std::vector<PackedEntry>* entries, std::string* error) {
    std::vector<LzmaJob> jobs = PlanLzmaJobs(items);
    size_t nextItem = 0;
    for (size_t first = 0; first < jobs.size();) {
        size_t end = first;
        uint64_t bytes = 0;
        while (end < jobs.size() && (end == first || bytes + jobs[end].size <= LzmaBatchBytes()))
            bytes += jobs[end++].size;
        CompressLzmaJobs(jobs, first, end, items, settings.threads, settings.progress);
        for (size_t j = first; j < end; ++j) {
            LzmaJob& job = jobs[j];
            for (; nextItem < job.item; ++nextItem)
                if (!PackOtherItem(out, items[nextItem], settings, entries, error)) return false;
            if (!WriteLzmaJob(out, job, items[job.item], settings, entries, error)) return false;
            ++nextItem;
            std::vector<uint8_t>().swap(job.data);
        }
        first = end;
    }
    for (; nextItem < items.size(); ++nextItem)
        if (!PackOtherItem(out, items[nextItem], settings, entries, error)) return false;
    return true;
}

}  // namespace

bool PackItems(OutputFile& out, const std::vector<PackItem>& items, const PackSettings& settings,
               std::vector<PackedEntry>* entries, std::string* error) {
    entries->clear();
    if (settings.method == METHOD_LZMA_ENTRY && settings.level > 0)
        return PackItemsLzma(out, items, settings, entries, error);
    std::vector<PieceJob> jobs;
    if (settings.level > 0) jobs = PlanPieces(items);
    size_t nextItem = 0;        // the first item not yet written or begun
    OpenEntry open;
    for (size_t first = 0; first < jobs.size();) {
        size_t end = first;
        uint64_t bytes = 0;
        while (end < jobs.size() && (end == first || bytes + jobs[end].size <= BATCH_BYTES)) bytes += jobs[end++].size;
        CompressJobs(jobs, first, end, items, settings.level, settings.threads, settings.progress);
        for (size_t j = first; j < end; ++j) {
            PieceJob& job = jobs[j];
            for (; nextItem < job.item; ++nextItem)
                if (!PackWhole(out, items[nextItem], settings, entries, error)) return false;
            if (!WritePiece(out, job, items[job.item], settings, open, entries, error)) return false;
            if (job.last) ++nextItem;
            std::vector<uint8_t>().swap(job.data);
        }
        first = end;
    }
    for (; nextItem < items.size(); ++nextItem)
        if (!PackWhole(out, items[nextItem], settings, entries, error)) return false;
    return true;
}

bool WriteCentralDirectory(OutputFile& out, const std::vector<PackedEntry>& entries,
                           const std::string& comment, std::string* error) {
    uint64_t start = out.position;
    std::string directory;
    for (const PackedEntry& entry : entries) {
        const uint64_t values[3] = {entry.uncompressedSize, entry.compressedSize, entry.localOffset};
        std::string zip64;
        for (uint64_t value : values)
            if (value >= ZIP64_ALL_ONES) Put64(zip64, value);
        std::string extra;
        if (!zip64.empty()) {
            Put16(extra, EXTRA_ZIP64);
            Put16(extra, uint32_t(zip64.size()));
            extra += zip64;
        }
        Put32(directory, SIG_CENTRAL_HEADER);
        Put16(directory, (entry.flags & ZIP_FLAG_UTF8) ? VERSION_MADE_BY_UTF8 : VERSION_MADE_BY_OEM);
        Put16(directory, VersionNeeded(entry, !extra.empty() || entry.zip64Local));
        Put16(directory, entry.flags);
        Put16(directory, entry.method);
        Put16(directory, entry.dosTime);
        Put16(directory, entry.dosDate);
        Put32(directory, IsAes(entry) ? 0 : entry.crc);
        Put32(directory, Field32(entry.compressedSize, entry.compressedSize >= ZIP64_ALL_ONES));
        Put32(directory, Field32(entry.uncompressedSize, entry.uncompressedSize >= ZIP64_ALL_ONES));
        Put16(directory, uint32_t(entry.storedName.size()));
        Put16(directory, uint32_t(extra.size() + ExtraField(entry).size()));
        Put16(directory, 0);    // comment
        Put16(directory, 0);    // disk
        Put16(directory, 0);    // internal attributes
        Put32(directory, entry.externalAttributes);
        Put32(directory, Field32(entry.localOffset, entry.localOffset >= ZIP64_ALL_ONES));
        directory += entry.storedName + extra + ExtraField(entry);
    }
    uint64_t count = entries.size(), size = directory.size();
    bool manyEntries = count >= 0xFFFF, bigSize = size >= ZIP64_ALL_ONES, farStart = start >= ZIP64_ALL_ONES;
    std::string end;
    if (manyEntries || bigSize || farStart) {
        // The Zip64 end record and its locator stand right before the end record.
        uint64_t at = start + size;
        Put32(end, SIG_ZIP64_END_RECORD);
        Put64(end, 44);
        Put16(end, (VERSION_MADE_BY_UTF8 & 0xFF00) | VERSION_NEEDED_ZIP64);
        Put16(end, VERSION_NEEDED_ZIP64);
        Put32(end, 0);
        Put32(end, 0);
        Put64(end, count);
        Put64(end, count);
        Put64(end, size);
        Put64(end, start);
        Put32(end, SIG_ZIP64_LOCATOR);
        Put32(end, 0);
        Put64(end, at);
        Put32(end, 1);
    }
    Put32(end, SIG_END_RECORD);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, manyEntries ? 0xFFFF : uint32_t(count));
    Put16(end, manyEntries ? 0xFFFF : uint32_t(count));
    Put32(end, Field32(size, bigSize));
    Put32(end, Field32(start, farStart));
    Put16(end, uint32_t(comment.size()));
    end += comment;
    if (!WriteBytes(out, directory) || !WriteBytes(out, end)) {
        *error = "cannot write " + out.path;
        return false;
    }
    return true;
}

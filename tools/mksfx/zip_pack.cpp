#include "tools/mksfx/zip_pack.h"
#include "tools/mksfx/entry_names.h"
#include "tools/mksfx/host_system.h"
#include "tools/mksfx/zip_crypt.h"
#include "archive/zip_records.h"

#include <zlib.h>
#include <vector>

namespace {

const size_t CHUNK = 256 * 1024;

std::string LocalHeaderBytes(const PackedEntry& entry) {
    std::string h;
    Put32(h, SIG_LOCAL_HEADER);
    Put16(h, VERSION_NEEDED);
    Put16(h, entry.flags);
    Put16(h, entry.method);
    Put16(h, entry.dosTime);
    Put16(h, entry.dosDate);
    Put32(h, entry.crc);
    Put32(h, entry.compressedSize);
    Put32(h, entry.uncompressedSize);
    Put16(h, uint32_t(entry.storedName.size()));
    Put16(h, 0);
    return h + entry.storedName;
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

bool SourceCrc(const PackItem& item, uint32_t* crc, std::string* error) {
    SourceReader reader;
    if (!OpenSource(reader, item, error)) return false;
    std::vector<uint8_t> buffer(CHUNK);
    uLong reg = crc32(0L, Z_NULL, 0);
    size_t count;
    bool ok = true;
    while ((ok = ReadSource(reader, buffer, &count, error)) && count > 0) reg = crc32(reg, buffer.data(), uInt(count));
    CloseSource(reader);
    *crc = uint32_t(reg);
    return ok;
}

// Writes the data of one entry, encrypting it when asked. The cipher, when
// used, has already taken the encryption header.
struct DataSink {
    OutputFile* out;
    ZipCipher* cipher;          // null: plain
    uint64_t written;
    std::vector<uint8_t> scratch;
};

bool Sink(DataSink& sink, const uint8_t* data, size_t count) {
    const uint8_t* from = data;
    if (sink.cipher) {
        sink.scratch.assign(data, data + count);
        EncryptBytes(*sink.cipher, sink.scratch.data(), count);
        from = sink.scratch.data();
    }
    sink.written += count;
    return WriteBytes(*sink.out, from, count);
}

// Stores the file as it is; *crc receives its CRC-32.
bool WriteStored(const PackItem& item, DataSink& sink, uint32_t* crc, ProgressBar* progress, std::string* error) {
    SourceReader reader;
    if (!OpenSource(reader, item, error)) return false;
    std::vector<uint8_t> buffer(CHUNK);
    uLong reg = crc32(0L, Z_NULL, 0);
    size_t count;
    bool ok = true;
    while ((ok = ReadSource(reader, buffer, &count, error)) && count > 0) {
        reg = crc32(reg, buffer.data(), uInt(count));
        if (!Sink(sink, buffer.data(), count)) {
            *error = "cannot write " + sink.out->path;
            ok = false;
            break;
        }
        if (progress) AdvanceProgress(*progress, count);
    }
    CloseSource(reader);
    *crc = uint32_t(reg);
    return ok;
}

// Deflates the file (raw DEFLATE) into the sink; stops early, with *smaller
// false, as soon as the output reaches the input's size.
bool WriteDeflated(const PackItem& item, int level, DataSink& sink, uint32_t* crc, bool* smaller,
                   ProgressBar* progress, std::string* error) {
    z_stream zs = {};
    if (deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        *error = "zlib could not start deflating";
        return false;
    }
    SourceReader reader;
    if (!OpenSource(reader, item, error)) {
        deflateEnd(&zs);
        return false;
    }
    std::vector<uint8_t> input(CHUNK), output(CHUNK);
    uLong reg = crc32(0L, Z_NULL, 0);
    bool ok = true;
    *smaller = true;
    for (bool finished = false; ok && !finished && *smaller;) {
        size_t count;
        if (!(ok = ReadSource(reader, input, &count, error))) break;
        reg = crc32(reg, input.data(), uInt(count));
        if (progress) AdvanceProgress(*progress, count);
        int flush = reader.left == 0 ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = input.data();
        zs.avail_in = uInt(count);
        int result;
        do {
            zs.next_out = output.data();
            zs.avail_out = uInt(output.size());
            result = deflate(&zs, flush);
            size_t produced = output.size() - zs.avail_out;
            if (sink.written + produced >= item.size) {
                *smaller = false;
                break;
            }
            if (!Sink(sink, output.data(), produced)) {
                *error = "cannot write " + sink.out->path;
                ok = false;
                break;
            }
        } while (zs.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        finished = flush == Z_FINISH && result == Z_STREAM_END;
    }
    deflateEnd(&zs);
    CloseSource(reader);
    *crc = uint32_t(reg);
    return ok;
}

bool PackFile(OutputFile& out, const PackItem& item, const PackSettings& settings, PackedEntry& entry,
              std::string* error) {
    entry.externalAttributes = DOS_ATTRIBUTE_ARCHIVE;
    entry.uncompressedSize = uint32_t(item.size);
    entry.localOffset = uint32_t(out.position);
    if (settings.encrypt) {
        entry.flags |= ZIP_FLAG_ENCRYPTED;
        // The check byte in the encryption header is the CRC's high byte, so
        // the CRC must be known before the first data byte is written.
        if (!SourceCrc(item, &entry.crc, error)) return false;
    }
    bool tryDeflate = settings.level > 0 && item.size > 0;
    entry.method = tryDeflate ? 8 : 0;
    if (!WriteBytes(out, LocalHeaderBytes(entry))) {
        *error = "cannot write " + out.path;
        return false;
    }
    uint64_t dataStart = out.position;
    uint8_t random[11];
    FillRandom(random, sizeof random);

    uint64_t progressStart = settings.progress ? settings.progress->done : 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        ZipCipher cipher;
        DataSink sink{&out, settings.encrypt ? &cipher : nullptr, 0, {}};
        if (!SeekOutput(out, dataStart)) {
            *error = "cannot write " + out.path;
            return false;
        }
        if (settings.encrypt &&
            !WriteBytes(out, StartEncryptedEntry(cipher, settings.password, entry.crc, random))) {
            *error = "cannot write " + out.path;
            return false;
        }
        uint32_t crc = 0;
        bool done = true;
        if (entry.method == 8) {
            if (!WriteDeflated(item, settings.level, sink, &crc, &done, settings.progress, error)) return false;
            if (!done) {
                // Deflating does not make it smaller: store it instead, over
                // what was written (the stored data is never longer).
                if (settings.progress) settings.progress->done = progressStart;
                entry.method = 0;
                continue;
            }
        } else if (!WriteStored(item, sink, &crc, settings.progress, error)) {
            return false;
        }
        if (settings.encrypt && crc != entry.crc) {
            *error = item.sourcePath + ": changed while it was packed";
            return false;
        }
        entry.crc = crc;
        entry.compressedSize = uint32_t(out.position - dataStart);
        break;
    }
    uint64_t next = out.position;
    if (!SeekOutput(out, entry.localOffset) || !WriteBytes(out, LocalHeaderBytes(entry)) || !SeekOutput(out, next)) {
        *error = "cannot write " + out.path;
        return false;
    }
    return true;
}

}  // namespace

bool PackItems(OutputFile& out, const std::vector<PackItem>& items, const PackSettings& settings,
               std::vector<PackedEntry>* entries, std::string* error) {
    entries->clear();
    for (const PackItem& item : items) {
        PackedEntry entry = {};
        bool utf8 = false;
        entry.storedName = EncodeEntryName(item.name, &utf8);
        entry.flags = utf8 ? ZIP_FLAG_UTF8 : 0;
        entry.dosDate = item.dosDate;
        entry.dosTime = item.dosTime;
        if (settings.progress) SetProgressLabel(*settings.progress, ToUtf8(item.name));
        if (item.isFolder) {
            entry.externalAttributes = DOS_ATTRIBUTE_FOLDER;
            entry.localOffset = uint32_t(out.position);
            if (!WriteBytes(out, LocalHeaderBytes(entry))) {
                *error = "cannot write " + out.path;
                return false;
            }
        } else if (!PackFile(out, item, settings, entry, error)) {
            return false;
        }
        if (out.position >= PROGRAM_LIMIT) {
            *error = "the program file would reach 2 GiB, more than the stub can read (at " +
                     ToUtf8(item.name) + ")";
            return false;
        }
        entries->push_back(entry);
    }
    return true;
}

bool WriteCentralDirectory(OutputFile& out, const std::vector<PackedEntry>& entries,
                           const std::string& comment, std::string* error) {
    uint64_t start = out.position;
    std::string directory;
    for (const PackedEntry& entry : entries) {
        Put32(directory, SIG_CENTRAL_HEADER);
        Put16(directory, (entry.flags & ZIP_FLAG_UTF8) ? VERSION_MADE_BY_UTF8 : VERSION_MADE_BY_OEM);
        Put16(directory, VERSION_NEEDED);
        Put16(directory, entry.flags);
        Put16(directory, entry.method);
        Put16(directory, entry.dosTime);
        Put16(directory, entry.dosDate);
        Put32(directory, entry.crc);
        Put32(directory, entry.compressedSize);
        Put32(directory, entry.uncompressedSize);
        Put16(directory, uint32_t(entry.storedName.size()));
        Put16(directory, 0);    // extra field
        Put16(directory, 0);    // comment
        Put16(directory, 0);    // disk
        Put16(directory, 0);    // internal attributes
        Put32(directory, entry.externalAttributes);
        Put32(directory, entry.localOffset);
        directory += entry.storedName;
    }
    std::string end;
    Put32(end, SIG_END_RECORD);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, uint32_t(entries.size()));
    Put16(end, uint32_t(entries.size()));
    Put32(end, uint32_t(directory.size()));
    Put32(end, uint32_t(start));
    Put16(end, uint32_t(comment.size()));
    end += comment;
    if (start + directory.size() + end.size() >= PROGRAM_LIMIT) {
        *error = "the program file would reach 2 GiB, more than the stub can read";
        return false;
    }
    if (!WriteBytes(out, directory) || !WriteBytes(out, end)) {
        *error = "cannot write " + out.path;
        return false;
    }
    return true;
}

#include "tools/mksfx/pack/zip_wrap.h"
#include "tools/mksfx/input/entry_names.h"
#include "archive/zip_records.h"
#include "codecs/lzma_decoder.h"
#include "engine/lzma_entry.h"

#include <zlib.h>

#include <stdio.h>
#include <string.h>
#include <vector>

namespace {

const uint16_t FLAG_STRONG_ENCRYPTION = 0x0040;
const uint16_t METHOD_AES = 99;
const size_t CENTRAL_FIXED = 46;
const size_t END_FIXED = 22;
// An LZMA entry's data open with the encoder's version (2 bytes), the size
// of the properties (2 bytes) and the properties.
const size_t LZMA_HEADER_BYTES = 4 + LZMA_PROPERTIES_SIZE;

struct Reader {
    FILE* file = nullptr;
    ~Reader() { if (file) fclose(file); }
};

bool ReadAt(Reader& reader, uint64_t offset, size_t count, std::string* bytes) {
    bytes->assign(count, '\0');
    return fseek(reader.file, long(offset), SEEK_SET) == 0 &&
           (count == 0 || fread(&(*bytes)[0], 1, count, reader.file) == count);
}

const uint8_t* U8(const std::string& s, size_t at) { return reinterpret_cast<const uint8_t*>(s.data()) + at; }

// The end record is the last signature whose comment reaches exactly to the
// end of the file; a signature inside a comment does not fit that.
bool FindEnd(Reader& reader, uint64_t fileSize, uint64_t* endOffset, std::string* error) {
    uint64_t window = fileSize < END_FIXED + 0xFFFF ? fileSize : END_FIXED + 0xFFFF;
    std::string tail;
    if (!ReadAt(reader, fileSize - window, size_t(window), &tail)) {
        *error = "cannot read";
        return false;
    }
    for (size_t i = tail.size() >= END_FIXED ? tail.size() - END_FIXED + 1 : 0; i-- > 0;) {
        if (Get32(U8(tail, i)) == SIG_END_RECORD && i + END_FIXED + Get16(U8(tail, i + 20)) == tail.size()) {
            *endOffset = fileSize - window + i;
            return true;
        }
    }
    *error = "not a ZIP archive (no end-of-central-directory record at its end)";
    return false;
}

// The name as the stub reads it: UTF-8 with flag bit 11 or an Info-ZIP
// Unicode path field written for this name; a name from Unix or macOS that
// is valid UTF-8; else code page 850. "" for a flagged name that is not
// valid UTF-8, which the stub refuses.
std::string EntryName(const std::string& stored, uint16_t flags, uint16_t madeBy, const std::string& extra,
                      std::u32string* name) {
    for (size_t i = 0; i + 4 <= extra.size();) {
        uint16_t id = Get16(U8(extra, i)), size = Get16(U8(extra, i + 2));
        if (id == 0x7075 && size > 5 && i + 4 + size <= extra.size() && extra[i + 4] == 1 &&
            Get32(U8(extra, i + 5)) == uint32_t(crc32(0, U8(stored, 0), uInt(stored.size()))))
            return DecodeUtf8(extra.substr(i + 9, size - 5), name) ? ToUtf8(*name) : "";
        i += 4 + size;
    }
    uint16_t host = madeBy >> 8;
    if (flags & ZIP_FLAG_UTF8) {
        if (!DecodeUtf8(stored, name)) return "";
    } else if (!((host == 3 || host == 19) && DecodeUtf8(stored, name))) {
        *name = DecodeCp850(stored);
    }
    return ToUtf8(*name);
}

// The header in front of an LZMA entry's stream, where the stub reads it:
// a properties size other than 5 or a first properties byte outside the
// format is an entry the stub would refuse at its turn, after the entries
// before it are written. Encrypted data hide the header; the read-back with
// --password checks those.
bool CheckLzmaHeader(Reader& reader, uint64_t dataStart, uint32_t compressed, const std::string& entry,
                     std::string* error) {
    std::string header;
    if (compressed < LZMA_HEADER_BYTES) {
        *error = entry + " is LZMA-compressed but shorter than its 9-byte LZMA header";
        return false;
    }
    if (!ReadAt(reader, dataStart, LZMA_HEADER_BYTES, &header)) {
        *error = entry + ": its LZMA header cannot be read";
        return false;
    }
    uint16_t propertiesSize = Get16(U8(header, 2));
    if (propertiesSize != LZMA_PROPERTIES_SIZE) {
        *error = entry + " has LZMA properties of " + std::to_string(propertiesSize) +
                 " bytes; the stub reads only the 5 of LZMA";
        return false;
    }
    uint8_t first = *U8(header, 4);
    if (LzmaProbabilityBytes(U8(header, 4)) == 0) {
        // The byte is (pb * 5 + lp) * 9 + lc.
        unsigned lc = first % 9, lp = first / 9 % 5, pb = first / 45;
        *error = entry + " has LZMA properties outside the format (lc=" + std::to_string(lc) +
                 " lp=" + std::to_string(lp) + " pb=" + std::to_string(pb) +
                 "; at most lc=8 lp=4 pb=4)";
        return false;
    }
    return true;
}

// Everything about one central directory entry that the stub cannot extract.
bool CheckEntry(Reader& reader, const WrapPlan& plan, const uint8_t* h, const std::string& stored,
                const std::string& extra, std::string* error) {
    uint16_t versionNeeded = Get16(h + 6), flags = Get16(h + 8), method = Get16(h + 10);
    uint32_t compressed = Get32(h + 20), uncompressed = Get32(h + 24);
    uint16_t disk = Get16(h + 34);
    uint32_t local = Get32(h + 42);
    std::u32string name;
    std::string shown = EntryName(stored, flags, Get16(h + 4), extra, &name);
    if ((flags & ZIP_FLAG_UTF8) && shown.empty() && !stored.empty()) {
        *error = "an entry's name is flagged UTF-8 but is not valid UTF-8";
        return false;
    }
    std::string entry = "entry \"" + shown + "\"";
    // WinZip's AES (method 99): the stub reads AE-1 and AE-2, AES-128 to
    // -256, over the methods it knows; the real method stands in 0x9901.
    bool aes = method == METHOD_AES;
    bool aesKnown = false;
    for (size_t i = 0; i + 4 <= extra.size();) {
        uint16_t id = Get16(U8(extra, i)), size = Get16(U8(extra, i + 2));
        if (id == 0x0001) {
            *error = entry + " uses Zip64, which the stub cannot read";
            return false;
        }
        if (aes && id == 0x9901 && size >= 7 && i + 11 <= extra.size() && extra.compare(i + 6, 2, "AE") == 0) {
            uint16_t version = Get16(U8(extra, i + 4));
            uint8_t strength = *U8(extra, i + 8);
            aesKnown = (version == 1 || version == 2) && strength >= 1 && strength <= 3;
            method = Get16(U8(extra, i + 9));
            if (aesKnown && (flags & ZIP_FLAG_ENCRYPTED) && compressed < 4 + 4u * strength + 12) {
                *error = entry + " is AES-encrypted but shorter than its salt, verifier and authentication code";
                return false;
            }
        }
        i += 4 + size;
    }
    if (compressed == 0xFFFFFFFF || uncompressed == 0xFFFFFFFF || local == 0xFFFFFFFF) {
        *error = entry + " uses Zip64, which the stub cannot read";
        return false;
    }
    if (disk != 0) {
        *error = entry + " lies on another disk: multi-disk archives cannot be extracted by the stub";
        return false;
    }
    if ((flags & FLAG_STRONG_ENCRYPTION) || (aes && (!aesKnown || !(flags & ZIP_FLAG_ENCRYPTED)))) {
        *error = entry + " uses strong encryption the stub does not know (PKWARE's, or AES without a valid "
                 "0x9901 field)";
        return false;
    }
    if (method != 0 && method != 8 && method != METHOD_LZMA) {
        *error = entry + " uses compression method " + std::to_string(method) +
                 "; the stub extracts only stored (0), deflated (8) and LZMA (14)";
        return false;
    }
    // LZMA came with version 6.3 of the format, AES with 5.1.
    uint8_t versionLimit = method == METHOD_LZMA ? LZMA_VERSION_NEEDED : aes ? 51 : 20;
    if ((versionNeeded & 0xFF) > versionLimit) {
        *error = entry + " needs version " + std::to_string((versionNeeded & 0xFF) / 10) + "." +
                 std::to_string((versionNeeded & 0xFF) % 10) +
                 ((versionNeeded & 0xFF) == 45 ? " (Zip64)" : "") + " to extract; the stub handles up to " +
                 std::to_string(versionLimit / 10) + "." + std::to_string(versionLimit % 10) +
                 (method == METHOD_LZMA ? " for LZMA" : aes ? " for AES" : "");
        return false;
    }
    if ((flags & ZIP_FLAG_ENCRYPTED) && (flags & ZIP_FLAG_DATA_DESCRIPTOR) && !aes) {
        *error = entry + " is encrypted with a data descriptor (its password check byte comes from "
                 "the time); the stub checks passwords against the CRC and could not unlock it";
        return false;
    }
    if ((flags & ZIP_FLAG_ENCRYPTED) && compressed < 12 && !aes) {
        *error = entry + " is encrypted but shorter than its encryption header";
        return false;
    }
    std::string problem;
    if (!CheckEntryName(name, &problem)) {
        *error = problem;
        return false;
    }
    std::string header;
    if (local < plan.firstLocal || !ReadAt(reader, local, 30, &header) || Get32(U8(header, 0)) != SIG_LOCAL_HEADER) {
        *error = entry + ": no local header where the central directory says (offset " +
                 std::to_string(local) + ")";
        return false;
    }
    uint64_t dataStart = uint64_t(local) + 30 + Get16(U8(header, 26)) + Get16(U8(header, 28));
    if (dataStart + compressed > plan.centralOffset) {
        *error = entry + ": its data runs into the central directory";
        return false;
    }
    // An empty LZMA entry is not decoded, whatever its data hold.
    if (method == METHOD_LZMA && !(flags & ZIP_FLAG_ENCRYPTED) && uncompressed != 0)
        return CheckLzmaHeader(reader, dataStart, compressed, entry, error);
    return true;
}

}  // namespace

bool PlanWrap(const std::string& path, WrapPlan* plan, std::string* error) {
    plan->path = path;
    Reader reader;
    reader.file = fopen(path.c_str(), "rb");
    if (!reader.file) {
        *error = path + ": cannot be opened";
        return false;
    }
    if (fseek(reader.file, 0, SEEK_END) != 0) {
        *error = path + ": cannot be read";
        return false;
    }
    long size = ftell(reader.file);
    if (size < 0 || uint64_t(size) >= PROGRAM_LIMIT) {
        *error = path + ": archives of 2 GiB or more cannot be extracted by the stub";
        return false;
    }
    plan->fileSize = uint64_t(size);
    uint64_t endOffset;
    std::string why;
    if (!FindEnd(reader, plan->fileSize, &endOffset, &why)) {
        *error = path + ": " + why;
        return false;
    }
    plan->endOffset = uint32_t(endOffset);
    if (!ReadAt(reader, endOffset, size_t(plan->fileSize - endOffset), &plan->endRecord)) {
        *error = path + ": cannot be read";
        return false;
    }
    const uint8_t* e = U8(plan->endRecord, 0);
    std::string locator;
    if ((endOffset >= 20 && ReadAt(reader, endOffset - 20, 4, &locator) && Get32(U8(locator, 0)) == SIG_ZIP64_LOCATOR) ||
        Get16(e + 10) == 0xFFFF || Get32(e + 12) == 0xFFFFFFFF || Get32(e + 16) == 0xFFFFFFFF) {
        *error = path + ": a Zip64 archive, which the stub cannot read";
        return false;
    }
    if (Get16(e + 4) != 0 || Get16(e + 6) != 0 || Get16(e + 8) != Get16(e + 10)) {
        *error = path + ": a multi-disk (split or spanned) archive, which the stub cannot read";
        return false;
    }
    // The stub finds the end record by searching backwards from the end of
    // the file; a copy of its signature in the comment would stop it there.
    if (plan->endRecord.find("PK\x05\x06", 4) != std::string::npos) {
        *error = path + ": the archive comment holds an end-record signature and would mislead the stub";
        return false;
    }
    plan->entryCount = Get16(e + 10);
    plan->centralSize = Get32(e + 12);
    plan->centralOffset = Get32(e + 16);
    if (plan->entryCount == 0) {
        *error = path + ": the archive holds no entries";
        return false;
    }
    if (uint64_t(plan->centralOffset) + plan->centralSize != endOffset) {
        *error = path + ": the central directory is not where the end record says (an archive with "
                 "unadjusted offsets, or trailing data)";
        return false;
    }
    if (!ReadAt(reader, plan->centralOffset, plan->centralSize, &plan->central)) {
        *error = path + ": cannot read the central directory";
        return false;
    }
    // The first entry of the central directory fixes where the archive starts:
    // the configuration block ends at its local header.
    if (plan->central.size() < CENTRAL_FIXED || Get32(U8(plan->central, 0)) != SIG_CENTRAL_HEADER) {
        *error = path + ": damaged central directory";
        return false;
    }
    plan->firstLocal = Get32(U8(plan->central, 42));
    size_t at = 0;
    for (uint16_t i = 0; i < plan->entryCount; ++i) {
        if (at + CENTRAL_FIXED > plan->central.size() || Get32(U8(plan->central, at)) != SIG_CENTRAL_HEADER) {
            *error = path + ": damaged central directory (entry " + std::to_string(i + 1) + ")";
            return false;
        }
        const uint8_t* h = U8(plan->central, at);
        size_t nameLength = Get16(h + 28), extraLength = Get16(h + 30), commentLength = Get16(h + 32);
        size_t total = CENTRAL_FIXED + nameLength + extraLength + commentLength;
        if (at + total > plan->central.size()) {
            *error = path + ": damaged central directory (entry " + std::to_string(i + 1) + ")";
            return false;
        }
        if (nameLength > MAX_ENTRY_NAME) {
            *error = path + ": entry " + std::to_string(i + 1) + " has a name longer than 255 characters";
            return false;
        }
        std::string stored = plan->central.substr(at + CENTRAL_FIXED, nameLength);
        std::string extra = plan->central.substr(at + CENTRAL_FIXED + nameLength, extraLength);
        if (!CheckEntry(reader, *plan, h, stored, extra, error)) {
            *error = path + ": " + *error;
            return false;
        }
        if (Get16(h + 8) & ZIP_FLAG_ENCRYPTED) plan->anyEncrypted = true;
        plan->dataSize += Get32(h + 24);
        plan->headerPositions.push_back(at);
        at += total;
    }
    if (at != plan->central.size()) {
        *error = path + ": the central directory holds more than its entry count says";
        return false;
    }
    return true;
}

uint64_t WrappedSize(const WrapPlan& plan) { return plan.fileSize - plan.firstLocal; }

bool WriteWrapped(OutputFile& out, const WrapPlan& plan, ProgressBar* progress, std::string* error) {
    // Every offset moves by the bytes now in front of the first local header.
    int64_t shift = int64_t(out.position) - int64_t(plan.firstLocal);
    if (uint64_t(int64_t(plan.fileSize) + shift) >= PROGRAM_LIMIT) {
        *error = "the program file would reach 2 GiB, more than the stub can read";
        return false;
    }
    Reader reader;
    reader.file = fopen(plan.path.c_str(), "rb");
    if (!reader.file || fseek(reader.file, long(plan.firstLocal), SEEK_SET) != 0) {
        *error = plan.path + ": cannot be read";
        return false;
    }
    std::vector<uint8_t> buffer(256 * 1024);
    uint64_t left = plan.centralOffset - plan.firstLocal;
    if (progress) StartProgress(*progress, progress->enabled, left);
    while (left > 0) {
        size_t want = left < buffer.size() ? size_t(left) : buffer.size();
        if (fread(buffer.data(), 1, want, reader.file) != want) {
            *error = plan.path + ": cannot be read (did it change?)";
            return false;
        }
        if (!WriteBytes(out, buffer.data(), want)) {
            *error = "cannot write " + out.path;
            return false;
        }
        if (progress) AdvanceProgress(*progress, want);
        left -= want;
    }
    std::string central = plan.central;
    for (size_t at : plan.headerPositions) {
        uint32_t moved = uint32_t(int64_t(Get32(U8(central, at + 42))) + shift);
        std::string bytes;
        Put32(bytes, moved);
        central.replace(at + 42, 4, bytes);
    }
    std::string end = plan.endRecord;
    std::string offset;
    Put32(offset, uint32_t(int64_t(plan.centralOffset) + shift));
    end.replace(16, 4, offset);
    if (!WriteBytes(out, central) || !WriteBytes(out, end)) {
        *error = "cannot write " + out.path;
        return false;
    }
    return true;
}

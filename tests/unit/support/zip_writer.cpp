#include "zip_writer.h"
#include <lzma.h>
#include <zlib.h>
#include <dirent.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

void Put16(std::string& out, uint32_t v) {
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

struct Keys {
    uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
    static uint32_t CrcByte(uint32_t reg, uint8_t b) {
        reg ^= b;
        for (int i = 0; i < 8; ++i) reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1)));
        return reg;
    }
    void Update(uint8_t c) {
        k0 = CrcByte(k0, c);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = CrcByte(k2, uint8_t(k1 >> 24));
    }
    uint8_t Stream() const {
        uint16_t t = uint16_t((k2 & 0xFFFF) | 2);
        return uint8_t((uint32_t(t) * uint32_t(t ^ 1)) >> 8);
    }
};

}  // namespace

std::string ZipEncrypt(const std::string& plain, const std::string& password, uint8_t checkByte, uint32_t seed) {
    Keys keys;
    for (unsigned char c : password) keys.Update(c);
    std::string header(12, '\0');
    for (int i = 0; i < 11; ++i) header[i] = char((seed * 2654435761u + i * 40503u) >> 13);
    header[11] = char(checkByte);
    std::string out;
    out.reserve(12 + plain.size());
    for (char ch : header + plain) {
        uint8_t p = uint8_t(ch);
        out.push_back(char(p ^ keys.Stream()));
        keys.Update(p);
    }
    return out;
}

uint32_t ZipCrc32(const std::string& data) {
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
}

std::string RawDeflate(const std::string& data, int level, int strategy) {
    z_stream zs;
    memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, level, Z_DEFLATED, -15, 9, strategy) != Z_OK) throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&zs, uLong(data.size())) + 64, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = uInt(out.size());
    int rc = deflate(&zs, Z_FINISH);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::string LzmaEntryData(const std::string& data) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.dict_size = 1u << 16;
    options.ext_flags = 0;
    lzma_set_ext_size(options, data.size());
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&strm, filters) != LZMA_OK) throw std::runtime_error("liblzma refused its options");
    std::string out(9 + data.size() + data.size() / 2 + 1024, '\0');
    // The encoder's version (liblzma's), the properties' size, the properties.
    out[0] = char(LZMA_VERSION_MAJOR);
    out[1] = char(LZMA_VERSION_MINOR);
    out[2] = 5;
    out[3] = 0;
    out[4] = char((options.pb * 5 + options.lp) * 9 + options.lc);
    for (int i = 0; i < 4; ++i) out[5 + i] = char(options.dict_size >> (8 * i));
    strm.next_in = (const uint8_t*)data.data();
    strm.avail_in = data.size();
    strm.next_out = (uint8_t*)&out[9];
    strm.avail_out = out.size() - 9;
    lzma_ret rc = lzma_code(&strm, LZMA_FINISH);
    out.resize(9 + strm.total_out);
    lzma_end(&strm);
    if (rc != LZMA_STREAM_END) throw std::runtime_error("liblzma failed");
    return out;
}

std::string MakeConfigBlock(const std::string& target, const std::string& command) {
    std::string block(514, '\0');
    memcpy(&block[0], target.data(), std::min<size_t>(target.size(), 257));
    memcpy(&block[257], command.data(), std::min<size_t>(command.size(), 257));
    return block;
}

std::string MakeStubPrefix(const std::string& target, const std::string& command, size_t stubSize) {
    std::string stub(stubSize, '\0');
    if (stubSize >= 2) { stub[0] = 'M'; stub[1] = 'Z'; }
    return stub + MakeConfigBlock(target, command);
}

std::string BuildZipImage(const std::vector<ZipEntrySpec>& entries, const ZipImageOptions& options) {
    std::string image = options.prefix;
    std::vector<uint32_t> offsets(entries.size());
    std::vector<uint32_t> csizes(entries.size());
    std::vector<uint32_t> crcs(entries.size());
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (options.reverseLocalOrder) std::reverse(order.begin(), order.end());

    for (size_t i : order) {
        const ZipEntrySpec& e = entries[i];
        uint32_t crc = e.hasCrc ? e.crc : ZipCrc32(e.data);
        std::string payload = e.hasPayload ? e.payload
                              : e.method == 8 ? RawDeflate(e.data, e.level)
                              : e.method == 14 ? LzmaEntryData(e.data)
                                               : e.data;
        uint16_t flags = e.flags;
        if (!e.password.empty()) {
            flags |= 1;
            uint8_t check = e.checkByteFromTime ? uint8_t(e.dosTime >> 8) : uint8_t(crc >> 24);
            payload = ZipEncrypt(payload, e.password, check, uint32_t(i + 7));
        }
        crcs[i] = crc;
        csizes[i] = e.hasCompressedSize ? e.compressedSize : uint32_t(payload.size());
        offsets[i] = uint32_t(image.size());
        const std::string& lname = e.hasLocalName ? e.localName : e.name;
        std::string h;
        Put32(h, 0x04034B50);
        Put16(h, e.versionNeeded);
        Put16(h, flags);
        Put16(h, e.method);
        Put16(h, e.dosTime);
        Put16(h, e.dosDate);
        Put32(h, crc);
        Put32(h, csizes[i]);
        Put32(h, e.hasUncompressedSize ? e.uncompressedSize : uint32_t(e.data.size()));
        Put16(h, uint32_t(lname.size()));
        Put16(h, uint32_t(e.extra.size()));
        image += h + lname + e.extra + payload;
    }

    uint32_t centralStart = uint32_t(image.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const ZipEntrySpec& e = entries[i];
        uint16_t flags = e.flags | (e.password.empty() ? 0 : 1);
        uint32_t fields[3] = {e.hasUncompressedSize ? e.uncompressedSize : uint32_t(e.data.size()), csizes[i],
                              e.hasLocalOffset ? e.localOffset : offsets[i]};
        std::string zip64;
        for (int f = 0; f < 3; ++f) {
            if (!(e.zip64Fields & (1 << f))) continue;
            Put32(zip64, fields[f]);
            Put32(zip64, 0);
            fields[f] = 0xFFFFFFFF;
        }
        std::string extra = e.extra;
        if (!zip64.empty()) {
            std::string field;
            Put16(field, 1);
            Put16(field, uint32_t(zip64.size()));
            extra = field + zip64 + extra;
        }
        std::string h;
        Put32(h, 0x02014B50);
        Put16(h, e.versionMadeBy);
        Put16(h, e.versionNeeded);
        Put16(h, flags);
        Put16(h, e.method);
        Put16(h, e.dosTime);
        Put16(h, e.dosDate);
        Put32(h, crcs[i]);
        Put32(h, fields[1]);
        Put32(h, fields[0]);
        Put16(h, uint32_t(e.name.size()));
        Put16(h, uint32_t(extra.size()));
        Put16(h, uint32_t(e.comment.size()));
        Put16(h, 0);
        Put16(h, 0);
        Put32(h, e.externalAttributes);
        Put32(h, fields[2]);
        image += h + e.name + extra + e.comment;
    }
    uint32_t centralSize = uint32_t(image.size()) - centralStart;
    uint32_t centralOffset = options.hasCentralOffset ? options.centralOffset : centralStart;
    if (options.zip64EndRecord) {
        std::string z;
        uint32_t at = uint32_t(image.size());
        Put32(z, 0x06064B50);
        Put32(z, 44);
        Put32(z, 0);
        Put16(z, 45);
        Put16(z, 45);
        Put32(z, 0);
        Put32(z, 0);
        for (int k = 0; k < 2; ++k) {
            Put32(z, uint32_t(entries.size()));
            Put32(z, 0);
        }
        Put32(z, centralSize);
        Put32(z, 0);
        Put32(z, centralOffset);
        Put32(z, 0);
        Put32(z, 0x07064B50);
        Put32(z, 0);
        Put32(z, at);
        Put32(z, 0);
        Put32(z, 1);
        image += z;
    }
    if (!options.omitEndRecord) {
        bool all = options.zip64EndRecord;
        std::string h;
        Put32(h, 0x06054B50);
        Put16(h, 0);
        Put16(h, 0);
        Put16(h, all ? 0xFFFF : uint32_t(entries.size()));
        Put16(h, all ? 0xFFFF : uint32_t(entries.size()));
        Put32(h, all ? 0xFFFFFFFF : centralSize);
        Put32(h, all ? 0xFFFFFFFF : centralOffset);
        Put16(h, uint32_t(options.archiveComment.size()));
        image += h + options.archiveComment;
    }
    return image;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

TempDir::TempDir() {
    char pattern[] = "/tmp/sfxtest.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) throw std::runtime_error("mkdtemp");
    path = made;
}

static void RemoveTree(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        chmod(path.c_str(), 0700);
        if (DIR* d = opendir(path.c_str())) {
            while (dirent* ent = readdir(d)) {
                std::string n = ent->d_name;
                if (n != "." && n != "..") RemoveTree(path + "/" + n);
            }
            closedir(d);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

TempDir::~TempDir() { RemoveTree(path); }

static void Walk(const std::string& root, const std::string& rel, std::vector<std::string>& out) {
    DIR* d = opendir((root + (rel.empty() ? "" : "/" + rel)).c_str());
    if (!d) return;
    while (dirent* ent = readdir(d)) {
        std::string n = ent->d_name;
        if (n == "." || n == "..") continue;
        std::string r = rel.empty() ? n : rel + "/" + n;
        struct stat st;
        if (lstat((root + "/" + r).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            out.push_back(r + "/");
            Walk(root, r, out);
        } else {
            out.push_back(r);
        }
    }
    closedir(d);
}

std::vector<std::string> ListTree(const std::string& root) {
    std::vector<std::string> out;
    Walk(root, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

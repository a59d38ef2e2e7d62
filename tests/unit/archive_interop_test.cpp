// The catalogue of archives made by real ZIP tools (Info-ZIP zip, 7-Zip,
// Python's zipfile) against Python's own listing of the same files.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>
#include "archive/archive_open.h"
#include "archive/catalog.h"
#include "archive/config_block.h"
#include "support/zip_writer.h"

namespace {

// One line per entry: the name as the program should hold it (UTF-8, in
// hex: bit 11, else a Unicode path field for this name, else valid UTF-8
// from Unix or macOS, else CP850), then the header fields.
const char* kListingScript = R"PY(
import struct, sys, zipfile, zlib
def unicode_path(i, raw):
    extra = i.extra
    while len(extra) >= 4:
        kind, size = struct.unpack('<HH', extra[:4])
        data = extra[4:4 + size]
        if kind == 0x7075 and size > 5 and data[0] == 1 and struct.unpack('<I', data[1:5])[0] == zlib.crc32(raw):
            return data[5:]
        extra = extra[4 + size:]
    return None
with zipfile.ZipFile(sys.argv[1]) as z:
    for i in z.infolist():
        if i.flag_bits & 0x800:
            ansi = i.filename.encode('utf-8')
        else:
            raw = i.filename.encode('cp437')
            ansi = unicode_path(i, raw)
            if ansi is None and i.create_system in (3, 19):
                try:
                    raw.decode('utf-8')
                    ansi = raw
                except UnicodeDecodeError:
                    pass
            if ansi is None:
                ansi = raw.decode('cp850').encode('utf-8')
        y, mo, d, h, mi, s = i.date_time
        date = ((y - 1980) << 9) | (mo << 5) | d
        time = (h << 11) | (mi << 5) | (s // 2)
        print(ansi.hex(), i.CRC, i.compress_size, i.file_size, date, time,
              i.flag_bits, i.compress_type, i.header_offset)
)PY";

// unzip -Z -v (zipinfo) of the same archive: per entry the CRC, sizes and the
// DOS date and time it reports, encoded back into the DOS fields.
const char* kZipinfoScript = R"PY(
import re, subprocess, sys
out = subprocess.run(['unzip', '-Z', '-v', sys.argv[1]], capture_output=True).stdout.decode('latin-1')
months = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec']
for block in out.split('Central directory entry #')[1:]:
    field = lambda label: re.search(re.escape(label) + r':\s+(.*)', block).group(1).strip()
    y, mo, d, hms = field('file last modified on (DOS date/time)').split()
    h, mi, s = (int(x) for x in hms.split(':'))
    date = ((int(y) - 1980) << 9) | ((months.index(mo) + 1) << 5) | int(d)
    time = (h << 11) | (mi << 5) | (s // 2)
    print(int(field('32-bit CRC value (hex)'), 16), field('compressed size').split()[0],
          field('uncompressed size').split()[0], date, time)
)PY";

const char* kPythonWriter = R"PY(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.comment = b'archive comment ' * 40
    z.writestr(zipfile.ZipInfo('Ordner/', (2024, 2, 29, 23, 59, 58)), b'')
    info = zipfile.ZipInfo('Ordner/M\u00e4rz \u20ac.txt', (2023, 12, 31, 0, 0, 0))
    info.compress_type = zipfile.ZIP_DEFLATED
    info.comment = b'a file comment'
    z.writestr(info, 'Gr\u00fc\u00dfe\n' * 500)
    z.writestr(zipfile.ZipInfo('\u0151z.txt', (2010, 6, 1, 12, 30, 10)), b'x')
    z.writestr(zipfile.ZipInfo('plain.bin', (1999, 1, 2, 3, 4, 6)), bytes(range(256)) * 20)
)PY";

std::string Quote(const std::string& s) { return "'" + s + "'"; }

bool Shell(const std::string& command) { return system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0; }

// A source tree with umlauts (UTF-8 on disk), an empty folder, text and
// binary data.
void MakeSourceTree(const std::string& root) {
    mkdir(root.c_str(), 0700);
    mkdir((root + "/Ordner").c_str(), 0700);
    mkdir((root + "/Ordner/leer").c_str(), 0700);
    WriteFileBytes(root + "/readme.txt", "Liesmich\n");
    WriteFileBytes(root + "/Ordner/M\xC3\xA4rz.txt", std::string(3000, 'm'));
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary.push_back(char((i * 7919) >> 5));
    WriteFileBytes(root + "/Ordner/daten.bin", binary);
    WriteFileBytes(root + "/Gr\xC3\xBC\xC3\x9F" "e.txt", "");
    // Fixed times so the DOS fields are not all equal.
    Shell("touch -d '2021-03-04 05:06:08' " + Quote(root + "/readme.txt"));
    Shell("touch -d '1995-11-30 22:10:44' " + Quote(root + "/Ordner/daten.bin"));
}

std::string ListWithPython(const TempDir& dir, const std::string& archive) {
    std::string script = dir.File("list.py");
    WriteFileBytes(script, kListingScript);
    std::string out = dir.File("listing.txt");
    if (!Shell("python3 " + Quote(script) + " " + Quote(archive) + " > " + Quote(out))) return "";
    return ReadFileBytes(out);
}

std::string ListWithZipinfo(const TempDir& dir, const std::string& archive) {
    std::string script = dir.File("zipinfo.py");
    WriteFileBytes(script, kZipinfoScript);
    std::string out = dir.File("zipinfo.txt");
    if (!Shell("python3 " + Quote(script) + " " + Quote(archive) + " > " + Quote(out))) return "";
    return ReadFileBytes(out);
}

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::string ListWithCatalog(const std::string& archive, SfxStatus* status, bool brief = false) {
    OpenArchive(archive.c_str());
    *status = Archive.status;
    std::ostringstream out;
    if (Archive.status == SFX_OK) {
        Catalog* catalog = &Archive.catalog;
        *status = catalog->status;
        while (const CatalogEntry* e = NextCatalogEntry(catalog)) {
            const CentralHeader& h = e->header;
            if (brief) {
                out << h.crc32 << ' ' << e->compressedSize << ' ' << e->uncompressedSize << ' ' << h.dosDate
                    << ' ' << h.dosTime << '\n';
                continue;
            }
            out << Hex(e->name) << ' ' << h.crc32 << ' ' << e->compressedSize << ' ' << e->uncompressedSize
                << ' ' << h.dosDate << ' ' << h.dosTime << ' ' << h.flags << ' ' << h.method << ' '
                << e->localHeaderOffset << '\n';
        }
    }
    CloseArchive();
    return out.str();
}

void ExpectSameListing(const TempDir& dir, const std::string& archive, size_t minimumEntries) {
    std::string expected = ListWithPython(dir, archive);
    ASSERT_FALSE(expected.empty()) << "python3 could not list " << archive;
    SfxStatus status;
    std::string got = ListWithCatalog(archive, &status);
    EXPECT_EQ(status, SFX_OK);
    EXPECT_EQ(got, expected);
    size_t lines = 0;
    for (char c : got) lines += c == '\n';
    EXPECT_GE(lines, minimumEntries);
    // The same sizes, CRCs and times as Info-ZIP's own listing.
    std::string zipinfo = ListWithZipinfo(dir, archive);
    ASSERT_FALSE(zipinfo.empty()) << "unzip -Z could not list " << archive;
    EXPECT_EQ(ListWithCatalog(archive, &status, true), zipinfo);
}

bool HasTool(const char* tool) { return Shell(std::string("command -v ") + tool); }

// A missing tool is reported as a skip with its reason, never as a pass.
#define REQUIRE_TOOL(tool) \
    if (!HasTool(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup.sh installs it)"

TEST(CatalogInterop, InfoZipArchive) {
    REQUIRE_TOOL("zip");
    REQUIRE_TOOL("python3");
    TempDir dir;
    MakeSourceTree(dir.File("src"));
    std::string archive = dir.File("info.zip");
    ASSERT_TRUE(Shell("cd " + Quote(dir.File("src")) + " && zip -q -r -X " + Quote(archive) + " ." +
                    " && zip -q -z " + Quote(archive) + " < /dev/null"));
    ExpectSameListing(dir, archive, 6);
}

TEST(CatalogInterop, SevenZipArchive) {
    REQUIRE_TOOL("7z");
    REQUIRE_TOOL("python3");
    TempDir dir;
    MakeSourceTree(dir.File("src"));
    std::string archive = dir.File("seven.zip");
    ASSERT_TRUE(Shell("cd " + Quote(dir.File("src")) + " && 7z a -tzip -mx=9 " + Quote(archive) + " ."));
    ExpectSameListing(dir, archive, 6);
}

TEST(CatalogInterop, PythonZipfileArchiveWithCommentsAndUtf8Names) {
    REQUIRE_TOOL("python3");
    TempDir dir;
    std::string writer = dir.File("write.py");
    WriteFileBytes(writer, kPythonWriter);
    std::string archive = dir.File("py.zip");
    ASSERT_TRUE(Shell("python3 " + Quote(writer) + " " + Quote(archive)));
    ExpectSameListing(dir, archive, 4);
    SfxStatus status;
    std::string listing = ListWithCatalog(archive, &status);
    EXPECT_NE(listing.find(Hex("\xC5\x91z.txt")), std::string::npos);
    EXPECT_NE(listing.find(Hex("Ordner/M\xC3\xA4rz \xE2\x82\xAC.txt")), std::string::npos);
}

TEST(CatalogInterop, SelfExtractorImageAdjustedByZip) {
    REQUIRE_TOOL("zip");
    REQUIRE_TOOL("python3");
    TempDir dir;
    MakeSourceTree(dir.File("src"));
    std::string archive = dir.File("plain.zip");
    ASSERT_TRUE(Shell("cd " + Quote(dir.File("src")) + " && zip -q -r -X " + Quote(archive) + " ."));
    std::string program = dir.File("setup.exe");
    WriteFileBytes(program, MakeStubPrefix("C:\\Programme\\Ziel", "setup.exe /s", 4096) + ReadFileBytes(archive));
    ASSERT_TRUE(Shell("zip -q -A " + Quote(program)));   // offsets from the start of the program file
    ExpectSameListing(dir, program, 6);
    OpenArchive(program.c_str());
    EXPECT_EQ(Archive.status, SFX_OK);
    EXPECT_STREQ(Archive.configTarget, "C:\\Programme\\Ziel");
    EXPECT_STREQ(Archive.configCommand, "setup.exe /s");
    EXPECT_EQ(Archive.firstLocalHeader, 4096u + 514u);
    CloseArchive();
}

// Joined without "zip -A": the offsets count from the archive's own start,
// as unzip and Python read them, and the configuration block is found.
TEST(CatalogInterop, ArchiveJoinedBehindTheProgramWithoutAdjustedOffsets) {
    REQUIRE_TOOL("zip");
    REQUIRE_TOOL("python3");
    TempDir dir;
    MakeSourceTree(dir.File("src"));
    std::string archive = dir.File("plain.zip");
    ASSERT_TRUE(Shell("cd " + Quote(dir.File("src")) + " && zip -q -r -X " + Quote(archive) + " ."));
    std::string program = dir.File("setup.exe");
    WriteFileBytes(program, MakeStubPrefix("C:\\Programme\\Ziel", "", 4096) + ReadFileBytes(archive));
    ExpectSameListing(dir, program, 6);
    OpenArchive(program.c_str());
    EXPECT_STREQ(Archive.configTarget, "C:\\Programme\\Ziel");
    EXPECT_EQ(Archive.firstLocalHeader, 4096u + 514u);
    CloseArchive();
}

// More than 65,535 entries: Python writes the Zip64 end record and its
// locator, with all ones in the end record's counts.
TEST(CatalogInterop, PythonZip64ArchiveOfManyEntries) {
    REQUIRE_TOOL("python3");
    TempDir dir;
    std::string archive = dir.File("many.zip");
    std::string writer = dir.File("many.py");
    WriteFileBytes(writer, "import sys, zipfile\n"
                           "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                           "    for i in range(65600):\n"
                           "        z.writestr(zipfile.ZipInfo('d%d/%d' % (i % 7, i)), b'%d' % i)\n");
    ASSERT_TRUE(Shell("python3 " + Quote(writer) + " " + Quote(archive)));
    std::string bytes = ReadFileBytes(archive);
    ASSERT_NE(bytes.find(std::string("PK\6\7", 4), bytes.size() - 22 - 20), std::string::npos);
    std::string expected = ListWithPython(dir, archive);
    SfxStatus status;
    EXPECT_EQ(ListWithCatalog(archive, &status), expected);
    EXPECT_EQ(status, SFX_OK);
    EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 65600);
}

}  // namespace

#!/usr/bin/env python3
"""Round trips: folders of many shapes packed by mksfx and extracted by unzip,
7z and unsfx, byte-exact with times; the stored layout checked against what
the stub expects (configuration block before the first local header,
absolute offsets, ASCII names as they are, any other flagged UTF-8, no data
descriptors, incompressible data stored)."""
import os
import random
import time
import zipfile
from mksfx_testlib import *

require_tool(MKSFX)
for tool in ("unzip", "7z"):
    require_tool(tool)
have_unsfx = os.path.isfile(UNSFX)
check(have_unsfx, "unsfx missing at %s: the engine's own extraction is not tested" % UNSFX)

rng = random.Random(8)
FILES = {
    "dist/empty.txt": b"",
    "dist/one.txt": b"x",
    "dist/readme.txt": b"Hallo Welt\r\n" * 500,
    "dist/Grüße Müller/Übersicht.txt": "Größe: ÄÖÜ äöü ß\n".encode("utf-8") * 40,
    "dist/Preis in €.txt": b"euro sign needs UTF-8 in the archive\n",
    "dist/with spaces/name with  two spaces.dat": bytes(range(256)) * 16,
    "dist/" + "/".join("level%02d" % i for i in range(20)) + "/bottom.txt": b"deep\n",
    "dist/random.bin": bytes(rng.getrandbits(8) for _ in range(10 * 1024 * 1024)),
    "dist/.config.json": b"{}",
    "dist/.htaccess": b"Require all denied\n",
    "dist/Zeilen.txt": b"".join(b"Zeile %d\n" % i for i in range(20000)),
}
FOLDERS = ["dist/leer", "dist/with spaces/nothing here"]

with WorkDir() as work:
    stub = stub_path(work)
    src = os.path.join(work, "src")
    make_tree(src, FILES, FOLDERS)
    expected = read_tree(src)
    out = os.path.join(work, "setup.exe")
    result = mksfx(["-o", out, "--stub", stub, "--target", "C:\\Programme\\Müller", "--run", "setup.bat",
                    os.path.join(src, "dist")])
    check(result.returncode == 0, "mksfx failed: %s" % result.stderr.decode(errors="replace"))
    report = result.stdout.decode()
    check("13 entries (11 files, 2 folders)" in report, "report lacks the entry counts: %r" % report)
    check("CRC-32 correct" in report, "report lacks the read-back check: %r" % report)

    # Layout the stub relies on.
    end, entries, blob = raw_archive(out)
    with open(stub, "rb") as f:
        stub_bytes = f.read()
    check(blob.startswith(stub_bytes), "the program file does not start with the stub")
    first = entries[0]["local"]
    check(first == len(stub_bytes) + 514, "first local header at %d, expected behind stub and block" % first)
    block = blob[first - 514:first]
    check(block[:257].rstrip(b"\0") == "C:\\Programme\\Müller".encode("cp1252"), "target folder field: %r" % block[:40])
    check(block[257:].rstrip(b"\0") == b"setup.bat", "command field: %r" % block[257:280])
    check(end["cd_offset"] + end["cd_size"] == end["pos"], "central directory offset is not absolute")
    check(end["pos"] + 22 == len(blob), "trailing bytes behind the end record")
    for e in entries:
        raw = e["name"]
        check(blob[e["local"]:e["local"] + 4] == b"PK\x03\x04", "no local header for %r" % raw)
        check(e["needed"] == 20, "version needed %d for %r" % (e["needed"], raw))
        check(not (e["flags"] & 0x0008), "data descriptor flag set for %r" % raw)
        check(not (e["flags"] & 0x0001), "encryption flag set without a password for %r" % raw)
    by_name = {}
    for e in entries:
        text = e["name"].decode("utf-8") if e["flags"] & 0x0800 else e["name"].decode("cp850")
        by_name[text] = e
    check(sorted(by_name) == sorted(["dist/" + k[5:] for k in FILES] + [f + "/" for f in FOLDERS]),
          "entry names differ: %s" % sorted(by_name))
    check(by_name["dist/Grüße Müller/Übersicht.txt"]["flags"] & 0x0800, "an umlaut name lacks the UTF-8 flag")
    check(by_name["dist/Preis in €.txt"]["flags"] & 0x0800, "a name outside code page 850 lacks the UTF-8 flag")
    check(not (by_name["dist/Zeilen.txt"]["flags"] & 0x0800), "an ASCII name carries the UTF-8 flag")
    check(by_name["dist/random.bin"]["method"] == 0, "incompressible data was not stored")
    check(by_name["dist/Zeilen.txt"]["method"] == 8, "compressible data was not deflated")
    check(by_name["dist/empty.txt"]["method"] == 0 and by_name["dist/empty.txt"]["csize"] == 0, "empty file not stored empty")
    check(by_name["dist/leer/"]["eattr"] & 0x10, "folder entry lacks the folder attribute")
    order = [e["name"] for e in entries]
    # Stable order: the same input gives the same entry order in a second run.
    out2 = os.path.join(work, "again.exe")
    mksfx(["-o", out2, "--stub", stub, "-q", os.path.join(src, "dist")])
    check([e["name"] for e in raw_archive(out2)[1]] == order, "a second run gives another entry order")

    # Peers.
    x = os.path.join(work, "unzip")
    r = run(["unzip", "-q", out, "-d", x])
    check(r.returncode == 0, "unzip failed: %s" % r.stderr.decode(errors="replace"))
    check(b"extra bytes" not in r.stderr, "unzip reports unadjusted offsets: %s" % r.stderr)
    compare_trees(expected, read_tree(x), "unzip")
    x = os.path.join(work, "7z")
    r = run(["7z", "x", "-y", "-o" + x, out])
    check(r.returncode == 0, "7z failed: %s" % r.stdout.decode(errors="replace")[-500:])
    compare_trees(expected, read_tree(x), "7z")
    # bsdtar (libarchive) and Python's zipfile take the same names.
    x = os.path.join(work, "bsdtar")
    os.makedirs(x)
    r = run(["bsdtar", "-x", "-f", out, "-C", x])
    check(r.returncode == 0, "bsdtar failed: %s" % r.stderr.decode(errors="replace"))
    compare_trees(expected, read_tree(x), "bsdtar")
    x = os.path.join(work, "zipfile")
    with zipfile.ZipFile(out) as z:
        check(z.testzip() is None, "zipfile finds a damaged entry")
        z.extractall(x)
        for info in z.infolist():
            date_time = time.mktime(info.date_time + (0, 0, -1))
            os.utime(os.path.join(x, info.filename), (date_time, date_time))
    compare_trees(expected, read_tree(x), "zipfile")
    if have_unsfx:
        x = os.path.join(work, "unsfx")
        os.makedirs(x)
        r = run([UNSFX, "-d", x, out])
        check(r.returncode == 0, "unsfx failed: %s" % r.stderr.decode(errors="replace"))
        # The extractor makes no empty folders (it passes over folder entries).
        compare_trees(read_tree(src, with_folders=False), read_tree(x, with_folders=False), "unsfx")

    # --level 0 stores everything and still reads back.
    out0 = os.path.join(work, "stored.exe")
    r = mksfx(["-o", out0, "--stub", stub, "--level", "0", "-q", os.path.join(src, "dist")])
    check(r.returncode == 0 and r.stdout == b"", "--level 0 --quiet failed or printed: %r %r" % (r.stdout, r.stderr))
    check(all(e["method"] == 0 for e in raw_archive(out0)[1]), "--level 0 deflated an entry")
    x = os.path.join(work, "unzip0")
    check(run(["unzip", "-q", out0, "-d", x]).returncode == 0, "unzip of the stored archive failed")
    compare_trees(expected, read_tree(x), "unzip --level 0")

    # Several PATHs, a single file among them: each named from its own parent.
    out3 = os.path.join(work, "multi.exe")
    r = mksfx(["-o", out3, "--stub", stub, "-q", os.path.join(src, "dist", "one.txt"),
               os.path.join(src, "dist", "with spaces")])
    check(r.returncode == 0, "two PATHs failed: %s" % r.stderr.decode(errors="replace"))
    got = sorted(e["name"] for e in raw_archive(out3)[1])
    check(got == [b"one.txt", b"with spaces/name with  two spaces.dat", b"with spaces/nothing here/"],
          "names of several PATHs: %s" % got)

finish()

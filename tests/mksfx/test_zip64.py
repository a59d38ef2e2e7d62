#!/usr/bin/env python3
"""Zip64 where the sizes and the count need it: a file past 4 GiB (zeros, so
that the program file stays small) and more than 65,535 entries, each packed
by mksfx and read by unzip -t, 7z t, Python's zipfile and bsdtar, and by
unsfx through the extractor's own engine."""
import os
import struct
import tempfile
import zipfile
from mksfx_testlib import *

require_tool(MKSFX)
for tool in ("unzip", "7z", "bsdtar"):
    require_tool(tool)
require_tool(UNSFX)

BIG = 4 * 1024 ** 3 + 16 * 1024 ** 2   # just past 4 GiB


def peers_accept(path, label):
    r = run(["unzip", "-tq", path])
    check(r.returncode == 0, "%s: unzip -t: %s" % (label, (r.stdout + r.stderr).decode(errors="replace")[-400:]))
    r = run(["7z", "t", path])
    check(r.returncode == 0, "%s: 7z t: %s" % (label, r.stdout.decode(errors="replace")[-400:]))
    r = run(["bsdtar", "-t", "-f", path])
    check(r.returncode == 0, "%s: bsdtar -t: %s" % (label, r.stderr.decode(errors="replace")[-400:]))
    with zipfile.ZipFile(path) as z:
        return z.infolist()


with tempfile.TemporaryDirectory(prefix="mksfx-zip64-") as work:
    stub = stub_path(work)

    # A file past 4 GiB: sizes in Zip64 fields of both headers, the small
    # file behind it in 32-bit fields, no Zip64 end record. Packing, reading
    # back and testing 4 GiB take minutes; the sanitizer build, several times
    # slower, leaves them to the release build, which runs the same code.
    if os.environ.get("SFX_ASAN"):
        print("the file past 4 GiB is left to the release build (SFX_ASAN is set)")
    else:
        src = os.path.join(work, "big")
        os.makedirs(src)
        with open(os.path.join(src, "zeros.bin"), "wb") as f:
            f.truncate(BIG)
        with open(os.path.join(src, "z_after.txt"), "wb") as f:
            f.write(b"after the big one\n")
        out = os.path.join(work, "big.exe")
        r = mksfx(["-o", out, "--stub", stub, "--level", "1", "-q", src])
        check(r.returncode == 0, "a file past 4 GiB refused: %s" % r.stderr.decode(errors="replace"))
        infos = {i.filename: i for i in peers_accept(out, "past 4 GiB")}
        big = infos.get("big/zeros.bin")
        check(big is not None and big.file_size == BIG, "zipfile sees the big entry with its size")
        with zipfile.ZipFile(out) as z:
            with z.open("big/z_after.txt") as f:
                check(f.read() == b"after the big one\n", "the entry behind the big one reads back")
        entries = raw_archive(out)[1]
        by_name = {e["name"]: e for e in entries}
        check(by_name[b"big/zeros.bin"]["needed"] == 45 and by_name[b"big/z_after.txt"]["needed"] == 20,
              "version 4.5 exactly where Zip64 is used: %s" % [(e["name"], e["needed"]) for e in entries])
        with open(out, "rb") as f:
            blob = f.read()
        check(b"PK\x06\x06" not in blob[-200:], "a Zip64 end record where neither count nor offsets need one")
        r = run([UNSFX, "-l", out])
        check(r.returncode == 0 and str(BIG).encode() in r.stdout, "unsfx -l shows the 64-bit size: %s" % r.stdout[-300:])

    # More than 65,535 entries: the count in the Zip64 end record.
    src = os.path.join(work, "many")
    for d in range(8):
        os.makedirs(os.path.join(src, "d%d" % d))
    count = 65600
    for i in range(count):
        with open(os.path.join(src, "d%d" % (i % 8), "f%05d.txt" % i), "wb") as f:
            f.write(b"%d\n" % i)
    out = os.path.join(work, "many.exe")
    r = mksfx(["-o", out, "--stub", stub, "--level", "1", "-q", src])
    check(r.returncode == 0, "65,600 entries refused: %s" % r.stderr.decode(errors="replace"))
    check(len(peers_accept(out, "65,600 entries")) == count, "zipfile counts every entry")
    with open(out, "rb") as f:
        f.seek(-22 - 20 - 56, 2)
        tail = f.read()
    check(tail[:4] == b"PK\x06\x06" and struct.unpack_from("<Q", tail, 32)[0] == count,
          "the Zip64 end record counts the entries")
    x = os.path.join(work, "x")
    os.makedirs(x)
    r = run([UNSFX, "-d", x, out])
    check(r.returncode == 0, "unsfx of 65,600 entries: %s" % r.stderr.decode(errors="replace")[-300:])
    got = sum(len(files) for _, _, files in os.walk(x))
    check(got == count, "unsfx wrote %d files, not %d" % (got, count))
    with open(os.path.join(x, "many", "d3", "f65531.txt"), "rb") as f:
        check(f.read() == b"65531\n", "the last entries hold their own data")

finish()

#!/usr/bin/env python3
"""--password --encryption zipcrypto: every file encrypted with the
traditional ZIP encryption,
sizes and CRC in the headers (no data descriptor, check byte from the CRC),
extracted by unzip -P, 7z -p and unsfx -p; a wrong password is refused."""
import os
from mksfx_testlib import *

require_tool(MKSFX)
require_tool("unzip")
require_tool("7z")
have_unsfx = os.path.isfile(UNSFX)
check(have_unsfx, "unsfx missing at %s: the engine's own decryption is not tested" % UNSFX)

FILES = {
    "geheim/leer.txt": b"",
    "geheim/kurz.txt": b"k",
    "geheim/text.txt": b"vertraulich " * 3000,
    "geheim/sub/zufall.bin": os.urandom(300000),
}
PASSWORD = "Sesam öffne dich"

with WorkDir() as work:
    stub = stub_path(work)
    src = os.path.join(work, "src")
    make_tree(src, FILES, ["geheim/leerer Ordner"])
    expected = read_tree(src)
    out = os.path.join(work, "geheim.exe")
    r = mksfx(["-o", out, "--stub", stub, "--password", PASSWORD, "--encryption", "zipcrypto",
               os.path.join(src, "geheim")])
    check(r.returncode == 0, "mksfx --password failed: %s" % r.stderr.decode(errors="replace"))
    check(b"4 of 4 files, CRC-32 correct" in r.stdout, "read-back did not check all files: %r" % r.stdout)

    end, entries, blob = raw_archive(out)
    for e in entries:
        folder = e["name"].endswith(b"/")
        check(bool(e["flags"] & 1) != folder, "encryption flag wrong for %r" % e["name"])
        check(not (e["flags"] & 8), "data descriptor flag set for %r" % e["name"])
        if not folder:
            check(e["csize"] >= 12, "no room for the encryption header in %r" % e["name"])
            local = struct.unpack_from("<HHHHHIII", blob, e["local"] + 4)
            check(local[5] == e["crc"] and local[6] == e["csize"] and local[7] == e["usize"],
                  "local header of %r lacks CRC or sizes" % e["name"])
    check(b"vertraulich" not in blob, "plain text visible in the encrypted program file")

    # The stub compares passwords in Windows code page 1252.
    pw = PASSWORD.encode("cp1252")
    x = os.path.join(work, "unzip")
    r = run(["unzip", "-q", "-P", pw, out, "-d", x])
    check(r.returncode == 0, "unzip -P failed: %s" % r.stderr.decode(errors="replace"))
    compare_trees(expected, read_tree(x), "unzip -P")
    r = run(["unzip", "-q", "-P", "falsch", out, "-d", os.path.join(work, "wrong")])
    check(r.returncode != 0, "unzip accepted a wrong password")
    x = os.path.join(work, "7z")
    r = run(["7z", "x", "-y", b"-p" + pw, "-o" + x, out])
    check(r.returncode == 0, "7z -p failed: %s" % r.stdout.decode(errors="replace")[-400:])
    compare_trees(expected, read_tree(x), "7z -p")
    if have_unsfx:
        x = os.path.join(work, "unsfx")
        os.makedirs(x)
        r = run([UNSFX, "-d", x, "-p", PASSWORD, out])
        if r.returncode != 0:
            os.makedirs(x + "2")
            r = run([UNSFX, "-d", x + "2", "-p", pw, out])
            x = x + "2"
        check(r.returncode == 0, "unsfx -p failed: %s" % r.stderr.decode(errors="replace"))
        compare_trees(read_tree(src, with_folders=False), read_tree(x, with_folders=False), "unsfx -p")
        y = os.path.join(work, "unsfx-wrong")
        os.makedirs(y)
        r = run([UNSFX, "-d", y, "-p", "falsch", out], stdin=subprocess.DEVNULL)
        check(r.returncode != 0, "unsfx accepted a wrong password")

    # The encryption headers are derived, not random: two builds of the same
    # input are identical (reproducible output), but the header bytes change
    # with the password and from entry to entry, so they cannot be foretold
    # from what the central directory shows.
    def headers(path):
        end, entries, data = raw_archive(path)
        return [data[e["local"] + 30 + len(e["name"]):][:12] for e in entries if e["flags"] & 1]
    out2 = os.path.join(work, "again.exe")
    mksfx(["-o", out2, "--stub", stub, "-q", "--password", PASSWORD, "--encryption", "zipcrypto",
               os.path.join(src, "geheim")])
    check(open(out, "rb").read() == open(out2, "rb").read(), "two builds with the same password differ")
    out3 = os.path.join(work, "other.exe")
    mksfx(["-o", out3, "--stub", stub, "-q", "--password", PASSWORD + "!", "--encryption", "zipcrypto",
           os.path.join(src, "geheim")])
    first = headers(out)
    check(all(a != b for a, b in zip(first, headers(out3))), "another password gives the same encryption headers")
    check(len(set(first)) == len(first), "two entries share their encryption header bytes")

finish()

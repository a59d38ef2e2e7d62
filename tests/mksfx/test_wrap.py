#!/usr/bin/env python3
"""--zip: archives from zip, 7z and Python's zipfile wrapped behind the stub
with every offset moved and the comment kept, read by unzip, 7z and unsfx;
and every archive the stub could not extract refused with the entry named."""
import os
import subprocess
import zipfile
from mksfx_testlib import *

require_tool(MKSFX)
for tool in ("zip", "unzip", "7z"):
    require_tool(tool)
have_unsfx = os.path.isfile(UNSFX)
check(have_unsfx, "unsfx missing at %s: wrapped archives are not extracted by the engine" % UNSFX)

FILES = {
    "paket/a.txt": b"alpha\n" * 1000,
    "paket/sub/b.bin": os.urandom(5000),
    "paket/sub/leer": b"",
}


def wrap_and_extract(work, archive, label, comment=None, peers=("unzip", "7z"), password=None):
    out = os.path.join(work, label + ".exe")
    given = ["--password", password] if password else []
    r = mksfx(["-o", out, "--stub", STUB, "--target", "C:\\Ziel"] + given + ["--zip", archive], timeout=120)
    if not check(r.returncode == 0, "%s: mksfx --zip failed: %s" % (label, r.stderr.decode(errors="replace"))):
        return
    if password:
        check(b"%d of %d files" % (len(FILES), len(FILES)) in r.stdout,
              "%s: not every entry read back with --password: %r" % (label, r.stdout))
    end, entries, blob = raw_archive(out)
    with open(archive, "rb") as f:
        original = f.read()
    check(end["cd_offset"] + end["cd_size"] == end["pos"], "%s: central directory offset not moved" % label)
    first = entries[0]["local"]
    check(blob[first - 514:first - 257].rstrip(b"\0") == b"C:\\Ziel", "%s: block not before the first entry" % label)
    for e in entries:
        check(blob[e["local"]:e["local"] + 4] == b"PK\x03\x04", "%s: local offset of %r not moved" % (label, e["name"]))
    if comment is not None:
        check(end["comment"] == comment, "%s: comment not kept: %r" % (label, end["comment"]))
    if "unzip" in peers:
        x = os.path.join(work, label + "-unzip")
        r = run(["unzip", "-q", out, "-d", x])
        check(r.returncode == 0 and b"extra bytes" not in r.stderr, "%s: unzip: %s" % (label, r.stderr))
        compare_trees(EXPECTED, read_tree(x, with_folders=False), label + " unzip")
    if "7z" in peers:
        x = os.path.join(work, label + "-7z")
        r = run(["7z", "x", "-y", "-o" + x] + (["-p" + password] if password else []) + [out])
        check(r.returncode == 0, "%s: 7z failed" % label)
        compare_trees(EXPECTED, read_tree(x, with_folders=False), label + " 7z")
    if have_unsfx:
        x = os.path.join(work, label + "-unsfx")
        os.makedirs(x)
        r = run([UNSFX, "-d", x] + (["-p", password] if password else []) + [out], stdin=subprocess.DEVNULL)
        check(r.returncode == 0, "%s: unsfx failed: %s" % (label, r.stderr.decode(errors="replace")))
        compare_trees(EXPECTED, read_tree(x, with_folders=False), label + " unsfx")


def refused(work, archive, label, *needles):
    out = os.path.join(work, "refused.exe")
    r = mksfx(["-o", out, "--stub", STUB, "--zip", archive])
    message = r.stderr.decode(errors="replace")
    check(r.returncode != 0, "%s: not refused" % label)
    for needle in needles:
        check(needle in message, "%s: message lacks %r: %r" % (label, needle, message))
    check(not os.path.exists(out), "%s: output left behind" % label)
    check(not [n for n in os.listdir(work) if n.startswith(".mksfx-")], "%s: temporary file left" % label)


def patch(src, dst, fn):
    with open(src, "rb") as f:
        blob = bytearray(f.read())
    fn(blob)
    with open(dst, "wb") as f:
        f.write(blob)


with WorkDir() as work:
    STUB = stub_path(work)
    src = os.path.join(work, "src")
    make_tree(src, FILES)
    EXPECTED = read_tree(src, with_folders=False)

    # Info-ZIP zip, deflated and stored, with a comment.
    a = os.path.join(work, "infozip.zip")
    check(run(["zip", "-q", "-r", "-X", a, "paket"], cwd=src).returncode == 0, "zip failed")
    run(["zip", "-q", "-z", a], input=b"Kommentar von zip\n")
    wrap_and_extract(work, a, "zip", comment=b"Kommentar von zip")
    a0 = os.path.join(work, "infozip0.zip")
    run(["zip", "-q", "-0", "-r", a0, "paket"], cwd=src)
    wrap_and_extract(work, a0, "zip-0")

    # 7-Zip.
    a7 = os.path.join(work, "sevenzip.zip")
    check(run(["7z", "a", "-tzip", a7, "paket"], cwd=src).returncode == 0, "7z a failed")
    wrap_and_extract(work, a7, "7z")

    # Python's zipfile, mixed methods and a comment.
    ap = os.path.join(work, "python.zip")
    with zipfile.ZipFile(ap, "w") as z:
        for rel in sorted(FILES):
            method = zipfile.ZIP_STORED if rel.endswith(".bin") else zipfile.ZIP_DEFLATED
            z.write(os.path.join(src, rel), rel, compress_type=method)
        z.comment = b"python comment"
    wrap_and_extract(work, ap, "zipfile", comment=b"python comment")

    # An archive that is itself behind a prefix (offsets counted from the
    # file start): the prefix is dropped, the entries kept.
    pre = os.path.join(work, "prefixed.zip")
    with open(ap, "rb") as f:
        body = f.read()
    with open(pre, "wb") as f:
        f.write(b"JUNK" * 100)
    with zipfile.ZipFile(pre, "a") as z:
        for rel in sorted(FILES):
            z.write(os.path.join(src, rel), rel)
    wrap_and_extract(work, pre, "prefixed")

    def central(blob):
        return blob.find(b"PK\x01\x02")

    # LZMA (method 14) as 7-Zip writes it, with an end marker (its default)
    # and without, plain, in WinZip AES and traditionally encrypted, and as
    # Python's zipfile writes it (end marker, its own properties). Info-ZIP's
    # unzip does not read LZMA.
    def sevenzip_lzma(name, *options):
        path = os.path.join(work, name)
        r = run(["7z", "a", "-tzip", "-mm=" + options[0]] + list(options[1:]) + [path, "paket"], cwd=src)
        check(r.returncode == 0, "7z a %s failed" % name)
        return path

    lz = sevenzip_lzma("lzma-eos.zip", "LZMA")
    flags = {i.filename: i.flag_bits for i in zipfile.ZipFile(lz).infolist()}
    check(flags["paket/a.txt"] & 2, "7z -mm=LZMA wrote no end marker: flags %r" % flags)
    wrap_and_extract(work, lz, "lzma-eos", peers=("7z",))
    lz_bare = sevenzip_lzma("lzma-no-eos.zip", "LZMA:eos=off")
    check(not zipfile.ZipFile(lz_bare).getinfo("paket/a.txt").flag_bits & 2, "7z eos=off wrote an end marker")
    wrap_and_extract(work, lz_bare, "lzma-no-eos", peers=("7z",))
    lz_aes = sevenzip_lzma("lzma-aes.zip", "LZMA", "-mem=AES256", "-pKennwort")
    wrap_and_extract(work, lz_aes, "lzma-aes", peers=("7z",), password="Kennwort")
    lz_crypt = sevenzip_lzma("lzma-zipcrypto.zip", "LZMA", "-mem=ZipCrypto", "-pKennwort")
    wrap_and_extract(work, lz_crypt, "lzma-zipcrypto", peers=("7z",), password="Kennwort")
    # The read-back has one password to offer: a wrong one is refused, not
    # offered again and again.
    r = mksfx(["-o", os.path.join(work, "wrong.exe"), "--stub", STUB, "--password", "falsch", "--zip", lz_aes],
              timeout=120)
    check(r.returncode != 0 and b"password not accepted" in r.stderr, "lzma-aes with a wrong password: %r" % r.stderr)
    apl = os.path.join(work, "python-lzma.zip")
    with zipfile.ZipFile(apl, "w", compression=zipfile.ZIP_LZMA) as z:
        for rel in sorted(FILES):
            z.write(os.path.join(src, rel), rel)
    wrap_and_extract(work, apl, "zipfile-lzma", peers=("7z",))

    # LZMA headers the stub would refuse at that entry, after writing the
    # ones before it: properties of another size, a first properties byte
    # past the format (225 is pb=5), and data too short for the header.
    def lzma_data(blob):
        info = zipfile.ZipFile(apl).getinfo("paket/a.txt")
        nlen, xlen = struct.unpack_from("<HH", blob, info.header_offset + 26)
        return info.header_offset + 30 + nlen + xlen

    for label, fn, needle in (
            ("properties size", lambda b: struct.pack_into("<H", b, lzma_data(b) + 2, 6), "of 6 bytes"),
            ("properties byte", lambda b: struct.pack_into("<B", b, lzma_data(b) + 4, 225), "pb=5"),
            ("short", lambda b: [struct.pack_into("<I", b, at + 20, 5) for at in (central(b),)], "9-byte")):
        bad = os.path.join(work, "lzma-bad.zip")
        patch(apl, bad, fn)
        refused(work, bad, "LZMA " + label, "paket/a.txt", needle)

    # Refusals.
    z64 = os.path.join(work, "zip64.zip")
    with zipfile.ZipFile(z64, "w") as z:
        with z.open("gross.txt", "w", force_zip64=True) as f:
            f.write(b"x")
    refused(work, z64, "zip64", "Zip64", "gross.txt")

    bz = os.path.join(work, "bzip2.zip")
    with zipfile.ZipFile(bz, "w", compression=zipfile.ZIP_BZIP2) as z:
        z.writestr("bz.txt", b"bzip2 " * 100)
    refused(work, bz, "bzip2", "bz.txt")

    m12 = os.path.join(work, "method12.zip")
    patch(ap, m12, lambda b: struct.pack_into("<H", b, central(b) + 10, 12))
    refused(work, m12, "method 12", "paket/a.txt", "method 12")
    v45 = os.path.join(work, "version45.zip")
    patch(ap, v45, lambda b: struct.pack_into("<H", b, central(b) + 6, 45))
    refused(work, v45, "version 4.5", "paket/a.txt", "4.5")
    strong = os.path.join(work, "strong.zip")
    patch(ap, strong, lambda b: struct.pack_into("<H", b, central(b) + 8, 0x41))
    refused(work, strong, "strong encryption", "paket/a.txt", "strong")
    aes = os.path.join(work, "aes.zip")
    patch(ap, aes, lambda b: struct.pack_into("<HH", b, central(b) + 8, 1, 99))
    refused(work, aes, "AES", "paket/a.txt", "AES")
    disk = os.path.join(work, "multidisk.zip")
    patch(ap, disk, lambda b: struct.pack_into("<H", b, b.rfind(b"PK\x05\x06") + 4, 1))
    refused(work, disk, "multi-disk", "multi-disk")

    enc = os.path.join(work, "zip-e.zip")
    run(["zip", "-q", "-P", "pw", "-r", enc, "paket"], cwd=src)
    flags = [i.flag_bits for i in zipfile.ZipFile(enc).infolist() if not i.is_dir()]
    if all(f & 8 for f in flags):
        refused(work, enc, "zip -e with data descriptors", "data descriptor")

    for bad, label, needle in ((b"../evil.txt", "dotdot", ".."), (b"/abs.txt", "leading slash", "slash"),
                               (b"a/CON.txt", "device", "device"), (b"c:evil.txt", "colon", "cannot hold")):
        path = os.path.join(work, "unsafe.zip")
        with zipfile.ZipFile(path, "w") as z:
            z.writestr(zipfile.ZipInfo(bad.decode()), b"x")
        refused(work, path, "unsafe name " + label, needle)

    notzip = os.path.join(work, "not.zip")
    with open(notzip, "wb") as f:
        f.write(b"no archive here" * 10)
    refused(work, notzip, "not a zip", "not a ZIP archive")

finish()

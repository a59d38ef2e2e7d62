#!/usr/bin/env python3
"""--method lzma writes ZIP method 14: version needed 6.3, general purpose
bit 1 (end marker), the 4-byte header with properties size 5, the
properties with a dictionary sized to the file. Read by 7z t, bsdtar,
Python's zipfile (exact bytes) and unsfx; the same bytes with 1 and 3
threads; an empty and an incompressible file stored; with --password
WinZip AES around LZMA (method 99 naming 14) read by 7z, unsfx and a
Python reader of the format, with --encryption zipcrypto method 14 under
the traditional header read by zipfile and 7z."""
import lzma
import os
import random
import struct
import sys
from mksfx_testlib import *


def import_cryptography():
    try:
        import cryptography  # noqa: F401
    except ImportError:
        sys.path.append("/usr/lib/python3/dist-packages")
    from cryptography.hazmat.primitives import hashes, hmac
    from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
    from cryptography.hazmat.primitives.kdf.pbkdf2 import PBKDF2HMAC
    return hashes, hmac, Cipher, algorithms, modes, PBKDF2HMAC


hashes, hmac, Cipher, algorithms, modes, PBKDF2HMAC = import_cryptography()


def lzma_entry(data):
    """The plain data of method 14 entry data: header, properties, stream."""
    major, minor, psize = struct.unpack_from("<BBH", data, 0)
    props = data[4:4 + psize]
    d = props[0]
    lc, lp, pb = d % 9, (d // 9) % 5, d // 45
    dictionary = struct.unpack_from("<I", props, 1)[0]
    plain = lzma.decompress(data[4 + psize:], format=lzma.FORMAT_RAW,
                            filters=[{"id": lzma.FILTER_LZMA1, "dict_size": dictionary, "lc": lc, "lp": lp, "pb": pb}])
    return psize, d, dictionary, plain


def aes_plain(blob, entry, password):
    """Decrypts an AE-2 entry (AES-256) independently of the program."""
    nlen, xlen = struct.unpack_from("<HH", blob, entry["local"] + 26)
    start = entry["local"] + 30 + nlen + xlen
    data = blob[start:start + entry["csize"]]
    salt, verifier, body, code = data[:16], data[16:18], data[18:-10], data[-10:]
    derived = PBKDF2HMAC(hashes.SHA1(), 66, salt, 1000).derive(password)
    if derived[64:] != verifier:
        raise ValueError("wrong password")
    mac = hmac.HMAC(derived[32:64], hashes.SHA1())
    mac.update(body)
    if mac.finalize()[:10] != code:
        raise ValueError("authentication code")
    counters = b"".join((i + 1).to_bytes(16, "little") for i in range((len(body) + 15) // 16))
    encryptor = Cipher(algorithms.AES(derived[:32]), modes.ECB()).encryptor()
    stream = encryptor.update(counters) + encryptor.finalize()
    return bytes(a ^ b for a, b in zip(body, stream))


require_tool(MKSFX)
require_tool(UNSFX)
require_tool("7z")
require_tool("bsdtar")

rng = random.Random(14)
# Records of 32-bit fields (aligned data), prose, and bytes nothing shrinks.
records = b"".join(struct.pack("<IIHH", i, i * 7919 & 0xFFFFF, i % 640, 3) for i in range(20000))
words = "Archiv Datei Ordner Kennwort the of and to in is that for compression stream".split()
prose = " ".join(rng.choice(words) for _ in range(40000)).encode()
FILES = {
    "paket/daten.bin": records,
    "paket/text/liesmich.txt": prose,
    "paket/text/kurz.txt": b"kurz",
    "paket/leer.txt": b"",
    "paket/zufall.bin": os.urandom(90000),
}
PASSWORD = "Sesam, oeffne dich!"

with WorkDir() as work:
    stub = stub_path(work)
    src = os.path.join(work, "src")
    make_tree(src, FILES, ["paket/leerer Ordner"])
    files_only = read_tree(src, with_folders=False)
    out = os.path.join(work, "lzma.exe")
    r = mksfx(["-o", out, "--stub", stub, "--method", "lzma", "--threads", "1", os.path.join(src, "paket")])
    check(r.returncode == 0 and b"5 of 5 files, CRC-32 correct" in r.stdout,
          "mksfx --method lzma: %s %s" % (r.stdout.decode(errors="replace"), r.stderr.decode(errors="replace")))

    end, entries, blob = raw_archive(out)
    for e in entries:
        name = e["name"].decode()
        if name.endswith("/"):
            continue
        data = FILES[name]
        nlen, xlen = struct.unpack_from("<HH", blob, e["local"] + 26)
        local_needed, local_flags, local_method = struct.unpack_from("<HHH", blob, e["local"] + 4)
        stored = blob[e["local"] + 30 + nlen + xlen:][:e["csize"]]
        if name in ("paket/leer.txt", "paket/zufall.bin", "paket/text/kurz.txt"):
            check(e["method"] == 0 and not e["flags"] & 2 and stored == data,
                  "%s: not stored (method %d)" % (name, e["method"]))
            continue
        check(e["method"] == 14 and local_method == 14 and e["flags"] & 2 and local_flags & 2 and
              e["needed"] == 63 and local_needed == 63,
              "%s: method %d, flags %x, version %d/%d" % (name, e["method"], e["flags"], e["needed"], local_needed))
        psize, d, dictionary, plain = lzma_entry(stored)
        check(plain == data, "%s: liblzma decodes other bytes" % name)
        # The smallest 2^n or 3 * 2^n that holds the file, at least 4 KiB.
        power = dictionary & (dictionary - 1) == 0
        three = dictionary % 3 == 0 and (dictionary // 3) & (dictionary // 3 - 1) == 0
        check(psize == 5 and d < 225 and dictionary >= len(data) and dictionary >= 4096 and (power or three) and
              (dictionary // 4 * 3 < len(data) or dictionary == 4096),
              "%s: properties size %d, byte %d, dictionary %d for %d bytes" % (name, psize, d, dictionary, len(data)))

    r = run(["7z", "t", out])
    check(r.returncode == 0 and b"Everything is Ok" in r.stdout, "7z t: %s" % r.stdout.decode(errors="replace")[-400:])
    x = os.path.join(work, "bsdtar")
    os.makedirs(x)
    r = run(["bsdtar", "-xf", out, "-C", x])
    check(r.returncode == 0, "bsdtar: %s" % r.stderr.decode(errors="replace"))
    compare_trees(files_only, read_tree(x, with_folders=False), "bsdtar")
    with zipfile.ZipFile(out) as z:
        for name, data in FILES.items():
            check(z.read(name) == data, "zipfile: %s differs" % name)
    x = os.path.join(work, "unsfx")
    r = run([UNSFX, "-d", x, out])
    check(r.returncode == 0, "unsfx: %s" % r.stderr.decode(errors="replace"))
    compare_trees(files_only, read_tree(x, with_folders=False), "unsfx")

    # Whole files on several threads: the same bytes with any number.
    many = os.path.join(work, "many.exe")
    mksfx(["-o", many, "--stub", stub, "-q", "--method", "lzma", "--threads", "3", os.path.join(src, "paket")])
    check(open(many, "rb").read() == blob, "--threads 3 wrote other bytes than --threads 1")

    # From a megabyte on, a file's match finder runs on a thread of its own
    # when there are several: the same bytes as on one thread, also where
    # matches reach their longest (long runs), at the file's last bytes,
    # and where the stream ends up larger than the file (stored). From 12 MB
    # on, the context trials replay one sample's matches to every candidate
    # (the middle, where records and prose lie). Debug builds check every
    # match that liblzma takes against the data.
    big = os.path.join(work, "gross")
    varied = records + prose
    make_tree(big, {"gross/lang.bin": b"\0" * 6200000 + varied + b"\0" * 6000000 + prose[:5000] + b"abcabcab",
                    "gross/gemischt.bin": b"\0" * 4096 + os.urandom(1 << 20)}, [])
    outs = []
    for threads in ("1", "2"):
        path = os.path.join(work, "gross%s.exe" % threads)
        r = mksfx(["-o", path, "--stub", stub, "--method", "lzma", "--threads", threads, os.path.join(big, "gross")])
        check(r.returncode == 0 and b"2 of 2 files, CRC-32 correct" in r.stdout,
              "mksfx --threads %s of large files: %s" % (threads, r.stderr.decode(errors="replace")))
        outs.append(open(path, "rb").read() if os.path.exists(path) else b"")
    check(outs[0] == outs[1], "the match finder on its own thread changed the bytes")
    end, entries, gblob = raw_archive(path)
    methods = {e["name"].decode(): e["method"] for e in entries}
    check(methods == {"gross/lang.bin": 14, "gross/gemischt.bin": 0}, "large files: methods %r" % methods)

    # AES-256 around LZMA: method 99, the 0x9901 field names 14.
    aes = os.path.join(work, "aes.exe")
    r = mksfx(["-o", aes, "--stub", stub, "--method", "lzma", "--password", PASSWORD, os.path.join(src, "paket")])
    check(r.returncode == 0 and b"5 of 5 files, authentication codes correct" in r.stdout,
          "mksfx --method lzma --password: %s" % r.stderr.decode(errors="replace"))
    end, entries, ablob = raw_archive(aes)
    for e in entries:
        name = e["name"].decode()
        if name.endswith("/"):
            continue
        nlen, xlen = struct.unpack_from("<HH", ablob, e["local"] + 26)
        extra = ablob[e["local"] + 30 + nlen:][:xlen]
        inner = struct.unpack_from("<H", extra, 9)[0] if extra[:2] == b"\x01\x99" else None
        plain = aes_plain(ablob, e, PASSWORD.encode("cp1252"))
        if inner == 14:
            check(e["needed"] == 63 and e["flags"] & 3 == 3, "%s: AES+LZMA version %d flags %x" %
                  (name, e["needed"], e["flags"]))
            plain = lzma_entry(plain)[3]
        check(e["method"] == 99 and inner == (0 if len(FILES[name]) in (0, 4, 90000) else 14) and
              plain == FILES[name], "%s: AES entry method %d, inner %r, or other bytes" % (name, e["method"], inner))
    r = run(["7z", "t", "-p" + PASSWORD, aes])
    check(r.returncode == 0 and b"Everything is Ok" in r.stdout, "7z t of AES+LZMA: %s" % r.stdout.decode(errors="replace")[-400:])
    # (libarchive 3.6 reads no encrypted LZMA entry, 7-Zip's own neither.)
    x = os.path.join(work, "unsfx-aes")
    r = run([UNSFX, "-p", PASSWORD, "-d", x, aes])
    check(r.returncode == 0, "unsfx of AES+LZMA: %s" % r.stderr.decode(errors="replace"))
    compare_trees(files_only, read_tree(x, with_folders=False), "unsfx AES+LZMA")

    # The traditional encryption around method 14.
    zc = os.path.join(work, "zc.exe")
    r = mksfx(["-o", zc, "--stub", stub, "-q", "--method", "lzma", "--password", PASSWORD,
               "--encryption", "zipcrypto", os.path.join(src, "paket")])
    end, entries, zblob = raw_archive(zc)
    check(r.returncode == 0 and any(e["method"] == 14 and e["flags"] & 3 == 3 for e in entries),
          "--encryption zipcrypto with lzma: %r" % [(e["method"], e["flags"]) for e in entries])
    with zipfile.ZipFile(zc) as z:
        for name, data in FILES.items():
            check(z.read(name, pwd=PASSWORD.encode()) == data, "zipfile (ZipCrypto): %s differs" % name)
    r = run(["7z", "t", "-p" + PASSWORD, zc])
    check(r.returncode == 0 and b"Everything is Ok" in r.stdout, "7z t of ZipCrypto+LZMA")

    r = mksfx(["-o", zc, "--stub", stub, "--method", "lzma", "--level", "9", os.path.join(src, "paket")])
    check(r.returncode == 2 and b"--level" in r.stderr, "--level with --method lzma was not refused")
    r = mksfx(["-o", zc, "--stub", stub, "--method", "bzip2", os.path.join(src, "paket")])
    check(r.returncode == 2 and b"deflate or lzma" in r.stderr, "--method bzip2 was not refused")

finish()

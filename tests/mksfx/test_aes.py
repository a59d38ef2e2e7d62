#!/usr/bin/env python3
"""--password writes WinZip AES-256 (AE-2) by default: method 99 with the
extra field 0x9901, CRC-32 field 0, salt + verifier + data + authentication
code. Read by 7z t -p, bsdtar --passphrase and an independent reader of the
format written here on Python's cryptography package; a wrong password is
refused by the peers; the salts differ between entries and whenever a file's
content changes, yet two builds of the same input are the same bytes."""
import os
import sys
import zlib
from mksfx_testlib import *


def import_cryptography():
    """Debian's python3-cryptography installs it for the system's Python;
    another interpreter takes it from there."""
    try:
        import cryptography  # noqa: F401
    except ImportError:
        sys.path.append("/usr/lib/python3/dist-packages")
    try:
        from cryptography.hazmat.primitives import hashes, hmac
        from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
        from cryptography.hazmat.primitives.kdf.pbkdf2 import PBKDF2HMAC
    except ImportError:
        print("FAIL: Python's cryptography package is missing (Debian: python3-cryptography)", flush=True)
        print("0 passed, 1 failed")
        sys.exit(1)
    return hashes, hmac, Cipher, algorithms, modes, PBKDF2HMAC


hashes, hmac, Cipher, algorithms, modes, PBKDF2HMAC = import_cryptography()


def aes_fields(blob, at, length):
    """The 0x9901 field among the extra fields at blob[at:at + length]."""
    end = at + length
    while at + 4 <= end:
        tag, size = struct.unpack_from("<HH", blob, at)
        if tag == 0x9901:
            version, vendor, strength, method = struct.unpack_from("<H2sBH", blob, at + 4)
            return dict(size=size, version=version, vendor=vendor, strength=strength, method=method)
        at += 4 + size
    return None


def decrypt_entry(blob, entry, password):
    """The format's reading side, independent of the program: returns the
    plain data, or raises ValueError for a wrong password or a failed code."""
    nlen, xlen = struct.unpack_from("<HH", blob, entry["local"] + 26)
    aes = aes_fields(blob, entry["local"] + 30 + nlen, xlen)
    start = entry["local"] + 30 + nlen + xlen
    data = blob[start:start + entry["csize"]]
    n = 8 + 8 * aes["strength"]
    salt, verifier = data[:n // 2], data[n // 2:n // 2 + 2]
    body, code = data[n // 2 + 2:-10], data[-10:]
    derived = PBKDF2HMAC(hashes.SHA1(), 2 * n + 2, salt, 1000).derive(password)
    if derived[2 * n:] != verifier:
        raise ValueError("wrong password")
    mac = hmac.HMAC(derived[n:2 * n], hashes.SHA1())
    mac.update(body)
    if mac.finalize()[:10] != code:
        raise ValueError("authentication code")
    counters = b"".join((i + 1).to_bytes(16, "little") for i in range((len(body) + 15) // 16))
    encryptor = Cipher(algorithms.AES(derived[:n]), modes.ECB()).encryptor()
    stream = encryptor.update(counters) + encryptor.finalize()
    plain = bytes(a ^ b for a, b in zip(body, stream))
    return zlib.decompress(plain, -15) if aes["method"] == 8 else plain


require_tool(MKSFX)
require_tool("7z")
require_tool("bsdtar")

FILES = {
    "geheim/leer.txt": b"",
    "geheim/kurz.txt": b"k",
    "geheim/text.txt": b"vertraulich " * 3000,
    "geheim/sub/zufall.bin": os.urandom(70000),
    "geheim/zwilling.txt": b"vertraulich " * 3000,
}
PASSWORD = "Sesam, oeffne dich!"

with WorkDir() as work:
    stub = stub_path(work)
    src = os.path.join(work, "src")
    make_tree(src, FILES, ["geheim/leerer Ordner"])
    expected = read_tree(src)
    out = os.path.join(work, "geheim.exe")
    r = mksfx(["-o", out, "--stub", stub, "--password", PASSWORD, os.path.join(src, "geheim")])
    check(r.returncode == 0, "mksfx --password failed: %s" % r.stderr.decode(errors="replace"))
    check(b"5 of 5 files, authentication codes correct" in r.stdout, "read-back did not check all files: %r" % r.stdout)

    end, entries, blob = raw_archive(out)
    check(b"vertraulich" not in blob, "plain text visible in the encrypted program file")
    pw = PASSWORD.encode("cp1252")
    salts = []
    for e in entries:
        name = e["name"].decode()
        if name.endswith("/"):
            check(not (e["flags"] & 1) and e["method"] == 0, "folder %s marked encrypted" % name)
            continue
        check(e["flags"] & 1 and e["method"] == 99 and e["needed"] == 51 and e["crc"] == 0,
              "%s: not an AE-2 entry (flags %x, method %d, version %d, CRC %x)" %
              (name, e["flags"], e["method"], e["needed"], e["crc"]))
        nlen, xlen = struct.unpack_from("<HH", blob, e["local"] + 26)
        local = aes_fields(blob, e["local"] + 30 + nlen, xlen)
        check(local is not None and local["size"] == 7 and local["version"] == 2 and local["vendor"] == b"AE"
              and local["strength"] == 3 and local["method"] == (8 if b"vertraulich" in FILES[name] else 0),
              "%s: extra field 0x9901 wrong: %r" % (name, local))
        check(e["csize"] >= 28, "%s: no room for salt, verifier and code" % name)
        salts.append(blob[e["local"] + 30 + nlen + xlen:][:16])
        try:
            check(decrypt_entry(blob, e, pw) == FILES[name], "%s: Python's reading differs" % name)
        except ValueError as error:
            check(False, "%s: Python's reading refused it: %s" % (name, error))
        try:
            decrypt_entry(blob, e, b"falsch")
            check(False, "%s: Python accepted a wrong password" % name)
        except ValueError:
            pass
    check(len(set(salts)) == len(salts), "two entries share a salt (the same content under two names too)")

    r = run(["7z", "t", "-p" + PASSWORD, out])
    check(r.returncode == 0 and b"Everything is Ok" in r.stdout, "7z t failed: %s" % r.stdout.decode(errors="replace")[-400:])
    r = run(["7z", "t", "-pfalsch", out])
    check(r.returncode != 0, "7z accepted a wrong password")
    x = os.path.join(work, "bsdtar")
    os.makedirs(x)
    r = run(["bsdtar", "--passphrase", PASSWORD, "-xf", out, "-C", x])
    check(r.returncode == 0, "bsdtar failed: %s" % r.stderr.decode(errors="replace"))
    compare_trees(read_tree(src, with_folders=False), read_tree(x, with_folders=False), "bsdtar")

    # A changed byte in the data or in the code fails the peer's check.
    text = next(e for e in entries if e["name"] == b"geheim/text.txt")
    data_at = text["local"] + 30 + struct.unpack_from("<H", blob, text["local"] + 26)[0] + 11
    for at in (data_at + 18 + 5, data_at + text["csize"] - 3):
        bad = bytearray(blob)
        bad[at] ^= 0x20
        path = os.path.join(work, "bad.exe")
        open(path, "wb").write(bytes(bad))
        r = run(["7z", "t", "-p" + PASSWORD, path])
        check(r.returncode != 0, "7z took a changed byte at %d of the data" % (at - data_at))

    # Reproducible: the same input gives the same bytes; a file whose content
    # changes (same name, size and password) gets another salt.
    again = os.path.join(work, "again.exe")
    mksfx(["-o", again, "--stub", stub, "-q", "--password", PASSWORD, os.path.join(src, "geheim")])
    check(open(out, "rb").read() == open(again, "rb").read(), "two builds with the same password differ")
    changed = os.path.join(src, "geheim", "kurz.txt")
    open(changed, "wb").write(b"K")
    os.utime(changed, (BASE_TIME, BASE_TIME))
    other = os.path.join(work, "other.exe")
    mksfx(["-o", other, "--stub", stub, "-q", "--password", PASSWORD, os.path.join(src, "geheim")])
    def salt_of(path, name):
        end, entries, data = raw_archive(path)
        e = next(e for e in entries if e["name"] == name)
        return data[e["local"] + 30 + len(name) + 11:][:16]
    check(salt_of(out, b"geheim/kurz.txt") != salt_of(other, b"geheim/kurz.txt"),
          "a changed content kept its salt")
    check(salt_of(out, b"geheim/text.txt") == salt_of(other, b"geheim/text.txt"),
          "an unchanged file got another salt")

    # --zip wraps an AES archive of 7z (AES-128, the real method in the
    # 0x9901 field); the read-back decrypts it with --password.
    z = os.path.join(work, "7z-aes.zip")
    run(["7z", "a", "-tzip", "-mem=AES128", "-p" + PASSWORD, z, "geheim"], cwd=src)
    wrapped = os.path.join(work, "wrapped.exe")
    r = mksfx(["-o", wrapped, "--stub", stub, "--password", PASSWORD, "--zip", z])
    check(r.returncode == 0 and b"5 of 5 files" in r.stdout,
          "--zip of 7z's AES archive: %s %s" % (r.stdout.decode(errors="replace"), r.stderr.decode(errors="replace")))

    # --encryption zipcrypto keeps the traditional kind; --encryption alone
    # or with another kind is refused.
    zc = os.path.join(work, "zc.exe")
    r = mksfx(["-o", zc, "--stub", stub, "-q", "--password", PASSWORD, "--encryption", "zipcrypto",
               os.path.join(src, "geheim")])
    end, entries, data = raw_archive(zc)
    check(r.returncode == 0 and all(e["method"] in (0, 8) for e in entries), "--encryption zipcrypto wrote AES")
    r = mksfx(["-o", zc, "--stub", stub, "--encryption", "aes256", os.path.join(src, "geheim")])
    check(r.returncode == 2 and b"--encryption needs --password" in r.stderr, "--encryption without --password")
    r = mksfx(["-o", zc, "--stub", stub, "--password", "x", "--encryption", "aes128", os.path.join(src, "geheim")])
    check(r.returncode == 2 and b"aes256 or zipcrypto" in r.stderr, "--encryption aes128 was not refused")

finish()

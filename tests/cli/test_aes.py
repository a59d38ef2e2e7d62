"""unsfx on WinZip AES archives of 7z (AES-128, -192, -256; deflated,
stored and LZMA inside): byte-exact with times. A wrong password refuses every entry; a
changed byte in the data or in the authentication code fails the entry and
keeps nothing, an existing file included; AE-1's CRC-32 is checked, AE-2's
zero CRC is not taken for a mismatch."""
import os
import shutil
import struct
import subprocess
import zlib
from unsfx_lib import check, finish, make_sfx, need_tool, run_on_terminal, sample_tree, tempdir, tree, unsfx

need_tool("7z")
PASSWORD = "geheim-2026"


def entries(blob):
    """(name, central header offset, local header offset) of every entry."""
    end = blob.rfind(b"PK\x05\x06")
    count, size, offset = struct.unpack_from("<HII", blob, end + 10)
    out, at = [], offset
    for _ in range(count):
        nlen, xlen, clen = struct.unpack_from("<HHH", blob, at + 28)
        local = struct.unpack_from("<I", blob, at + 42)[0]
        out.append((blob[at + 46:at + 46 + nlen].decode(), at, local))
        at += 46 + nlen + xlen + clen
    return out


def data_span(blob, local):
    """Where the entry's data start, and how long they are (central size)."""
    nlen, xlen = struct.unpack_from("<HH", blob, local + 26)
    return local + 30 + nlen + xlen, struct.unpack_from("<I", blob, local + 18)[0]


def extract(sfx, out, *extra):
    return unsfx("-d", out, "-p", PASSWORD, *extra, sfx)


def same_tree(src, out, label):
    expected = sorted(p for p in tree(src) if not p.endswith("/"))
    got = sorted(p for p in tree(out) if not p.endswith("/")) if os.path.isdir(out) else []
    if not check(expected == got, f"{label}: files {got} instead of {expected}"):
        return
    for rel in expected:
        a, b = os.path.join(src, rel), os.path.join(out, rel)
        check(open(a, "rb").read() == open(b, "rb").read(), f"{label}: {rel} differs")
        check(int(os.stat(a).st_mtime) == int(os.stat(b).st_mtime), f"{label}: time of {rel} differs")


with tempdir() as work:
    src = os.path.join(work, "src")
    sample_tree(src)
    # Deflated and stored, and LZMA inside AES-256: the data's own method
    # from the 0x9901 field goes to the same decoders as without AES.
    for strength, method in (("AES128", "-mx=9"), ("AES128", "-mx=0"), ("AES192", "-mx=9"), ("AES192", "-mx=0"),
                             ("AES256", "-mx=9"), ("AES256", "-mx=0"), ("AES256", "-mm=LZMA")):
        label = f"{strength}{method}"
        path = os.path.join(work, label + ".zip")
        subprocess.run(["7z", "a", "-tzip", method, "-mem=" + strength, "-p" + PASSWORD, "-bd",
                        "-bso0", path, "."], cwd=src, check=True, capture_output=True)
        sfx = make_sfx(path, os.path.join(work, label + ".exe"))
        out = os.path.join(work, "out-" + label)
        r = extract(sfx, out)
        check(r.returncode == 0, f"{label}: exit {r.returncode}: {r.stderr!r}")
        same_tree(src, out, label)

    sfx = os.path.join(work, "AES256-mx=9.exe")
    blob = open(sfx, "rb").read()
    # A wrong password, no terminal: every encrypted entry refused, nothing
    # written (a wrong password passes the 2-byte verifier once in 65,536).
    out = os.path.join(work, "wrong")
    r = unsfx("-d", out, "-p", "falsch", sfx)
    check(r.returncode != 0 and b"Fehler (9961)" in r.stderr, f"wrong password: {r.returncode} {r.stderr!r}")
    files = [p for p in tree(out) if not p.endswith("/")] if os.path.isdir(out) else []
    check(files == [], f"wrong password left {files}")

    # On a terminal a wrong -p leads to the question; the right answer
    # unlocks that entry and every later one.
    out = os.path.join(work, "terminal")
    prompt = "(Strg-D bricht ab):"
    code, text = run_on_terminal(["-d", out, "-p", "falsch", sfx], [(prompt, "auch-falsch"), (prompt, PASSWORD)])
    check(code == 0 and text.count(prompt) == 2, f"terminal: exit {code}, asked {text.count(prompt)} times")
    same_tree(src, out, "terminal")

    # One changed byte in the data (start, middle, end) or in the
    # authentication code: that entry fails and keeps nothing; a file that
    # was there stays as it was.
    name, central, local = next(e for e in entries(blob) if e[0].endswith("big.bin"))
    start, size = data_span(blob, local)
    for at, what in ((start + 18, "first data byte"), (start + size // 2, "middle"),
                     (start + size - 11, "last data byte"), (start + size - 1, "authentication code")):
        bad = bytearray(blob)
        bad[at] ^= 0x04
        path = os.path.join(work, "bad.exe")
        open(path, "wb").write(bytes(bad))
        out = os.path.join(work, "bad")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(os.path.join(out, "sub", "deeper"))
        existing = os.path.join(out, name)
        open(existing, "wb").write(b"before")
        r = extract(path, out, "-o")
        check(r.returncode != 0, f"{what} changed: exit 0")
        check(open(existing, "rb").read() == b"before", f"{what} changed: the existing file was replaced")
        check(b"sub/deeper/big.bin" in r.stderr.replace(b"\\", b"/") or b"big.bin" in r.stderr,
              f"{what} changed: the entry is not named: {r.stderr!r}")
        others = [p for p in tree(out) if not p.endswith("/") and not p.endswith("big.bin")]
        check(len(others) == 6, f"{what} changed: the other entries were not all extracted: {others}")

    # AE-1 keeps the CRC-32 and it is checked: the real CRC extracts, a wrong
    # one fails with a CRC mismatch. 7z writes AE-2; the vendor version is
    # turned to 1 in both extra fields and the CRC put in both headers.
    name, central, local = next(e for e in entries(blob) if e[0].endswith("text.txt"))
    crc = zlib.crc32(open(os.path.join(src, name), "rb").read())
    for value, ok in ((crc, True), (crc ^ 1, False)):
        ae1 = bytearray(blob)
        for header, extra_at in ((central, central + 46), (local, local + 30)):
            nlen = struct.unpack_from("<H", ae1, header + (28 if header == central else 26))[0]
            field = bytes(ae1).find(b"\x01\x99\x07\x00", extra_at + nlen)
            struct.pack_into("<H", ae1, field + 4, 1)
            struct.pack_into("<I", ae1, header + (16 if header == central else 14), value)
        path = os.path.join(work, "ae1.exe")
        open(path, "wb").write(bytes(ae1))
        out = os.path.join(work, "ae1-%d" % ok)
        r = extract(path, out)
        got = os.path.isfile(os.path.join(out, name))
        if ok:
            check(r.returncode == 0 and got, f"AE-1 with its CRC: exit {r.returncode} {r.stderr!r}")
        else:
            check(r.returncode != 0 and b"19962" in r.stderr and not got,
                  f"AE-1 with a wrong CRC: exit {r.returncode}, kept {got}: {r.stderr!r}")

finish("unsfx WinZip AES archives")

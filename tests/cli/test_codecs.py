"""unsfx on deflated and encrypted archives of zip and 7z: byte-exact with
times; a wrong or missing password leaves nothing behind."""
import os
import struct
import subprocess
import zipfile
import zlib
from unsfx_lib import (check, check_extracted, finish, make_sfx, need_tool, run_on_terminal, sample_tree,
                       tempdir, tree, unsfx)

need_tool("zip")
need_tool("7z")


def check_byte_matches(path, info, password):
    """True when the password passes the one-byte check of the entry's
    encryption header (as the extractor does it: the CRC's high byte, with
    flag bit 3 also the DOS time's high byte)."""
    with open(path, "rb") as f:
        f.seek(info.header_offset)
        local = f.read(30)
        name_length, extra_length = struct.unpack("<HH", local[26:30])
        dos_time = struct.unpack("<H", local[10:12])[0]
        f.seek(info.header_offset + 30 + name_length + extra_length)
        header = f.read(12)
    keys = [0x12345678, 0x23456789, 0x34567890]

    def step(reg, byte):
        return ~zlib.crc32(bytes([byte]), ~reg & 0xFFFFFFFF) & 0xFFFFFFFF

    def update(byte):
        keys[0] = step(keys[0], byte)
        keys[1] = ((keys[1] + (keys[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        keys[2] = step(keys[2], keys[1] >> 24)

    for c in password.encode():
        update(c)
    plain = 0
    for c in header:
        t = (keys[2] & 0xFFFF) | 2
        plain = c ^ (((t * (t ^ 1)) >> 8) & 0xFF)
        update(plain)
    accepted = {info.CRC >> 24}
    if info.flag_bits & 8:
        accepted.add(dos_time >> 8)
    return plain in accepted


def refused_password(path, base):
    """A wrong password that the one-byte check refuses for every encrypted
    entry: about one wrong password in a hundred passes it, and is then only
    caught by the CRC check, which keeps what it wrote where nothing stood."""
    with zipfile.ZipFile(path) as z:
        infos = [i for i in z.infolist() if i.flag_bits & 1]
    for n in range(1000):
        candidate = base + (str(n) if n else "")
        if not any(check_byte_matches(path, i, candidate) for i in infos):
            return candidate
    raise RuntimeError("no refused password found")


with tempdir() as work:
    src = os.path.join(work, "src")
    sample_tree(src)

    cases = [
        ("zip9", ["zip", "-q", "-9", "-r", "-X"], None),
        ("zip1", ["zip", "-q", "-1", "-r", "-X"], None),
        ("zip-P", ["zip", "-q", "-6", "-r", "-X", "-P", "geheim"], "geheim"),
        ("zip0-P", ["zip", "-q", "-0", "-r", "-X", "-P", "geheim"], "geheim"),
        ("7z-deflate", ["7z", "a", "-tzip", "-mx=9", "-bd", "-bso0"], None),
        ("7z-crypto", ["7z", "a", "-tzip", "-mem=ZipCrypto", "-pgeheim", "-bd", "-bso0"], "geheim"),
    ]
    for label, command, password in cases:
        path = os.path.join(work, label + ".zip")
        subprocess.run(command + [path, "."], cwd=src, check=True, capture_output=True)
        sfx = make_sfx(path, os.path.join(work, label + ".exe"))
        out = os.path.join(work, "out-" + label)
        args = ["-d", out] + (["-p", password] if password else []) + [sfx]
        r = unsfx(*args)
        check(r.returncode == 0, f"{label}: exit {r.returncode}: {r.stderr!r}")
        check_extracted(path, out, label, password)

        if password:
            # Wrong password, no terminal: every encrypted entry is refused
            # and nothing is written.
            out = os.path.join(work, "wrong-" + label)
            r = unsfx("-d", out, "-p", refused_password(path, "falsch"), sfx)
            check(r.returncode != 0, f"{label}: wrong password exit 0")
            check(b"Fehler (9961)" in r.stderr, f"{label}: wrong password not reported: {r.stderr!r}")
            files = [p for p in tree(out) if not p.endswith("/")] if os.path.isdir(out) else []
            check(files == [], f"{label}: wrong password left {files}")
            # No password and no terminal.
            out = os.path.join(work, "none-" + label)
            r = unsfx("-d", out, sfx)
            check(r.returncode != 0 and b"-p" in r.stderr, f"{label}: missing password: {r.stderr!r}")

    # On a terminal: a wrong -p is followed by a hidden question, asked again
    # after a wrong answer; the right one unlocks every later entry too.
    sfx = os.path.join(work, "zip-P.exe")
    out = os.path.join(work, "terminal")
    prompt = "(Strg-D bricht ab):"
    archive = os.path.join(work, "zip-P.zip")
    code, text = run_on_terminal(["-d", out, "-p", refused_password(archive, "falsch"), "-o", sfx],
                                 [(prompt, refused_password(archive, "auch-falsch")), (prompt, "geheim")])
    check(code == 0, f"terminal password: exit {code}: {text!r}")
    check(text.count(prompt) == 2, f"terminal password asked {text.count(prompt)} times: {text!r}")
    check("geheim" not in text, "the typed password was echoed")
    check_extracted(os.path.join(work, "zip-P.zip"), out, "terminal", "geheim")

finish("unsfx deflated and encrypted archives")

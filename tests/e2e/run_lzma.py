#!/usr/bin/env python3
"""LZMA self-extractors under Wine: archives of 7-Zip (-mm=LZMA) and of
Python's zipfile (ZIP_LZMA), wrapped by the project's builder (mksfx --zip),
extracted by the stub and checked from Linux byte for byte and with the
files' times.

The 64-bit stub extracts a 7-Zip archive through the dialog and one of
zipfile silently, and an archive of plain, AES-256 and zipfile LZMA entries
under /S with a wrong and then the right /P=. With --bits 32 the real 32-bit
stub, whose every start takes a minute or more under qemu, runs that last
archive once, with the right password.

Usage: run_lzma.py [--bits 32|64] [--only NAME,...] [--counts FILE]
"""
import calendar
import os
import random
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib as lib  # noqa: E402
import run_scenarios as sc  # noqa: E402
import run_scripted as rs  # noqa: E402

PASSWORD = "Geheim-LZMA"
METHOD_LZMA = 14
# Far more than the 64 KB the stub reads at a time and than the 256 KB
# dictionary of 7-Zip's fastest level, so that the window wraps many times.
BIG_SIZE = 9 << 20
WORDS = "Grüße aus Köln die Straße ist lang der Fluss breit Zeile Daten Archiv Wert".encode("cp1252").split()


def lines_of_words(size, seed):
    """Numbered lines of words drawn at random: matches near and far, and
    quick to pack at 7-Zip's fast settings."""
    rng = random.Random(seed)
    lines, total, n = [], 0, 0
    while total < size:
        line = b"%07d " % n + b" ".join(rng.choice(WORDS) for _ in range(8)) + b"\r\n"
        lines.append(line)
        total += len(line)
        n += 1
    return b"".join(lines)[:size]


def sevenzip(cwd, archive, names, *options):
    result = subprocess.run(["7z", "a", "-tzip", "-bd"] + list(options) + [archive] + names, cwd=cwd,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
    if result.returncode != 0:
        raise RuntimeError("7z failed: " + result.stdout.decode("utf-8", "replace"))


def lzma_methods(path):
    """Each file entry's real method: the 0x9901 field's for AES ones."""
    methods = {}
    with zipfile.ZipFile(path) as archive:
        for info in archive.infolist():
            if info.is_dir():
                continue
            method, extra = info.compress_type, info.extra
            while method == 99 and len(extra) >= 4:
                field, size = int.from_bytes(extra[:2], "little"), int.from_bytes(extra[2:4], "little")
                if field == 0x9901 and size >= 7:
                    method = int.from_bytes(extra[9:11], "little")
                    break
                extra = extra[4 + size:]
            methods[info.filename] = (method, info.flag_bits)
    return methods


def not_lzma(path, names):
    """A scenario that would pass on deflated data proves nothing here."""
    methods = lzma_methods(path)
    wrong = [n for n in names if methods.get(n, (None,))[0] != METHOD_LZMA]
    return ["not LZMA in %s: %s" % (os.path.basename(path), wrong)] if wrong else []


def same_files(s, zip_path, names, folder):
    """The files byte for byte, each with the time its entry holds. 7-Zip
    writes an entry's DOS time with the offset in force when it packs, as
    Windows converts times, not the one of the file's date; so the expected
    time comes from the entry, read back as the stub's Windows reads it."""
    problems = lib.compare_tree(s.src, names, folder, check_times=False)
    with zipfile.ZipFile(zip_path) as archive:
        for name in names:
            path = os.path.join(folder, name)
            if not os.path.isfile(path):
                continue
            want = calendar.timegm(archive.getinfo(name).date_time + (0, 0, 0)) - time.localtime().tm_gmtoff
            got = int(os.stat(path).st_mtime)
            if got != want:
                problems.append("time of %s: expected %s, got %s" % (
                    name, time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(want)),
                    time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(got))))
    return problems


def wrap(zip_path, exe, password=None):
    """mksfx --zip, which reads every entry back through the extractor (with
    the password: the encrypted ones too)."""
    args = [lib.mksfx_path(), "-o", exe, "--stub", sc.STUB, "--quiet"]
    if password:
        args += ["--password", password]
    subprocess.run(args + ["--zip", zip_path], check=True, timeout=300)


def lzma_dialog(wine):
    """A 7-Zip LZMA archive without end markers (a 9 MB file in a folder, a
    stored one, an empty one, the entry of an empty folder, which the stub
    passes over, summer and winter times) through the dialog to the success
    box; a zipfile LZMA archive (end markers) of the smaller ones under /S."""
    s = sc.Scenario(wine, "lzma_dialog")
    if not lib.mksfx_path():
        return ["build/host/mksfx is not built"], ""
    s.files({"readme.txt": sc.GERMAN, "daten/gross.bin": lines_of_words(BIG_SIZE, 1),
             "daten/rauschen.bin": sc.pseudo_random(5000, 2), "leer.txt": b""}, sc.SUMMER)
    s.files({"english.txt": sc.ENGLISH}, sc.WINTER)
    os.makedirs(os.path.join(s.src, "leerer Ordner"))
    names = ["readme.txt", "english.txt", "daten/gross.bin", "daten/rauschen.bin", "leer.txt"]
    sevenzip(s.src, s.zip, names + ["leerer Ordner"], "-mm=LZMA:eos=off", "-mx=1")
    problems = not_lzma(s.zip, ["readme.txt", "english.txt", "daten/gross.bin"])
    if any(flags & 2 for method, flags in lzma_methods(s.zip).values() if method == METHOD_LZMA):
        problems.append("7z eos=off wrote end markers")
    wrap(s.zip, s.exe)
    passed, log = s.play(["settext 1000 " + s.win_dir + "ziel", "click 1"] + sc.success_box(s.name))
    problems += [] if passed else ["driver failed"]
    problems += same_files(s, s.zip, names, s.out("ziel"))

    # zipfile packs at LZMA's default level only, slow for the big file.
    py_names = [n for n in names if n != "daten/gross.bin"]
    py_zip = os.path.join(sc.WORK, s.name, "zipfile.zip")
    with zipfile.ZipFile(py_zip, "w", zipfile.ZIP_LZMA) as archive:
        for name in py_names:
            archive.write(os.path.join(s.src, name), name)
    problems += not_lzma(py_zip, py_names)
    py_exe = os.path.join(s.dir, "zipfile.exe")
    wrap(py_zip, py_exe)
    s.program, s.exe, s.win_exe = "zipfile.exe", py_exe, s.win_dir + "zipfile.exe"
    more, log2 = rs.silent(s, rs.folder_of(s, "still"), 0, "zipfile")
    problems += more + same_files(s, py_zip, py_names, s.out("still"))
    return problems, log + "\n" + log2


def lzma_password(wine):
    """One archive of plain LZMA entries of 7-Zip, AES-256 LZMA entries of
    7-Zip (a 9 MB file among them) and an LZMA entry of zipfile, under /S: a
    wrong /P= ends with 9961 and no encrypted file written (64-bit only), the
    right one extracts everything, the authentication codes checked."""
    s = sc.Scenario(wine, "lzma_password")
    if not lib.mksfx_path():
        return ["build/host/mksfx is not built"], ""
    plain = ["offen/liesmich.txt", "offen/english.txt"]
    secret = ["geheim/gross.bin", "geheim/notiz.txt"]
    added = "zipfile.txt"
    s.files({plain[0]: sc.GERMAN, plain[1]: sc.ENGLISH, secret[1]: sc.GERMAN * 3, added: sc.ENGLISH * 5})
    s.files({secret[0]: lines_of_words(BIG_SIZE, 3)}, sc.WINTER)
    sevenzip(s.src, s.zip, ["offen"], "-mm=LZMA")
    # The dictionary as large as the big file: its window is allocated whole.
    sevenzip(s.src, s.zip, ["geheim"], "-mm=LZMA:a=0:d=16m:mf=hc4", "-mem=AES256", "-p" + PASSWORD)
    with zipfile.ZipFile(s.zip, "a", zipfile.ZIP_LZMA) as archive:
        archive.write(os.path.join(s.src, added), added)
    names = plain + secret + [added]
    problems = not_lzma(s.zip, names)
    wrap(s.zip, s.exe, PASSWORD)
    logs = []
    if not sc.SUFFIX:
        more, log = rs.silent(s, "/P=falsch " + rs.folder_of(s, "falsch"), 9961, "wrong")
        problems += more
        logs.append(log)
        leaked = [n for n in secret if os.path.exists(os.path.join(s.out("falsch"), n))]
        if leaked:
            problems.append("written without the right password: %s" % leaked)
    more, log = rs.silent(s, "/P=%s %s" % (PASSWORD, rs.folder_of(s, "richtig")), 0, "right")
    logs.append(log)
    problems += more + same_files(s, s.zip, names, s.out("richtig"))
    return problems, "\n".join(logs)


SCENARIOS = [lzma_dialog, lzma_password]
SCENARIOS32 = [lzma_password]

if __name__ == "__main__":
    sc.SCENARIOS[:] = SCENARIOS
    sc.SCENARIOS32[:] = SCENARIOS32
    sys.exit(sc.main())

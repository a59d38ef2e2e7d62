#!/usr/bin/env python3
"""The test archives of other ZIP readers (Go's archive/zip, Python's
zipfile), taken from Debian's packages golang-1.19-src and
libpython3.11-testsuite at test time (fetched once with apt-get download and
kept under build/peer-archives; never part of this tree). Each archive is
joined behind a stand-in program without adjusted offsets and extracted by
unsfx. What Python's zipfile extracts, unsfx extracts the same; an entry it
cannot take (another method, a name it refuses as unsafe) it refuses with a
clear status, and no file it writes differs from Python's."""
import os
import re
import struct
import subprocess
import sys
import zipfile
import zlib

from unsfx_lib import SOURCE_DIR, check, config_block, tempdir, unsfx

CACHE = os.path.join(SOURCE_DIR, "build", "peer-archives")
PACKAGES = {
    "golang-1.19-src": "./usr/share/go-1.19/src/archive/zip/testdata/",
    "libpython3.11-testsuite": "./usr/lib/python3.11/test/",
}
PYTHON_FILES = ("zip_cp437_header.zip", "zipdir.zip", "ziptestdata/exe_with_zip", "ziptestdata/exe_with_z64")


def fetch():
    """The archives, or None (with the reason printed) when apt cannot get them."""
    os.makedirs(CACHE, exist_ok=True)
    found = []
    for package, folder in PACKAGES.items():
        target = os.path.join(CACHE, package)
        if not os.path.isdir(target):
            debs = [f for f in os.listdir(CACHE) if f.startswith(package + "_") and f.endswith(".deb")]
            if not debs:
                r = subprocess.run(["apt-get", "download", package], cwd=CACHE, capture_output=True)
                debs = [f for f in os.listdir(CACHE) if f.startswith(package + "_") and f.endswith(".deb")]
                if r.returncode != 0 or not debs:
                    print("peer archives: apt-get download %s failed (no network to Debian's archive?): %s"
                          % (package, r.stderr.decode(errors="replace").strip()[-300:]))
                    return None
            os.makedirs(target + ".part", exist_ok=True)
            tar = subprocess.Popen(["dpkg-deb", "--fsys-tarfile", os.path.join(CACHE, debs[0])],
                                   stdout=subprocess.PIPE)
            subprocess.run(["tar", "-x", "-C", target + ".part", "--wildcards", folder + "*"], stdin=tar.stdout,
                           check=True)
            tar.wait()
            os.rename(target + ".part", target)
        base = os.path.join(target, folder)
        if package.startswith("golang"):
            found += [os.path.join(base, f) for f in sorted(os.listdir(base)) if f.endswith(".zip")]
        else:
            found += [os.path.join(base, f) for f in PYTHON_FILES]
    return found


def unicode_path(info, raw):
    extra = info.extra
    while len(extra) >= 4:
        kind, size = struct.unpack("<HH", extra[:4])
        data = extra[4:4 + size]
        if kind == 0x7075 and size > 5 and data[0] == 1 and struct.unpack("<I", data[1:5])[0] == zlib.crc32(raw):
            return data[5:].decode("utf-8", errors="replace")
        extra = extra[4 + size:]
    return None


def name_of(info):
    """The name as the extractor means it: bit 11 UTF-8, else the Unicode path
    field, else valid UTF-8 from Unix or macOS, else code page 850."""
    if info.flag_bits & 0x800:
        return info.filename
    raw = info.filename.encode("cp437")
    name = unicode_path(info, raw)
    if name is None and info.create_system in (3, 19):
        try:
            name = raw.decode("utf-8")
        except UnicodeDecodeError:
            pass
    return name if name is not None else raw.decode("cp850")


def plain_path(name):
    """The relative path the extractor writes for a name it takes, else None."""
    parts = [p for p in re.split(r"[/\\]", name) if p not in ("", ".")]
    for p in parts:
        if p == ".." or re.search(r'[\x00-\x1f:<>"|?*]', p) or p[-1] in ". ":
            return None
    return "/".join(parts) if parts else None


def expected_entries(archive):
    """[(path or None, data or None, method, encrypted, clash)] of every file
    entry; None when zipfile cannot read the archive at all. clash: the path
    is also a folder of the archive, or lies below another file's path, so
    that not both can be extracted."""
    out = []
    try:
        z = zipfile.ZipFile(archive)
    except zipfile.BadZipFile:
        return None
    with z:
        folders = set()
        for info in z.infolist():
            path = plain_path(name_of(info))
            for at in range(len(path or "")):
                if path[at] == "/":
                    folders.add(path[:at])
        for info in z.infolist():
            name = name_of(info)
            unix_folder = info.create_system == 3 and (info.external_attr >> 28) == 4
            if name.endswith("/") or ((info.external_attr & 0x10 or unix_folder) and info.file_size == 0):
                folders.add(plain_path(name))
                continue
            try:
                data = z.read(info)
            except Exception:
                data = None
            out.append([plain_path(name), data, info.compress_type, bool(info.flag_bits & 1), False])
    files = {entry[0] for entry in out}
    for entry in out:
        path = entry[0] or ""
        entry[4] = path in folders or any(path[:at] in files for at in range(len(path)) if path[at] == "/")
    return out


def files_under(root):
    got = {}
    for folder, _, files in os.walk(root):
        for f in files:
            path = os.path.join(folder, f)
            got[os.path.relpath(path, root)] = open(path, "rb").read()
    return got


def main():
    archives = fetch()
    if archives is None:
        print("0 passed, 0 failed, 1 skipped")
        return 0
    passed = 0
    with tempdir() as work:
        for number, archive in enumerate(archives):
            label = os.path.relpath(archive, CACHE)
            expected = expected_entries(archive)
            program = os.path.join(work, "prog.exe")
            with open(program, "wb") as f:
                f.write(b"MZ" + b"\0" * 1022 + config_block() + open(archive, "rb").read())
            out = os.path.join(work, "out-%d" % number)
            r = unsfx("-o", "-d", out, program)
            errors = r.stderr.decode("utf-8", errors="replace")
            got = files_under(out) if os.path.isdir(out) else {}
            ok = True
            if expected is None:
                # zipfile refuses the archive: unsfx ends with a status of its own.
                ok = check(r.returncode in (0, 1) and "Fehler (" in errors or r.returncode == 0,
                           "%s: unsfx did not end cleanly: %d %s" % (label, r.returncode, errors[-300:]))
                passed += ok
                print("%s %s (zipfile refuses it; unsfx: %s)" % ("PASS" if ok else "FAIL", label,
                                                                 errors.strip().splitlines()[-1:]))
                continue
            for path, data, method, encrypted, clash in expected:
                simple = path is not None and data is not None and method in (0, 8) and not encrypted and not clash
                if simple:
                    ok &= check(got.get(path) == data, "%s: %s not extracted as zipfile reads it" % (label, path))
                elif path in got and data is not None:
                    ok &= check(got[path] == data, "%s: %s differs from what zipfile reads" % (label, path))
                if method not in (0, 8) and path is not None and not encrypted:
                    ok &= check("Fehler (19960)" in errors,
                                "%s: method %d of %s not refused as unsupported" % (label, method, path))
            known = {entry[0] for entry in expected if entry[0] is not None}
            ok &= check(set(got) <= known, "%s: files nobody asked for: %s" % (label, sorted(set(got) - known)[:5]))
            everything = all(p is not None and d is not None and m in (0, 8) and not e and not c
                             for p, d, m, e, c in expected)
            if everything:
                ok &= check(r.returncode == 0, "%s: unsfx failed: %s" % (label, errors[-300:]))
            else:
                ok &= check(r.returncode != 0 or not expected, "%s: a refused entry, but success" % label)
            passed += ok
            print("%s %s (%d entries)" % ("PASS" if ok else "FAIL", label, len(expected)))
    failed = len(archives) - passed
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


sys.exit(main())

"""Shared helpers of the mksfx tests: the tools under test and the peers,
trees of files with known contents and times, and tree comparison.

Environment: MKSFX (the builder), UNSFX (the host extractor), SFX_STUB32 (a
stub to use instead of build/win32/sfxstub.exe), SFX_SOURCE_DIR."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

SOURCE_DIR = os.environ.get("SFX_SOURCE_DIR",
                            os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
MKSFX = os.environ.get("MKSFX", os.path.join(SOURCE_DIR, "build", "host", "mksfx"))
UNSFX = os.environ.get("UNSFX", os.path.join(SOURCE_DIR, "build", "host", "unsfx"))

FAILURES = []
PASSES = [0]


def check(condition, what):
    """Records one check; the script fails at the end if any check failed."""
    if condition:
        PASSES[0] += 1
    else:
        FAILURES.append(what)
        print("FAIL: " + what, flush=True)
    return condition


def finish():
    print("%d passed, %d failed" % (PASSES[0], len(FAILURES)))
    sys.exit(1 if FAILURES else 0)


def require_tool(path_or_name):
    found = shutil.which(path_or_name) or (os.path.isfile(path_or_name) and os.access(path_or_name, os.X_OK))
    if not found:
        print("FAIL: required tool missing: %s" % path_or_name, flush=True)
        print("0 passed, 1 failed")
        sys.exit(1)


# unzip and 7z convert names by the locale; a UTF-8 one makes them write
# stored names unchanged (code page 850 bytes) and flagged UTF-8 names as UTF-8.
PEER_ENV = dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8")


def run(args, **kwargs):
    kwargs.setdefault("env", PEER_ENV)
    kwargs.setdefault("stdout", subprocess.PIPE)
    kwargs.setdefault("stderr", subprocess.PIPE)
    return subprocess.run(args, **kwargs)


def stand_in_stub():
    """A minimal valid Windows program header ('MZ', e_lfanew, 'PE\\0\\0'):
    enough for the builder and the readers, not meant to run."""
    image = bytearray(1024)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x80)
    image[0x80:0x84] = b"PE\0\0"
    return bytes(image)


def stub_path(workdir):
    """The 32-bit stub of the build when present, else a stand-in (said which)."""
    candidates = [os.environ.get("SFX_STUB32", ""), os.path.join(SOURCE_DIR, "build", "win32", "sfxstub.exe")]
    for candidate in candidates:
        if candidate and os.path.isfile(candidate):
            print("stub: %s" % candidate)
            return candidate
    path = os.path.join(workdir, "standin-stub.exe")
    with open(path, "wb") as f:
        f.write(stand_in_stub())
    print("stub: stand-in MZ/PE header written by the test (no build/win32/sfxstub.exe)")
    return path


class WorkDir:
    def __enter__(self):
        self.path = tempfile.mkdtemp(prefix="mksfx-test-")
        return self.path

    def __exit__(self, *exc):
        shutil.rmtree(self.path, ignore_errors=True)


# An even number of seconds well inside the DOS range, so that the 2-second
# resolution of DOS times loses nothing.
BASE_TIME = int(time.mktime((2021, 6, 15, 10, 20, 30, 0, 0, -1)))


def make_tree(root, files, folders=()):
    """files: {relative path: bytes}; folders: relative paths of empty folders.
    Every file gets its own even modification time."""
    for i, (rel, data) in enumerate(sorted(files.items())):
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        stamp = BASE_TIME + 2 * 3607 * i
        os.utime(path, (stamp, stamp))
    for rel in folders:
        os.makedirs(os.path.join(root, rel), exist_ok=True)


def read_tree(root, with_folders=True):
    """{relative path (bytes): (contents or None for a folder, mtime)}"""
    tree = {}
    root_b = os.fsencode(root)
    for folder, dirs, files in os.walk(root_b):
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                tree[os.path.relpath(path, root_b)] = (f.read(), int(os.stat(path).st_mtime))
        if with_folders:
            for name in dirs:
                path = os.path.join(folder, name)
                if not os.listdir(path):
                    tree[os.path.relpath(path, root_b) + b"/"] = (None, None)
    return tree


def compare_trees(expected, actual, label):
    """Same names, same bytes, same times (folders: only their presence)."""
    ok = check(sorted(expected) == sorted(actual),
               "%s: names differ: missing %s, extra %s" % (
                   label, sorted(set(expected) - set(actual))[:5], sorted(set(actual) - set(expected))[:5]))
    if not ok:
        return
    for name in expected:
        data, mtime = expected[name]
        got_data, got_mtime = actual[name]
        if data is None:
            continue
        check(data == got_data, "%s: contents of %r differ" % (label, name))
        check(mtime == got_mtime, "%s: time of %r is %s, expected %s" % (label, name, got_mtime, mtime))


def mksfx(args, **kwargs):
    return run([MKSFX] + args, **kwargs)


def central_entries(path):
    with zipfile.ZipFile(path) as z:
        return z.infolist()


def first_local_offset(path):
    return central_entries(path)[0].header_offset


def raw_archive(path):
    """Parses the program file as the stub does: end record at the end, the
    central directory where its (absolute) offset says. Returns (end record
    fields, [central entries], whole file bytes)."""
    with open(path, "rb") as f:
        blob = f.read()
    pos = blob.rfind(b"PK\x05\x06")
    assert pos >= 0, "no end record"
    disk, cdisk, on_disk, total, cd_size, cd_offset, comment_len = struct.unpack_from("<HHHHIIH", blob, pos + 4)
    end = dict(pos=pos, entries=total, cd_size=cd_size, cd_offset=cd_offset,
               comment=blob[pos + 22:pos + 22 + comment_len])
    entries = []
    at = cd_offset
    for _ in range(total):
        assert blob[at:at + 4] == b"PK\x01\x02", "no central header at %d" % at
        (made_by, needed, flags, method, dtime, ddate, crc, csize, usize, nlen, xlen, clen, dstart,
         iattr, eattr, local) = struct.unpack_from("<HHHHHHIIIHHHHHII", blob, at + 4)
        name = blob[at + 46:at + 46 + nlen]
        entries.append(dict(made_by=made_by, needed=needed, flags=flags, method=method, crc=crc,
                            csize=csize, usize=usize, name=name, local=local, eattr=eattr,
                            dtime=dtime, ddate=ddate))
        at += 46 + nlen + xlen + clen
    return end, entries, blob


def import_pefile():
    """Python's pefile, an independent reader of program files. Debian's
    python3-pefile installs it for the system's Python; another interpreter
    finds it there too (it is pure Python)."""
    try:
        import pefile
    except ImportError:
        sys.path.append("/usr/lib/python3/dist-packages")
        try:
            import pefile
        except ImportError:
            print("FAIL: Python's pefile is missing (Debian: python3-pefile)", flush=True)
            print("0 passed, 1 failed")
            sys.exit(1)
    return pefile


def png_image(width, height, seed):
    """A valid RGBA PNG file of the size, with pseudo-random pixels."""
    import random as _random
    import zlib
    rng = _random.Random(seed)
    rows = b"".join(b"\0" + bytes(rng.getrandbits(8) for _ in range(4 * width)) for _ in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def bmp_image(size, bits, seed):
    """An icon image as a device-independent bitmap: header (height doubled
    for the AND mask), palette for 4 and 8 bits, pixels, AND mask."""
    import random as _random
    rng = _random.Random(seed)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, 0, 0, 0, 0, 0)
    palette = bytes(rng.getrandbits(8) for _ in range(4 * (1 << bits))) if bits <= 8 else b""
    row = (size * bits + 31) // 32 * 4
    mask_row = (size + 31) // 32 * 4
    return header + palette + bytes(rng.getrandbits(8) for _ in range(row * size)) + bytes(mask_row * size)


def icon_file(images):
    """An .ico file; images: [(width, height, colour count, planes, bit count,
    data)], written in this order."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for width, height, colours, planes, bits, data in images:
        out += struct.pack("<BBBBHHII", width % 256, height % 256, colours, 0, planes, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(image[5] for image in images)


def read_icon_file(data):
    """[(width, height, colour count, planes, bit count, image data)] of an .ico file."""
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        w, h, c, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        images.append((w, h, c, planes, bits, data[offset:offset + size]))
    return images

#!/usr/bin/env python3
"""Compression and reproducible output: every level 0-12 reads back in unzip,
7z and unsfx; files of several pieces (the pieces are compressed apart and
joined into one stream) extract byte for byte; the same input gives the same
bytes again and with 1, 2 or 8 threads; SOURCE_DATE_EPOCH caps every entry's
time and is checked."""
import os
import random
import time
from mksfx_testlib import *

require_tool(MKSFX)
for tool in ("unzip", "7z"):
    require_tool(tool)
check(os.path.isfile(UNSFX), "unsfx missing at %s: the engine's own extraction is not tested" % UNSFX)

PIECE = 8 << 20
rng = random.Random(16)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(3000)]


def text(size, seed):
    r = random.Random(seed)
    out = bytearray()
    while len(out) < size:
        out += b" ".join(r.choice(words) for _ in range(12)) + b"\n"
    return bytes(out[:size])


SMALL = {
    "p/a.txt": text(300000, 1),
    "p/b.bin": random.Random(2).randbytes(70000),
    "p/c/leer.txt": b"",
}
# Files of several pieces (packed at level 2, fast, and above level 1, which
# passes over pieces that do not compress): text throughout; noise in the
# middle piece (stored blocks inside the stream); an exact multiple of the
# piece size; one byte more than that.
LARGE = {
    "q/text.txt": text(2 * PIECE + 12345, 3),
    "q/mixed.bin": text(PIECE, 4) + random.Random(5).randbytes(PIECE) + text(PIECE // 2, 6),
    "q/exact.txt": text(2 * PIECE, 7),
    "q/plus1.txt": text(PIECE, 8) + b"!",
}


def extract_all(program, label, expected):
    for tool, args in (("unzip", ["unzip", "-q", program, "-d"]), ("7z", ["7z", "x", "-y", program, "-o"])):
        x = os.path.join(os.path.dirname(program), label + "-" + tool)
        r = run(args[:-1] + [args[-1] + x] if tool == "7z" else args + [x])
        check(r.returncode == 0, "%s: %s failed: %s" % (label, tool, (r.stdout + r.stderr)[-300:]))
        compare_trees(expected, read_tree(x, with_folders=False), "%s by %s" % (label, tool))
    x = os.path.join(os.path.dirname(program), label + "-unsfx")
    os.makedirs(x)
    r = run([UNSFX, "-d", x, program])
    check(r.returncode == 0, "%s: unsfx failed: %s" % (label, r.stderr.decode(errors="replace")))
    compare_trees(expected, read_tree(x, with_folders=False), "%s by unsfx" % label)


def read(path):
    with open(path, "rb") as f:
        return f.read()


with WorkDir() as work:
    stub = stub_path(work)
    src = os.path.join(work, "src")
    make_tree(src, dict(SMALL, **LARGE))
    small = {k: v for k, v in read_tree(src, with_folders=False).items() if k.startswith(b"p/")}
    large = {k: v for k, v in read_tree(src, with_folders=False).items() if k.startswith(b"q/")}

    # Every level; the default is 11.
    sizes = {}
    for level in range(13):
        out = os.path.join(work, "level%d.exe" % level)
        r = mksfx(["-o", out, "--stub", stub, "-q", "--level", str(level), os.path.join(src, "p")])
        check(r.returncode == 0, "--level %d failed: %s" % (level, r.stderr.decode(errors="replace")))
        sizes[level] = os.path.getsize(out)
        extract_all(out, "level%d" % level, small)
    out = os.path.join(work, "default.exe")
    mksfx(["-o", out, "--stub", stub, "-q", os.path.join(src, "p")])
    check(read(out) == read(os.path.join(work, "level11.exe")), "the default level is not 11")
    check(sizes[12] < sizes[6] < sizes[1] < sizes[0], "levels 0 < 1 < 6 < 12 do not shrink the output: %s" % sizes)

    # Pieces joined into one stream, on any number of threads.
    outs = []
    for threads in ("1", "2", "8"):
        out = os.path.join(work, "threads%s.exe" % threads)
        r = mksfx(["-o", out, "--stub", stub, "-q", "--level", "2", "--threads", threads, os.path.join(src, "q")])
        check(r.returncode == 0, "--threads %s failed: %s" % (threads, r.stderr.decode(errors="replace")))
        outs.append(read(out))
    check(outs[0] == outs[1] == outs[2], "1, 2 and 8 threads give different program files")
    end, entries, blob = raw_archive(os.path.join(work, "threads2.exe"))
    check(all(e["method"] == 8 for e in entries), "a file of several pieces was not deflated")
    extract_all(os.path.join(work, "threads2.exe"), "pieces", large)
    out = os.path.join(work, "again.exe")
    mksfx(["-o", out, "--stub", stub, "-q", "--level", "2", os.path.join(src, "q")])
    check(read(out) == outs[0], "a second run gives other bytes")

    # SOURCE_DATE_EPOCH: later times are replaced by it, earlier ones stay.
    epoch = BASE_TIME + 2 * 3607 * 2 + 3001  # between the third and the fourth file's time
    env = dict(PEER_ENV, SOURCE_DATE_EPOCH=str(epoch))
    first = os.path.join(work, "epoch1.exe")
    r = mksfx(["-o", first, "--stub", stub, "-q", os.path.join(src, "p"), os.path.join(src, "q")], env=env)
    check(r.returncode == 0, "SOURCE_DATE_EPOCH run failed: %s" % r.stderr.decode(errors="replace"))
    t = time.localtime(epoch)
    epoch_dos = ((t.tm_year - 1980) << 25) | (t.tm_mon << 21) | (t.tm_mday << 16) | (t.tm_hour << 11) | \
        (t.tm_min << 5) | (t.tm_sec // 2)
    kept = 0
    for e in raw_archive(first)[1]:
        stamp = (e["ddate"] << 16) | e["dtime"]
        check(stamp <= epoch_dos, "%r carries a time after SOURCE_DATE_EPOCH" % e["name"])
        kept += stamp < epoch_dos
    check(kept == 3, "%d entries kept their earlier times, expected 3" % kept)
    # Files touched since then all carry SOURCE_DATE_EPOCH, so two builds
    # after different touches are the same.
    builds = []
    for offset in (0, 10):
        stamp = time.time() + offset
        for root, dirs, files in os.walk(src):
            for name in files:
                os.utime(os.path.join(root, name), (stamp, stamp))
        out = os.path.join(work, "epoch-touched%d.exe" % offset)
        mksfx(["-o", out, "--stub", stub, "-q", os.path.join(src, "p")], env=env)
        builds.append(read(out))
        stamps = set((e["ddate"] << 16) | e["dtime"] for e in raw_archive(out)[1])
        check(stamps == {epoch_dos}, "touched files do not all carry SOURCE_DATE_EPOCH: %s" % stamps)
    check(builds[0] == builds[1], "SOURCE_DATE_EPOCH builds after different touches differ")
    for label, value in (("not a number", "12abc"), ("before 1980", "86400")):
        out = os.path.join(work, "bad-epoch.exe")
        r = mksfx(["-o", out, "--stub", stub, "-q", os.path.join(src, "p")], env=dict(PEER_ENV, SOURCE_DATE_EPOCH=value))
        check(r.returncode == 1 and b"SOURCE_DATE_EPOCH" in r.stderr and not os.path.exists(out),
              "SOURCE_DATE_EPOCH %s accepted: %r" % (label, r.stderr))

finish()

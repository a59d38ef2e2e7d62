#!/usr/bin/env python3
"""--exclude: shell patterns on the stored names. A pattern without '/'
matches any file or folder name, one with '/' the whole name from its start,
one ending in '/' folders only; case does not count; a folder left out is not
looked into (so names inside it that the stub would refuse do no harm). The
report names what each pattern left out, also a pattern that matched nothing."""
import os
from mksfx_testlib import *

require_tool(MKSFX)

FILES = {
    "dist/app.exe": b"MZ program",
    "dist/liesmich.txt": b"Hallo\n",
    "dist/lib/util.o": b"o" * 100,
    "dist/Haupt.O": b"O" * 20,
    "dist/.git/config": b"[core]\n",
    "dist/.git/con.txt": b"a device name, which the stub would refuse",
    "dist/.git/objects/ab/cdef": b"x",
    "dist/build/out.txt": b"built",
    "dist/docs/build": b"a file named build, not a folder",
    "dist/docs/handbuch.pdf": b"%PDF",
    "dist/docs/sub/alt.pdf": b"%PDF old",
    "dist/Bilder/a1.png": b"png1",
    "dist/Bilder/b2.png": b"png2",
    "dist/Bilder/c3.png": b"png3",
}
PATTERNS = ["*.o", ".git", "build/", "dist/docs/*.pdf", "[ab]?.PNG", "*.xyz"]
KEPT = ["dist/app.exe", "dist/liesmich.txt", "dist/docs/build", "dist/docs/sub/alt.pdf", "dist/Bilder/c3.png"]

with WorkDir() as work:
    stub = stub_path(work)
    src = os.path.join(work, "src")
    make_tree(src, FILES, ["dist/lib/leer"])
    out = os.path.join(work, "out.exe")
    args = ["-o", out, "--stub", stub]
    for pattern in PATTERNS:
        args += ["--exclude", pattern]
    r = mksfx(args + [os.path.join(src, "dist")])
    report = r.stdout.decode()
    check(r.returncode == 0, "mksfx --exclude failed: %s" % r.stderr.decode(errors="replace"))
    names = sorted(e["name"].decode("cp850") for e in raw_archive(out)[1]) if r.returncode == 0 else []
    check(names == sorted(KEPT + ["dist/lib/leer/"]), "stored names: %s" % names)
    line = [l for l in report.splitlines() if "left out" in l]
    check(len(line) == 1, "no single summary line of what was left out: %r" % report)
    line = line[0] if line else ""
    # util.o and Haupt.O (case), handbuch.pdf, a1.png and b2.png; .git and build/.
    check("left out: 5 files (132 bytes) and 2 folders" in line, "summary totals: %r" % line)
    for part in ("*.o: 2 files", ".git: 1 folder", "build/: 1 folder", "dist/docs/*.pdf: 1 file",
                 "[ab]?.PNG: 2 files", "*.xyz: nothing"):
        check(part in line, "summary lacks %r: %r" % (part, line))

    # Everything left out; --exclude with --zip.
    r = mksfx(["-o", out, "--stub", stub, "--exclude", "*", os.path.join(src, "dist", "app.exe")])
    check(r.returncode == 1 and b"nothing is left" in r.stderr, "excluding everything: %r" % r.stderr)
    r = mksfx(["-o", out, "--stub", stub, "--exclude", "*.o", "--zip", out])
    check(r.returncode == 2 and b"--exclude" in r.stderr, "--exclude with --zip: %r" % r.stderr)

finish()

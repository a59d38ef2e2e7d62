#!/usr/bin/env python3
"""Every refusal of mksfx: a clear message, a non-zero exit, no output file
and no temporary file left, and an existing output file unchanged. Also the
command line (--help documents every option, wrong use exits 2)."""
import os
from mksfx_testlib import *

require_tool(MKSFX)

OLD = b"the previous program file\n"


def expect_refusal(work, args, label, needle, out_name="out.exe", cwd=None):
    out = os.path.join(work, out_name)
    with open(out, "wb") as f:
        f.write(OLD)
    r = mksfx(["-o", out] + args, cwd=cwd)
    message = r.stderr.decode(errors="replace")
    check(r.returncode == 1, "%s: exit %d, expected 1 (%s)" % (label, r.returncode, message))
    check(needle in message, "%s: message lacks %r: %r" % (label, needle, message))
    with open(out, "rb") as f:
        check(f.read() == OLD, "%s: the existing output file was changed" % label)
    check(not [n for n in os.listdir(work) if n.startswith(".mksfx-")], "%s: temporary file left" % label)
    os.remove(out)
    r = mksfx(["-o", out] + args, cwd=cwd)
    check(r.returncode == 1 and not os.path.exists(out), "%s: output file created" % label)


def one_file_tree(work, rel, data=b"x", root_name="case"):
    root = os.path.join(work, root_name)
    import shutil
    shutil.rmtree(root, ignore_errors=True)
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return os.path.join(root, rel.split("/")[0])


with WorkDir() as work:
    stub = stub_path(work)
    ok_input = one_file_tree(work, "ok/file.txt", root_name="fine")
    s = ["--stub", stub]

    # Names the stub refuses as unsafe, or cannot extract.
    for rel, label, needle in (
            ("d/a:b.txt", "colon", "cannot hold"),
            ("d/x<y.txt", "less-than", "cannot hold"),
            ("d/x>y.txt", "greater-than", "cannot hold"),
            ('d/say"hi".txt', "quote", "cannot hold"),
            ("d/p|q.txt", "pipe", "cannot hold"),
            ("d/what?.txt", "question mark", "cannot hold"),
            ("d/star*.txt", "star", "cannot hold"),
            ("d/bell\x07.txt", "control character", "control character"),
            ("d/CON", "CON", "device name"),
            ("d/con.txt", "con.txt", "device name"),
            ("d/sub/Lpt1.log", "LPT1", "device name"),
            ("d/COM9/x.txt", "COM9 folder", "device name"),
            ("d/nul.tar.gz", "NUL with two extensions", "device name"),
            ("d/aux", "aux", "device name"),
            ("d/prn.", "PRN.", "dot"),
            ("d/name ", "trailing blank", "blank"),
            ("d/back\\slash.txt", "backslash", "backslash"),
            ("d/COM².txt", "COM with a superscript two", "device name"),
            ("d/conin$", "CONIN$", "device name"),
            ):
        expect_refusal(work, s + [one_file_tree(work, rel)], "name: " + label, needle)
    # COM10 and CONSOLE are no device names.
    r = mksfx(["-o", os.path.join(work, "fine.exe"), "-q"] + s + [one_file_tree(work, "d/COM10/CONSOLE.txt")])
    check(r.returncode == 0, "COM10/CONSOLE.txt refused: %s" % r.stderr.decode(errors="replace"))

    # Names that differ only in case are one file on Windows.
    root = os.path.join(work, "casefold")
    os.makedirs(os.path.join(root, "d"))
    for n in ("Readme.txt", "README.TXT"):
        open(os.path.join(root, "d", n), "wb").close()
    expect_refusal(work, s + [os.path.join(root, "d")], "case duplicates", "twice")
    expect_refusal(work, s + [ok_input, ok_input], "same PATH twice", "twice")

    # Configuration block fields.
    expect_refusal(work, s + ["--target", "C:\\" + "t" * 254, ok_input], "target of 257", "at most 256")
    expect_refusal(work, s + ["--run", "r" * 257, ok_input], "command of 257", "at most 256")
    # Text outside code page 1252 takes the UTF-8 form: three bytes of mark, up to four per character.
    expect_refusal(work, s + ["--target", "C:\\" + "日" * 84, ok_input], "target of 256 bytes in UTF-8", "at most 256")
    r = mksfx(["-o", os.path.join(work, "limit.exe"), "-q", "--target", "C:\\" + "t" * 253, "--run", "r" * 256] + s + [ok_input])
    check(r.returncode == 0, "fields of exactly 256 characters refused: %s" % r.stderr.decode(errors="replace"))
    with open(os.path.join(work, "limit.exe"), "rb") as f:
        blob = f.read()
    first = raw_archive(os.path.join(work, "limit.exe"))[1][0]["local"]
    check(blob[first - 514:first - 257] == b"C:\\" + b"t" * 253 + b"\0", "256-character target not stored zero-terminated")
    check(blob[first - 257:first] == b"r" * 256 + b"\0", "256-character command not stored zero-terminated")

    # Stubs that are no Windows programs.
    text = os.path.join(work, "text.exe")
    with open(text, "wb") as f:
        f.write(b"just text, no program" * 10)
    expect_refusal(work, ["--stub", text, ok_input], "text stub", "not a Windows program")
    mz = bytearray(stand_in_stub())
    mz[0x80:0x84] = b"NE\0\0"
    with open(text, "wb") as f:
        f.write(mz)
    expect_refusal(work, ["--stub", text, ok_input], "MZ without PE", "not a Windows program")
    mz = bytearray(stand_in_stub())
    struct.pack_into("<I", mz, 0x3C, 0x7FFFFFF0)
    with open(text, "wb") as f:
        f.write(mz)
    expect_refusal(work, ["--stub", text, ok_input], "PE offset outside the file", "not a Windows program")
    expect_refusal(work, ["--stub", os.path.join(work, "missing.exe"), ok_input], "missing stub", "cannot be opened")

    # Inputs.
    expect_refusal(work, s + [os.path.join(work, "does-not-exist")], "missing input", "no such file")
    expect_refusal(work, s + ["."], "the current folder as '.'", "own name", cwd=ok_input)
    fifo = os.path.join(work, "pipe")
    os.mkfifo(fifo)
    expect_refusal(work, s + [fifo], "a named pipe", "neither a file nor a folder")

    # The output is a folder.
    os.makedirs(os.path.join(work, "afolder.exe"))
    r = mksfx(["-o", os.path.join(work, "afolder.exe")] + s + [ok_input])
    check(r.returncode == 1 and b"not a file" in r.stderr, "a folder as output accepted: %r" % r.stderr)

    # A successful run replaces an existing output.
    out = os.path.join(work, "replace.exe")
    with open(out, "wb") as f:
        f.write(OLD)
    r = mksfx(["-o", out, "-q"] + s + [ok_input])
    check(r.returncode == 0 and open(out, "rb").read().startswith(open(stub, "rb").read()),
          "an existing output was not replaced by a successful run")

    # Command line.
    r = mksfx(["--help"])
    usage = r.stdout.decode()
    check(r.returncode == 0, "--help failed")
    for option in ("-o OUT", "--stub", "--target", "--run", "--password", "--encryption", "--level", "--quiet", "--zip", "--help",
                   "2 GiB", "255", "UTF-8", "--threads", "--exclude", "--icon", "--product", "--version",
                   "--company", "--description", "--copyright", "Reproducible output", "SOURCE_DATE_EPOCH"):
        check(option in usage, "--help does not document %r" % option)
    for args, label in ((["x"], "no -o"), (["-o", "x.exe"], "no input"), (["-o", "x.exe", "--level", "13", "x"], "level 13"),
                        (["-o", "x.exe", "--bogus", "x"], "unknown option"), (["-o"], "-o without value"),
                        (["-o", "x.exe", "--zip", "a.zip", "x"], "PATH and --zip"),
                        (["-o", "x.exe", "--password", "", "x"], "empty password")):
        r = mksfx(args, cwd=work)
        check(r.returncode == 2 and r.stderr.startswith(b"mksfx: "), "%s: exit %d, %r" % (label, r.returncode, r.stderr))
        check(not os.path.exists(os.path.join(work, "x.exe")), "%s: output created" % label)

finish()

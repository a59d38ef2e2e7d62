"""A self-extractor signed after it was built (Authenticode: the signature
goes behind the archive) still extracts with unsfx, and unzip, 7z and
Python's zipfile still read it."""
import os
import subprocess
import sys
import zipfile
from unsfx_lib import (check, check_extracted, finish, make_sfx, need_tool, sample_tree, stub_bytes, tempdir, tree,
                       unsfx)
import signing

for tool in ("zip", "unzip", "7z", "openssl", "osslsigncode"):
    need_tool(tool)
if not stub_bytes().startswith(b"MZ") or b"PE\0\0" not in stub_bytes()[:1024]:
    print("FAIL: signing needs the real stub: build it first (make win32)")
    sys.exit(1)

with tempdir() as work:
    src = os.path.join(work, "src")
    sample_tree(src)
    archive = os.path.join(work, "dist.zip")
    subprocess.run(["zip", "-q", "-r", "-X", archive, "."], cwd=src, check=True)
    program = make_sfx(archive, os.path.join(work, "setup.exe"), target="C:\\Ziel")
    signed = os.path.join(work, "setup-signed.exe")
    try:
        signing.sign(program, signed, os.path.join(work, "cert"))
    except signing.SigningError as e:
        check(False, str(e))
        finish("signed")

    out = os.path.join(work, "out")
    r = unsfx("-d", out, signed)
    err = r.stderr.decode("utf-8", "replace")
    check(r.returncode == 0, f"unsfx on the signed program: exit {r.returncode}: {err}")
    check_extracted(archive, out, "signed")
    with zipfile.ZipFile(archive) as z:
        names = sorted(i.filename for i in z.infolist())
    check(tree(out) == names, f"signed: tree {tree(out)} != {names}")

    for args in (["unzip", "-tq", signed], ["7z", "t", "-bd", signed]):
        r = subprocess.run(args, capture_output=True, text=True)
        check(r.returncode == 0, f"{args[0]} on the signed program: exit {r.returncode}: {r.stdout}{r.stderr}")
    with zipfile.ZipFile(signed) as z:
        check(z.testzip() is None, "zipfile finds a damaged entry in the signed program")

finish("signed")

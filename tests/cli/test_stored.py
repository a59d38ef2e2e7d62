"""unsfx on self-extractors whose archives come from zip -0, 7z and Python's
zipfile (stored entries): byte-exact, correct times, listing, exit codes."""
import os
import subprocess
import zipfile
from unsfx_lib import (check, check_extracted, finish, make_sfx, need_tool, sample_tree, tempdir, tree, unsfx)

need_tool("zip")
need_tool("7z")

with tempdir() as work:
    src = os.path.join(work, "src")
    sample_tree(src)
    archives = {}

    archives["zip"] = os.path.join(work, "infozip.zip")
    subprocess.run(["zip", "-q", "-0", "-r", "-X", archives["zip"], "."], cwd=src, check=True)

    archives["7z"] = os.path.join(work, "sevenzip.zip")
    subprocess.run(["7z", "a", "-tzip", "-mx=0", "-bd", "-bso0", archives["7z"], "."], cwd=src, check=True)

    archives["python"] = os.path.join(work, "python.zip")
    with zipfile.ZipFile(archives["python"], "w", zipfile.ZIP_STORED) as z:
        for rel in tree(src):
            z.write(os.path.join(src, rel), rel)
        info = zipfile.ZipInfo("umlaut-\u00e4\u00f6\u00fc.txt", (2020, 5, 17, 8, 9, 10))
        z.writestr(info, "Gr\u00fc\u00dfe".encode("utf-8"))

    for tool, path in archives.items():
        sfx = make_sfx(path, os.path.join(work, f"{tool}.exe"), target="C:\\Ziel", command="setup.exe /s")
        # Three folder levels of -d are missing and made on the way.
        out = os.path.join(work, f"out-{tool}", "a", "b")
        r = unsfx("-d", out, sfx)
        err = r.stderr.decode("utf-8", "replace")
        check(r.returncode == 0, f"{tool}: exit {r.returncode}: {err}")
        check(f"{tool}.exe erfolgreich entkomprimiert." in err, f"{tool}: no success line in {err!r}")
        check("setup.exe /s" in err, f"{tool}: configured command not shown: {err!r}")
        check_extracted(path, out, tool)
        with zipfile.ZipFile(path) as z:
            names = sorted(i.filename for i in z.infolist() if not i.is_dir())
        extracted = [p for p in tree(out) if not p.endswith("/")]
        check(extracted == names, f"{tool}: tree {extracted} != {names}")

        # The listing: size, date, time, CRC, name, as zipfile reads them.
        r = unsfx("-l", sfx)
        check(r.returncode == 0, f"{tool}: -l exit {r.returncode}")
        lines = r.stdout.decode("utf-8").splitlines()
        with zipfile.ZipFile(path) as z:
            infos = z.infolist()
        check(len(lines) == len(infos), f"{tool}: -l lists {len(lines)} of {len(infos)} entries")
        for line, info in zip(lines, infos):
            y, mo, d, h, mi, s = info.date_time
            expected = (f"{info.file_size:10d} {y:04d}-{mo:02d}-{d:02d} {h:02d}:{mi:02d}:{s:02d} "
                        f"{info.CRC:08x} {info.filename}")
            check(line == expected, f"{tool}: -l line {line!r} != {expected!r}")

    # The umlaut name from Python (UTF-8 flag) arrives as UTF-8 on the host.
    check(open(os.path.join(work, "out-python", "a", "b", "umlaut-\u00e4\u00f6\u00fc.txt"), "rb").read()
          == "Gr\u00fc\u00dfe".encode("utf-8"), "python: umlaut entry")

    # A corrupt archive: CRC of one entry broken in place. The run goes on
    # with the other entries but must not end as a success.
    sfx = os.path.join(work, "zip.exe")
    data = bytearray(open(sfx, "rb").read())
    with zipfile.ZipFile(archives["zip"]) as z:
        info = z.getinfo("sub/text.txt")
    pos = data.find(b"Hallo Welt\n" * 10)
    check(pos > 0, "stored text found in the program file")
    data[pos] ^= 0x20
    bad = os.path.join(work, "bad.exe")
    open(bad, "wb").write(bytes(data))
    out = os.path.join(work, "out-bad")
    r = unsfx("-d", out, bad)
    err = r.stderr.decode("utf-8", "replace")
    check(r.returncode != 0, "CRC failure: exit code 0")
    check("Fehler (19962)" in err, f"CRC failure not reported: {err!r}")
    check("erfolgreich" not in err, f"CRC failure reported success: {err!r}")
    check("Befehl (nicht" not in err, "command offered after a failed run")
    check(os.path.isfile(os.path.join(out, "sub", "tenk.bin")), "the run went on after the CRC failure")

    # Not a self-extractor at all.
    plain = os.path.join(work, "plain.exe")
    open(plain, "wb").write(b"MZ" + b"\0" * 5000)
    r = unsfx("-d", os.path.join(work, "none"), plain)
    check(r.returncode != 0 and b"Fehler (9966)" in r.stderr, f"no archive: {r.returncode} {r.stderr!r}")
    r = unsfx("-d", os.path.join(work, "none"), os.path.join(work, "missing.exe"))
    check(r.returncode != 0 and b"Fehler (5)" in r.stderr, f"missing file: {r.returncode} {r.stderr!r}")
    r = unsfx("--help")
    check(r.returncode == 0 and b"-l" in r.stdout and b"-p" in r.stdout, "--help documents the options")
    r = unsfx("-x", sfx)
    check(r.returncode == 2, "unknown option is a usage error")

finish("unsfx stored archives")

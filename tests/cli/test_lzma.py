"""unsfx on LZMA entries (method 14) of 7z and Python's zipfile: byte-exact
with times, with and without end markers, every lc/lp/pb 7-Zip writes, a
dictionary far smaller than the files; damaged entries fail and leave
nothing, foreign properties are refused, a dictionary the machine cannot
give ends the entry with status 8."""
import os
import resource
import struct
import subprocess
import zipfile
from unsfx_lib import (UNSFX, check, check_extracted, finish, make_sfx, need_tool, sample_tree, tempdir, tree,
                       unsfx)

need_tool("7z")


def lzma_entries(path):
    """(local header offset, data offset) of every LZMA entry."""
    out = []
    with zipfile.ZipFile(path) as z:
        for info in z.infolist():
            if info.compress_type == zipfile.ZIP_LZMA and info.file_size > 0:
                with open(path, "rb") as f:
                    f.seek(info.header_offset + 26)
                    n, m = struct.unpack("<HH", f.read(4))
                out.append((info, info.header_offset + 30 + n + m))
    return out


def patched(path, out_path, changes):
    """A copy of the archive with bytes replaced: {offset: bytes}."""
    data = bytearray(open(path, "rb").read())
    for offset, value in changes.items():
        data[offset:offset + len(value)] = value
    open(out_path, "wb").write(bytes(data))
    return out_path


def files_in(folder):
    return [p for p in tree(folder) if not p.endswith("/")] if os.path.isdir(folder) else []


with tempdir() as work:
    src = os.path.join(work, "src")
    sample_tree(src)
    # Program bytes, repeats far apart, and more than a small dictionary holds.
    with open("/bin/ls", "rb") as f:
        program = f.read()
    with open(os.path.join(src, "program.bin"), "wb") as f:
        f.write(program + os.urandom(70000) + program)

    cases = [
        ("7z-eos", ["-mm=LZMA"]),
        ("7z-no-eos", ["-mm=LZMA:eos=off"]),
        ("7z-lc8-lp4-pb4", ["-mm=LZMA:lc=8:lp=4:pb=4"]),
        ("7z-lc0-pb0-fast", ["-mm=LZMA:lc=0:lp=0:pb=0:a=0"]),
        ("7z-dict-4k", ["-mm=LZMA:d=4k"]),
    ]
    archives = {}
    for label, options in cases:
        path = os.path.join(work, label + ".zip")
        subprocess.run(["7z", "a", "-tzip", "-bd", "-bso0", *options, path, "."], cwd=src, check=True,
                       capture_output=True)
        archives[label] = path
    path = os.path.join(work, "python.zip")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_LZMA) as z:
        for root, _, names in os.walk(src):
            for name in sorted(names):
                full = os.path.join(root, name)
                z.write(full, os.path.relpath(full, src))
    archives["python"] = path

    for label, path in archives.items():
        entries = lzma_entries(path)
        check(entries, f"{label}: no LZMA entry in the archive")
        end_markers = {bool(info.flag_bits & 2) for info, _ in entries}
        check(end_markers == ({False} if label == "7z-no-eos" else {True}),
              f"{label}: end-marker flags {end_markers}")
        sfx = make_sfx(path, os.path.join(work, label + ".exe"))
        out = os.path.join(work, "out-" + label)
        r = unsfx("-d", out, sfx)
        check(r.returncode == 0, f"{label}: exit {r.returncode}: {r.stderr!r}")
        if label == "7z-lc8-lp4-pb4":
            # liblzma, and with it Python's zipfile, reads lc + lp up to 4
            # only: against the packed files themselves.
            check(files_in(out) == files_in(src), f"{label}: {files_in(out)}")
            for name in files_in(src):
                check(open(os.path.join(out, name), "rb").read() == open(os.path.join(src, name), "rb").read(),
                      f"{label}: {name} differs")
        else:
            check_extracted(path, out, label)

    # Damage inside the text's stream: corrupt data or a CRC mismatch, and
    # nothing of the entry left behind.
    base = archives["7z-eos"]
    info, data = [e for e in lzma_entries(base) if e[0].filename == "sub/text.txt"][0]
    for offset, what in ((data + 9 + 20, "stream"), (data + 9 + info.compress_size - 9 - 3, "end")):
        path = patched(base, os.path.join(work, "damaged.zip"), {offset: b"\x55\xAA"})
        sfx = make_sfx(path, os.path.join(work, "damaged.exe"))
        out = os.path.join(work, "out-damaged-" + what)
        r = unsfx("-d", out, sfx)
        check(r.returncode != 0 and (b"(9964)" in r.stderr or b"(19962)" in r.stderr),
              f"damaged {what}: exit {r.returncode}: {r.stderr!r}")
        check("sub/text.txt" not in files_in(out), f"damaged {what}: the entry was kept")

    # A properties size other than 5, and a properties byte outside the
    # format (lc 9): refused as a method the program does not have.
    for label, change in (("size 6", {data + 2: b"\x06"}), ("byte 225", {data + 4: b"\xe1"})):
        path = patched(base, os.path.join(work, "foreign.zip"), change)
        sfx = make_sfx(path, os.path.join(work, "foreign.exe"))
        out = os.path.join(work, "out-foreign-" + label.replace(" ", "-"))
        r = unsfx("-d", out, sfx)
        check(r.returncode != 0 and b"(19960)" in r.stderr, f"properties {label}: {r.returncode} {r.stderr!r}")
        check("sub/text.txt" not in files_in(out), f"properties {label}: the entry was written")

    # A dictionary of 4 GiB and a declared size of 3.75 GiB with only 1 GiB
    # of address space: status 8, the entry not written, the others are.
    size = struct.pack("<I", 0xF0000000)
    path = patched(base, os.path.join(work, "huge.zip"), {
        data + 5: b"\xff\xff\xff\xff",
        info.header_offset + 22: size,
    })
    raw = bytearray(open(path, "rb").read())
    # The entry's central header: the one that points at its local header.
    pos = raw.find(b"PK\x01\x02")
    while pos >= 0:
        if struct.unpack_from("<I", raw, pos + 42)[0] == info.header_offset:
            raw[pos + 24:pos + 28] = size
        pos = raw.find(b"PK\x01\x02", pos + 4)
    open(path, "wb").write(bytes(raw))
    sfx = make_sfx(path, os.path.join(work, "huge.exe"))
    out = os.path.join(work, "out-huge")
    # A machine without the memory: 1 GiB of address space; under the
    # address sanitizer, which cannot start so confined, its allocator
    # refuses what passes 1 GiB instead.
    if os.environ.get("SFX_ASAN"):
        env = dict(os.environ)
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":max_allocation_size_mb=1024:allocator_may_return_null=1"
        r = subprocess.run([UNSFX, "-d", out, sfx], capture_output=True, timeout=120, env=env)
    else:
        r = subprocess.run([UNSFX, "-d", out, sfx],
                           capture_output=True, timeout=120,
                           preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30)))
    check(r.returncode != 0 and b"(8)" in r.stderr, f"huge dictionary: exit {r.returncode}: {r.stderr!r}")
    check("sub/text.txt" not in files_in(out), "huge dictionary: the entry was written")
    check("one.txt" in files_in(out), "huge dictionary: the other entries were not extracted")

finish("unsfx LZMA entries")

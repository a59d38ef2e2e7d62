#!/usr/bin/env python3
"""The installer options, read back by Python's pefile the way the stub
reads them: the manifest (the default one's DPI awareness and Common
Controls 6, --admin's request for administrator rights and nothing else
changed), the options string table (flags, title, question, licence with
CR LF line ends, each with its terminating zero), none of it in a program
built without the options, --x64's 64-bit stub; options that cannot be
used are refused before anything is written."""
import os
from mksfx_testlib import *

require_tool(MKSFX)
pefile = import_pefile()

STUB32 = os.environ.get("SFX_STUB32", os.path.join(SOURCE_DIR, "build", "win32", "sfxstub.exe"))
check(os.path.isfile(STUB32), "the 32-bit stub is not built (%s)" % STUB32)
RT_STRING, RT_MANIFEST = 6, 24
OPTION_TEMPORARY, OPTION_EXPAND = 1, 2


def stub_part(program):
    """The program file up to its configuration block, parsed by pefile."""
    with open(program, "rb") as f:
        blob = f.read()
    return pefile.PE(data=blob[:raw_archive(program)[1][0]["local"] - 514])


def resources(pe):
    found = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for l in n.directory.entries:
                entry = l.data.struct
                found[(t.id, n.id, l.id)] = pe.get_data(entry.OffsetToData, entry.Size)
    return found


def option_strings(res):
    """Strings 0-15 of block 1 of the string table, as LoadString gives them
    (None for an empty one), and the block's language."""
    blocks = [(key, data) for key, data in res.items() if key[:2] == (RT_STRING, 1)]
    if len(blocks) != 1:
        return None, None
    (key, data), = blocks
    strings, at = [], 0
    for _ in range(16):
        length = struct.unpack_from("<H", data, at)[0]
        text = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        strings.append(text if length else None)
        at += 2 + 2 * length
    check(at == len(data), "the string block has %d bytes behind its 16 strings" % (len(data) - at))
    return strings, key[2]


def manifest(res):
    texts = [data for key, data in res.items() if key[0] == RT_MANIFEST]
    return texts[0].decode("utf-8") if len(texts) == 1 else ""


with WorkDir() as work:
    src = os.path.join(work, "src")
    make_tree(src, {"paket/setup.exe": b"MZ" + bytes(100), "paket/liesmich.txt": b"Hallo\r\n" * 10})
    licence = os.path.join(work, "lizenz.txt")
    with open(licence, "wb") as f:
        f.write("\ufeffLizenz für das Beispiel\n\n§ 1 Benutzen.\r\n§ 2 Nicht mehr.\n\n".encode("utf-8"))

    plain = os.path.join(work, "plain.exe")
    r = mksfx(["-o", plain, "--stub", STUB32, "--target", "C:\\Programme\\Beispiel", os.path.join(src, "paket")])
    check(r.returncode == 0, "plain: mksfx failed: %s" % r.stderr.decode(errors="replace"))
    stub = resources(pefile.PE(STUB32))
    default = manifest(stub)
    for needle in ('level="asInvoker"', ">true/pm</dpiAware>", ">PerMonitorV2, PerMonitor</dpiAwareness>",
                   'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'):
        check(needle in default, "the stub's manifest lacks %s" % needle)
    if r.returncode == 0:
        check(resources(stub_part(plain)) == stub, "a program without installer options changed the resources")

    installer = os.path.join(work, "installer.exe")
    title, question = "Beispiel Setup – 日本", "Möchten Sie\ndas Beispiel installieren?"
    r = mksfx(["-o", installer, "--stub", STUB32, "--temp", "--run", "%ProgramFiles%\\x\\setup.exe /q",
               "--title", title, "--prompt", question, "--license", licence, "--admin", os.path.join(src, "paket")])
    check(r.returncode == 0, "installer: mksfx failed: %s" % r.stderr.decode(errors="replace"))
    if r.returncode == 0:
        pe = stub_part(installer)
        check(pe.OPTIONAL_HEADER.CheckSum == pe.generate_checksum(), "installer: wrong PE checksum")
        res = resources(pe)
        strings, language = option_strings(res)
        check(strings is not None, "installer: no options string table")
        if strings:
            check(language == 0x0407, "installer: the options' language is %#x, not the stub's" % language)
            check(strings[1] == chr(OPTION_TEMPORARY | OPTION_EXPAND) + "\0", "installer: flags %r" % strings[1])
            check(strings[2] == title + "\0", "installer: title %r" % strings[2])
            check(strings[3] == question + "\0", "installer: question %r" % strings[3])
            check(strings[4] == "Lizenz für das Beispiel\r\n\r\n§ 1 Benutzen.\r\n§ 2 Nicht mehr.\r\n\0",
                  "installer: licence %r" % strings[4])
            check(strings[0] is None and all(s is None for s in strings[5:]), "installer: other strings set")
        admin = manifest(res)
        check(admin == default.replace('level="asInvoker"', 'level="requireAdministrator"'),
              "--admin: the manifest is not the stub's with requireAdministrator: %s" % admin)
        check(all(res[key] == data for key, data in stub.items() if key[0] != RT_MANIFEST),
              "installer: other resources changed")

    # Only a title: no flags, the manifest as it was.
    titled = os.path.join(work, "titled.exe")
    r = mksfx(["-o", titled, "--stub", STUB32, "--title", "Nur ein Titel", os.path.join(src, "paket")])
    if check(r.returncode == 0, "titled: mksfx failed: %s" % r.stderr.decode(errors="replace")):
        res = resources(stub_part(titled))
        strings, _ = option_strings(res)
        check(strings and strings[1] == "\0\0" and strings[2] == "Nur ein Titel\0" and strings[3] is None,
              "titled: strings %r" % (strings[:5] if strings else None))
        check(manifest(res) == default, "titled: the manifest changed")

    x64 = os.path.join(work, "x64.exe")
    if os.path.isfile(os.path.join(SOURCE_DIR, "build", "win64", "sfxstub.exe")):
        r = mksfx(["-o", x64, "--x64", os.path.join(src, "paket")])
        if check(r.returncode == 0, "--x64: mksfx failed: %s" % r.stderr.decode(errors="replace")):
            check(stub_part(x64).FILE_HEADER.Machine == 0x8664, "--x64: not a 64-bit program")

    not_utf8 = os.path.join(work, "ansi.txt")
    with open(not_utf8, "wb") as f:
        f.write("Lizenz für alle".encode("cp1252"))
    for args, needle in ((["--temp"], "--temp needs --run"),
                         (["--temp", "--run", "a.exe", "--target", "C:\\x"], "never into --target"),
                         (["--license", not_utf8], "neither UTF-8 nor UTF-16"),
                         (["--title", "x" * 256], "at most 255"),
                         (["--x64", "--stub", STUB32], "not both")):
        out = os.path.join(work, "refused.exe")
        with open(out, "wb") as f:
            f.write(b"old")
        r = mksfx(["-o", out] + args + [os.path.join(src, "paket")])
        check(r.returncode in (1, 2) and needle in r.stderr.decode(errors="replace"),
              "%s: exit %d, %r" % (args, r.returncode, r.stderr))
        check(open(out, "rb").read() == b"old", "%s: the existing output was changed" % args)
finish()

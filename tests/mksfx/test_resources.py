#!/usr/bin/env python3
"""--icon and the version information: the stub's resource section rebuilt,
read back by independent readers (icoutils' wrestool for the icon, Python's
pefile for the version resource, the headers and the checksum), every other
resource of the stub unchanged, the program still extracting; 32-bit and
64-bit stubs. Icon files and texts that cannot be used are refused."""
import os
from mksfx_testlib import *

require_tool(MKSFX)
require_tool("wrestool")
require_tool("unzip")
pefile = import_pefile()

STUB32 = os.environ.get("SFX_STUB32", os.path.join(SOURCE_DIR, "build", "win32", "sfxstub.exe"))
STUB64 = os.path.join(SOURCE_DIR, "build", "win64", "sfxstub.exe")
check(os.path.isfile(STUB32), "the 32-bit stub is not built (%s)" % STUB32)
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16

IMAGES = [
    (16, 16, 16, 1, 4, bmp_image(16, 4, 1)),
    (32, 32, 0, 1, 32, bmp_image(32, 32, 2)),
    (48, 48, 0, 1, 8, bmp_image(48, 8, 3)),
    (0, 0, 0, 0, 0, png_image(256, 256, 4)),    # planes and depth left at 0, as some tools write
]
TEXTS = {"--product": "Beispiel-Installer", "--company": "Brennholt & Söhne GmbH",
         "--description": "Installiert das Beispiel", "--copyright": "© 2026 Brennholt"}
KEYS = {"--product": "ProductName", "--company": "CompanyName", "--description": "FileDescription",
        "--copyright": "LegalCopyright"}


def resources(pe):
    """{(type, name, language): data} of a parsed program."""
    found = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for l in n.directory.entries:
                entry = l.data.struct
                found[(t.id, n.id, l.id)] = pe.get_data(entry.OffsetToData, entry.Size)
    return found


def group_icon_ids(data):
    count = struct.unpack_from("<H", data, 4)[0]
    return [struct.unpack_from("<H", data, 6 + 14 * i + 12)[0] for i in range(count)]


def stub_part(program):
    """The program file up to its configuration block, parsed by pefile."""
    with open(program, "rb") as f:
        blob = f.read()
    image = blob[:raw_archive(program)[1][0]["local"] - 514]
    return pefile.PE(data=image), image


def check_headers(pe, label):
    check(not pe.get_warnings(), "%s: pefile warns: %s" % (label, pe.get_warnings()))
    check(pe.OPTIONAL_HEADER.CheckSum == pe.generate_checksum(), "%s: wrong PE checksum" % label)
    last = max(pe.sections, key=lambda s: s.VirtualAddress)
    check(last.Name.rstrip(b"\0") == b".rsrc", "%s: the resources are not the last section" % label)
    size = last.VirtualAddress + last.Misc_VirtualSize
    align = pe.OPTIONAL_HEADER.SectionAlignment
    check(pe.OPTIONAL_HEADER.SizeOfImage == (size + align - 1) // align * align, "%s: SizeOfImage is wrong" % label)


def expect_refusal(work, args, label, needle):
    out = os.path.join(work, "refused.exe")
    with open(out, "wb") as f:
        f.write(b"old")
    r = mksfx(["-o", out] + args)
    check(r.returncode == 1 and needle in r.stderr.decode(errors="replace"),
          "%s: exit %d, %r" % (label, r.returncode, r.stderr))
    check(open(out, "rb").read() == b"old", "%s: the existing output was changed" % label)


with WorkDir() as work:
    src = os.path.join(work, "src")
    make_tree(src, {"paket/liesmich.txt": b"Hallo\r\n" * 100, "paket/daten/zahlen.bin": bytes(range(256)) * 40})
    expected = read_tree(src, with_folders=False)
    ico = os.path.join(work, "app.ico")
    with open(ico, "wb") as f:
        f.write(icon_file(IMAGES))
    texts = []
    for option, value in TEXTS.items():
        texts += [option, value]

    for stub, label in ((STUB32, "32-bit"), (STUB64, "64-bit")):
        if not os.path.isfile(stub):
            check(label == "64-bit", "%s stub missing" % label)
            continue
        original = pefile.PE(stub)
        before = resources(original)
        out = os.path.join(work, "branded-%s.exe" % label)
        r = mksfx(["-o", out, "--stub", stub, "--icon", ico, "--version", "2.5.0.17"] + texts + [os.path.join(src, "paket")])
        check(r.returncode == 0, "%s: mksfx failed: %s" % (label, r.stderr.decode(errors="replace")))
        if r.returncode:
            continue
        check(b"icon: " in r.stdout and b"version 2.5.0.17" in r.stdout, "%s: the report lacks icon and version" % label)
        pe, image = stub_part(out)
        check_headers(pe, label)
        after = resources(pe)

        # The icon, as wrestool reads it back: the same images, planes and
        # depth of the PNG image filled in.
        r = run(["wrestool", "-x", "--type=14", "--name=108", "-o", os.path.join(work, "back.ico"), out])
        check(r.returncode == 0, "%s: wrestool failed: %r" % (label, r.stderr))
        back = read_icon_file(open(os.path.join(work, "back.ico"), "rb").read())
        want = [(w, h, c, p or 1, b or 32, d) for w, h, c, p, b, d in IMAGES]
        check(back == want, "%s: the icon read back differs: %s" % (label, [i[:5] for i in back]))
        first_group = [t for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == RT_GROUP_ICON][0].directory.entries[0].id
        check(first_group == 108, "%s: the first icon group (Explorer's) is %s" % (label, first_group))

        # The version resource, as pefile reads it.
        fixed = pe.VS_FIXEDFILEINFO[0]
        check((fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS) ==
              (0x20005, 17, 0x20005, 17), "%s: fixed version numbers are wrong" % label)
        strings, translations = {}, []
        for info in pe.FileInfo[0]:
            for table in getattr(info, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
            for var in getattr(info, "Var", []):
                translations.append(var.entry)
        want = {KEYS[o]: v for o, v in TEXTS.items()}
        want.update(FileVersion="2.5.0.17", ProductVersion="2.5.0.17")
        check(strings == want, "%s: version strings: %s" % (label, strings))
        check(translations == [{b"Translation": "0x0407 0x04b0"}], "%s: translation %s" % (label, translations))

        # Everything else as it was: dialogs, the manifest, the other icon
        # groups and their icons.
        for key, data in before.items():
            if key[0] in (RT_ICON, RT_GROUP_ICON) or key[0] == RT_VERSION:
                continue
            check(after.get(key) == data, "%s: resource %s changed" % (label, key))
        for group in (113, 5021):
            old = [v for k, v in before.items() if k[:2] == (RT_GROUP_ICON, group)]
            new = [v for k, v in after.items() if k[:2] == (RT_GROUP_ICON, group)]
            check(old and old == new, "%s: icon group %d changed" % (label, group))
            for icon in group_icon_ids(old[0]):
                check([v for k, v in before.items() if k[:2] == (RT_ICON, icon)] ==
                      [v for k, v in after.items() if k[:2] == (RT_ICON, icon)], "%s: icon %d changed" % (label, icon))
        old_main = [v for k, v in before.items() if k[:2] == (RT_GROUP_ICON, 108)][0]
        icons_before = len([k for k in before if k[0] == RT_ICON])
        icons_after = len([k for k in after if k[0] == RT_ICON])
        check(icons_after == icons_before - len(group_icon_ids(old_main)) + len(IMAGES),
              "%s: the old main icons were not replaced (%d icons before, %d after)" % (label, icons_before, icons_after))

        # The program still extracts.
        x = os.path.join(work, "x-" + label)
        check(run(["unzip", "-q", out, "-d", x]).returncode == 0, "%s: unzip failed" % label)
        compare_trees(expected, read_tree(x, with_folders=False), "%s unzip" % label)
        if os.path.isfile(UNSFX):
            x = os.path.join(work, "u-" + label)
            os.makedirs(x)
            check(run([UNSFX, "-d", x, out]).returncode == 0, "%s: unsfx failed" % label)
            compare_trees(expected, read_tree(x, with_folders=False), "%s unsfx" % label)

    # Version information alone keeps the stub's icon.
    out = os.path.join(work, "version-only.exe")
    r = mksfx(["-o", out, "--stub", STUB32, "-q", "--product", "Nur Text", os.path.join(src, "paket")])
    check(r.returncode == 0, "version only failed: %s" % r.stderr.decode(errors="replace"))
    pe, image = stub_part(out)
    check_headers(pe, "version only")
    before, after = resources(pefile.PE(STUB32)), resources(pe)
    check({k: v for k, v in after.items() if k[0] != RT_VERSION} == before, "version only: other resources changed")

    # Refusals: the icon file, the texts, stubs whose resources cannot be rebuilt.
    s = ["--stub", STUB32]
    p = [os.path.join(src, "paket")]
    with open(os.path.join(work, "text.ico"), "wb") as f:
        f.write(b"not an icon at all, just some text\n" * 4)
    expect_refusal(work, s + ["--icon", os.path.join(work, "text.ico")] + p, "text as icon", "not an icon file")
    with open(os.path.join(work, "cut.ico"), "wb") as f:
        f.write(icon_file(IMAGES)[:-100])
    expect_refusal(work, s + ["--icon", os.path.join(work, "cut.ico")] + p, "icon cut short", "outside the file")
    expect_refusal(work, s + ["--icon", os.path.join(work, "missing.ico")] + p, "missing icon", "cannot be opened")
    for version in ("1.2.3.4.5", "1.65536", "1..2", "v1.0", ""):
        r = mksfx(["-o", os.path.join(work, "v.exe")] + s + ["--version", version] + p)
        check(r.returncode in (1, 2) and b"--version" in r.stderr and not os.path.exists(os.path.join(work, "v.exe")),
              "--version %r accepted: %r" % (version, r.stderr))
    expect_refusal(work, s + ["--product", "Zeile\neins"] + p, "control character", "control character")
    expect_refusal(work, s + ["--company", "x" * 256] + p, "text of 256", "at most 255")
    signed = bytearray(open(STUB32, "rb").read())
    pe = pefile.PE(data=bytes(signed))
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[4]
    struct.pack_into("<II", signed, security.get_file_offset(), len(signed), 8)
    with open(os.path.join(work, "signed.exe"), "wb") as f:
        f.write(signed)
    expect_refusal(work, ["--stub", os.path.join(work, "signed.exe"), "--icon", ico] + p, "signed stub", "signed")
    with open(os.path.join(work, "standin.exe"), "wb") as f:
        f.write(stand_in_stub())
    expect_refusal(work, ["--stub", os.path.join(work, "standin.exe"), "--product", "X"] + p, "no resources", "resources")

finish()

#!/usr/bin/env python3
"""One smoke run of the real 32-bit stub under 32-bit Wine.

The 32-bit stub runs in Wine's 32-bit loader, an i386 program that this
machine runs through qemu (binfmt_misc). It is started inside the 64-bit
prefix, whose 32-bit side (syswow64) runs 32-bit programs, by the 64-bit
driver; so there is one slow program start, the stub's own. It extracts a
small deflated archive, and the files are checked byte for byte with times.

Exit codes: 0 passed, 1 failed, 77 skipped (the reason is printed).
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib as lib  # noqa: E402
import run_scenarios as sc  # noqa: E402

STUB32 = os.environ.get("SFX_STUB32", os.path.join(lib.BUILD, "win32", "sfxstub.exe"))
WINE32 = "/usr/lib/wine/wine"


def skip_reason():
    binfmt = "/proc/sys/fs/binfmt_misc/qemu-i386"
    if not os.path.exists(binfmt):
        return "no qemu-i386 rule in binfmt_misc (scripts/setup.sh registers it)"
    if "enabled" not in open(binfmt).read():
        return "the qemu-i386 binfmt rule is disabled"
    if not os.access(WINE32, os.X_OK):
        return "32-bit Wine (%s) is not installed" % WINE32
    return None


def main():
    reason = skip_reason()
    if reason:
        print("SKIPPED: " + reason, flush=True)
        return 77
    for path in (STUB32, sc.DRIVER):
        if not os.path.isfile(path):
            print("FAIL smoke32: not built: " + path, flush=True)
            return 1
    display = lib.Display(int(os.environ.get("SFX_E2E_DISPLAY32", "72")))
    wine = lib.Wine(os.path.join(lib.BUILD, "wine64-prefix"), display)
    try:
        display.start()
        wine.ensure_prefix()
        if not os.path.isdir(os.path.join(wine.drive_c, "windows", "syswow64")):
            print("SKIPPED: the Wine prefix has no 32-bit side (syswow64)", flush=True)
            return 77
        s = sc.Scenario(wine, "smoke32")
        names = ["liesmich.txt", "daten/zahlen.bin", "daten/leer.txt"]
        s.files({"liesmich.txt": sc.GERMAN, "daten/zahlen.bin": bytes(range(256)) * 40,
                 "daten/leer.txt": b""}, sc.SUMMER)
        lib.make_zip(s.src, s.zip, names)
        lib.assemble(STUB32, s.zip, s.exe)
        # A 32-bit program start through qemu takes minutes on a cold machine.
        script = ["timeout 420", "cd " + s.win_dir, "start " + s.win_exe, "wait-main",
                  "expect-text 1000 " + s.win_dir, "shot main", "timeout 120",
                  "settext 1000 " + s.win_dir + "ziel",
                  "click 1"] + sc.success_box(s.name)
        passed, log = wine.run_driver(sc.DRIVER, script, s.name, limit=600)
        problems = [] if passed else ["driver failed"]
        problems += lib.compare_tree(s.src, names, s.out("ziel"))
        if problems:
            print("FAIL smoke32: " + "; ".join(problems), flush=True)
            print("    " + log.replace("\n", "\n    "), flush=True)
            return 1
        print("PASS smoke32", flush=True)
        return 0
    finally:
        wine.kill_server()
        display.stop()


if __name__ == "__main__":
    sys.exit(main())

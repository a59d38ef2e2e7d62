#!/usr/bin/env python3
"""The demonstration behind `make demo`: packs demo/sample/ into a
self-extractor, runs it under Wine in a private Xvfb display through the
driver, extracts into a fresh temporary folder, prints the extracted tree
and the path of a screenshot of the main dialog. Builds nothing itself."""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib as lib  # noqa: E402

STUB = os.environ.get("SFX_STUB64", os.path.join(lib.BUILD, "win64", "sfxstub.exe"))
DRIVER = os.environ.get("SFX_E2E_DRIVER", os.path.join(lib.BUILD, "win64", "sfxdriver.exe"))
SAMPLE = os.path.join(lib.REPO, "demo", "sample")


def build_program(out):
    names = sorted(os.listdir(SAMPLE))
    mksfx = lib.mksfx_path()
    if mksfx:
        subprocess.run([mksfx, "-o", out, "--stub", STUB] + [os.path.join(SAMPLE, n) for n in names],
                       check=True, timeout=120)
        return "mksfx"
    print("demo: build/host/mksfx not found, assembling with zip instead")
    work = tempfile.mkdtemp(prefix="sfx-demo-zip-")
    try:
        archive = os.path.join(work, "sample.zip")
        lib.make_zip(SAMPLE, archive, names + ["-r"])
        lib.assemble(STUB, archive, out)
    finally:
        shutil.rmtree(work)
    return "zip"


def main():
    for path in (STUB, DRIVER):
        if not os.path.isfile(path):
            print("demo: %s is missing; `make demo` builds it first" % os.path.relpath(path, lib.REPO))
            return 1
    display = lib.Display(int(os.environ.get("SFX_DEMO_DISPLAY", "73")))
    wine = lib.Wine(os.path.join(lib.BUILD, "wine64-prefix"), display)
    target = tempfile.mkdtemp(prefix="sfx-demo-")
    try:
        display.start()
        wine.ensure_prefix()
        folder = os.path.join(wine.drive_c, "demo")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        program = os.path.join(folder, "beispiel.exe")
        how = build_program(program)
        print("demo: %s (%d bytes, made with %s) from demo/sample/" % (
            os.path.relpath(program, lib.REPO), os.path.getsize(program), how))
        # Drive Z: of the prefix is the Linux root, so the temporary folder is
        # reachable from Windows as it is.
        win_target = "Z:" + target.replace("/", "\\") + "\\"
        script = ["timeout 60", "cd " + wine.windows_path(folder), "start " + wine.windows_path(program),
                  "wait-main", "settext 1000 " + win_target, "shot main", "click 1",
                  "wait-box", "expect-box-text Das Archiv wurde erfolgreich entpackt.", "shot done",
                  "click 1", "wait-gone", "wait-exit-quiet 0"]
        passed, log = wine.run_driver(DRIVER, script, "demo")
        shot = os.path.join(lib.SHOTS, "demo-1-main.png")
        main_shot = os.path.join(lib.SHOTS, "demo-main.png")
        if os.path.exists(shot):
            shutil.move(shot, main_shot)
        if not passed:
            print(log)
            print("demo: the run did not go as expected")
            return 1
        print("demo: extracted into %s (%s in Wine):" % (target, win_target))
        for name in lib.tree(target):
            print("  %-32s %6d bytes" % (name, os.path.getsize(os.path.join(target, name))))
        problems = lib.compare_tree(SAMPLE, lib.tree(SAMPLE), target)
        if problems:
            print("demo: differences from demo/sample/: " + "; ".join(problems))
            return 1
        print("demo: every file matches demo/sample/ byte for byte, with its time")
        print("demo: screenshot of the main dialog: %s" % os.path.relpath(main_shot, lib.REPO))
        return 0
    finally:
        wine.kill_server()
        display.stop()


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Whole extraction by the 64-bit stub under wine64, timed by the end-to-end
driver from its click on "&Entpacken" to the success box.

Usage: stub_bench.py ZIP CORPUS_DIR RUNS [STUB]

Builds a self-extractor from ZIP, runs it RUNS times into a fresh folder each
time, checks every extracted file against CORPUS_DIR and prints one line per
run: "stub SECONDS". Wine's start-up and the dialog's set-up are not counted.
Xvfb display: SFX_BENCH_DISPLAY (else SFX_E2E_DISPLAY, else 74).
"""
import filecmp
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import e2e_lib as lib  # noqa: E402

SUCCESS_TEXT = "Das Archiv wurde erfolgreich entpackt."
# How often the driver looks for the success box, in ms: often enough to
# time a run of half a second closely, seldom enough not to keep Wine's
# server (which the program's own calls need) busy.
POLL_MS = os.environ.get("SFX_BENCH_POLL_MS", "10")


def main():
    zip_path, corpus, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    stub = sys.argv[4] if len(sys.argv) > 4 else os.path.join(lib.BUILD, "win64", "sfxstub.exe")
    driver = os.path.join(lib.BUILD, "win64", "sfxdriver.exe")
    for path in (stub, driver, zip_path):
        if not os.path.isfile(path):
            print("stub bench: missing %s" % path, file=sys.stderr)
            return 1
    number = int(os.environ.get("SFX_BENCH_DISPLAY", os.environ.get("SFX_E2E_DISPLAY", "74")))
    display = lib.Display(number)
    wine = lib.Wine(os.path.join(lib.BUILD, "wine64-prefix"), display)
    names = sorted(n for n in os.listdir(corpus) if not n.startswith(".") and not n.endswith((".deflate", ".lzma")))
    try:
        display.start()
        wine.ensure_prefix()
        home = os.path.join(wine.drive_c, "bench")
        shutil.rmtree(home, ignore_errors=True)
        os.makedirs(home)
        exe = os.path.join(home, "bench.exe")
        lib.assemble(stub, zip_path, exe)
        out = os.path.join(home, "out")
        for run in range(runs):
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            # The disk writes of the previous run are not this run's work.
            subprocess.run(["sync"], check=False)
            passed, log = wine.run_driver(driver, [
                "timeout 300", "cd " + wine.windows_path(home), "start " + wine.windows_path(exe), "wait-main",
                "settext 1000 " + wine.windows_path(out) + "\\", "poll " + POLL_MS, "clock", "click 1", "wait-box",
                "clock-print stub", "expect-box-text " + SUCCESS_TEXT, "click 1", "wait-gone", "wait-exit 0"],
                "bench-stub", limit=600)
            times = [line.split()[2] for line in log.splitlines() if line.startswith("time stub ")]
            if not passed or not times:
                print("stub bench: run %d failed:\n%s" % (run + 1, log), file=sys.stderr)
                return 1
            bad = [n for n in names if not filecmp.cmp(os.path.join(corpus, n), os.path.join(out, n), shallow=False)]
            if bad:
                print("stub bench: output differs from the corpus: %s" % ", ".join(bad), file=sys.stderr)
                return 1
            print("stub %s" % times[0], flush=True)
        shutil.rmtree(home, ignore_errors=True)
    finally:
        wine.kill_server()
        display.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())

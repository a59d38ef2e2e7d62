#!/usr/bin/env python3
"""Silent extraction (/S) by a self-extractor under wine64, timed by the
end-to-end driver from the program's start to its exit.

Usage: stub_silent_bench.py EXE LABEL CORPUS_DIR RUNS NAME...

Runs EXE RUNS times into a fresh folder each time, checks the extracted
files NAME... against CORPUS_DIR and prints one line per run: "LABEL SECONDS".
Then the stub's start alone, the same program without an archive, which
ends at once with 9966: "start SECONDS" (Wine's process start-up, part of
every run above). Wine's server runs already (the driver started it).
Xvfb display: SFX_BENCH_DISPLAY (else SFX_E2E_DISPLAY, else 74); Wine
prefix: build/wine64-prefix, or SFX_E2E_PREFIX.
"""
import filecmp
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import e2e_lib as lib  # noqa: E402

STUB64 = os.path.join(lib.BUILD, "win64", "sfxstub.exe")
NO_ARCHIVE = 9966


def timed(wine, driver, home, exe, args, code, label):
    passed, log = wine.run_driver(driver, [
        "timeout 600", "cd " + wine.windows_path(home), "args " + args, "poll 10", "clock",
        "start " + wine.windows_path(exe), "wait-exit-quiet %d" % code, "clock-print " + label],
        "bench-silent", limit=900)
    times = [line.split()[2] for line in log.splitlines() if line.startswith("time %s " % label)]
    if not passed or not times:
        raise RuntimeError("%s run failed:\n%s" % (label, log))
    return times[0]


def main():
    exe_path, label, corpus, runs, names = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5:]
    driver = os.path.join(lib.BUILD, "win64", "sfxdriver.exe")
    for path in (exe_path, driver, STUB64):
        if not os.path.isfile(path):
            print("silent stub bench: missing %s" % path, file=sys.stderr)
            return 1
    number = int(os.environ.get("SFX_BENCH_DISPLAY", os.environ.get("SFX_E2E_DISPLAY", "74")))
    display = lib.Display(number)
    wine = lib.Wine(os.environ.get("SFX_E2E_PREFIX", os.path.join(lib.BUILD, "wine64-prefix")), display)
    home = os.path.join(wine.drive_c, "bench-silent")
    try:
        display.start()
        wine.ensure_prefix()
        shutil.rmtree(home, ignore_errors=True)
        os.makedirs(home)
        exe = os.path.join(home, "bench.exe")
        bare = os.path.join(home, "bare.exe")
        shutil.copyfile(exe_path, exe)
        shutil.copyfile(STUB64, bare)
        out = os.path.join(home, "out")
        for run in range(runs):
            shutil.rmtree(out, ignore_errors=True)
            # The disk writes of the previous run are not this run's work.
            subprocess.run(["sync"], check=False)
            seconds = timed(wine, driver, home, exe, '/S "/D=%s"' % wine.windows_path(out), 0, label)
            bad = [n for n in names if not os.path.isfile(os.path.join(out, n)) or
                   not filecmp.cmp(os.path.join(corpus, n), os.path.join(out, n), shallow=False)]
            if bad:
                print("silent stub bench: output differs from the corpus: %s" % ", ".join(bad), file=sys.stderr)
                return 1
            print("%s %s" % (label, seconds), flush=True)
        args = '/S "/D=%s"' % wine.windows_path(out)
        print("start %s" % timed(wine, driver, home, bare, args, NO_ARCHIVE, "start"), flush=True)
    except RuntimeError as e:
        print("silent stub bench: %s" % e, file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(home, ignore_errors=True)
        wine.kill_server()
        display.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())

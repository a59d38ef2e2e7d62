#!/usr/bin/env python3
"""Installer starts under Wine: target folders named by environment
variables, temporary mode (extract, run, wait for every process the command
started, remove everything), the question and the licence before anything
is written, the publisher's title, and a program built with the 64-bit stub.
The programs are built by mksfx with the options that make them installers;
files are checked from Linux after each start. With --bits 32 the real
32-bit stub plays the key start: temporary mode with a command that hands
over to a child process and exits at once.

The machinery and main() are those of run_scenarios.py.

Usage: run_installer.py [--bits 32|64] [--only NAME,...] [--counts FILE]
"""
import glob
import os
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cli"))
import e2e_lib as lib  # noqa: E402
import run_scenarios as sc  # noqa: E402
import signing  # noqa: E402


def build(s, paths, options, stub=True):
    """mksfx -o s.exe [--stub STUB] options paths (relative to s.src)."""
    builder = lib.mksfx_path()
    args = [builder, "-o", s.exe, "--quiet"] + (["--stub", sc.STUB] if stub else []) + options
    args += [os.path.join(s.src, p) for p in paths]
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
    if result.returncode != 0:
        raise RuntimeError("mksfx failed: " + result.stdout.decode("utf-8", "replace"))


def start(s, args, steps, run, program=None):
    """Starts the scenario's program with args and plays steps; returns the
    problems (none when the driver passed) and the log."""
    script = ["timeout %d" % sc.START_WAIT, "cd " + s.win_dir] + (["args " + args] if args else []) + \
             ["start " + (program or s.win_exe), "timeout %d" % sc.STEP_WAIT] + steps
    passed, log = s.wine.run_driver(sc.DRIVER, script, "%s-%s" % (s.name, run), limit=sc.SCENARIO_LIMIT)
    return ([] if passed else ["run '%s' failed" % run]), "%s:\n%s" % (run, log)


def temp_folders(wine):
    """The prefix's %TEMP% folders, as Linux paths."""
    return [p for p in glob.glob(os.path.join(wine.drive_c, "users", "*", "Temp")) +
            glob.glob(os.path.join(wine.drive_c, "users", "*", "AppData", "Local", "Temp")) if os.path.isdir(p)]


def temp_entries(wine):
    return {os.path.join(folder, name) for folder in temp_folders(wine) for name in os.listdir(folder)}


def left_in_temp(wine, before):
    """What a run left in %TEMP% beside what was there before it."""
    left = sorted(temp_entries(wine) - before)
    return ["left in %%TEMP%%: %s" % [os.path.relpath(p, wine.drive_c) for p in left]] if left else []


def the_setup(s):
    """A setup.exe that hands over to a child and exits at once with 7 (the
    test's marker program), with a data file beside it."""
    shutil.copy(sc.MARKER, os.path.join(s.src, "setup.exe"))
    s.files({"daten.txt": sc.GERMAN, "docs/liesmich.txt": sc.ENGLISH})


def check_report(wine, report, problems, run):
    """The child's report: it found its files, in a new folder under %TEMP%."""
    if not os.path.isfile(report):
        problems.append("%s: the program ended before the command's child had finished" % run)
        return
    folder, state = open(report, "rb").read().decode("utf-8").split("\n")[:2]
    if state != "present":
        problems.append("%s: the child did not find its files any more (%s)" % (run, state))
    temps = [wine.windows_path(p).lower() for p in temp_folders(wine)]
    if not any(folder.lower().startswith(t + "\\sfx") for t in temps):
        problems.append("%s: the command ran in %s, not in a new folder under %%TEMP%%" % (run, folder))


def temp_mode_waits_for_every_process(wine):
    """--temp: the program extracts into a new folder under %TEMP%, starts
    the command there and waits for it and for the child it started (a
    program outside the folder, which still finds the files three seconds
    after the command has ended), exits with the command's exit code, and
    leaves nothing in %TEMP%. A child that leaves the command's job, running
    from the folder, is waited for as well. (The 32-bit stub: the first.)"""
    s = sc.Scenario(wine, "temp_mode")
    the_setup(s)
    helper = os.path.join(s.dir, "helper.exe")
    shutil.copy(sc.MARKER, helper)
    report = os.path.join(s.dir, "report.txt")
    build(s, ["setup.exe", "daten.txt", "docs"],
          ["--temp", "--run", 'setup.exe spawn 7 "%sreport.txt" "%shelper.exe"' % (s.win_dir, s.win_dir)])
    before = temp_entries(wine)
    problems, log = start(s, "/S", ["wait-exit-quiet 7"], "silent")
    check_report(wine, report, problems, "in the job")
    problems += left_in_temp(wine, before)
    if sc.SUFFIX:
        return problems, log
    # The command's child asks to leave the job (which must stay possible)
    # and runs from the folder: the folder waits until it is no longer used.
    away = sc.Scenario(wine, "temp_away")
    the_setup(away)
    report = os.path.join(away.dir, "report.txt")
    build(away, ["setup.exe", "daten.txt"],
          ["--temp", "--run", 'setup.exe spawn 8 "%sreport.txt" setup.exe away' % away.win_dir])
    more, log2 = start(away, "/S", ["wait-exit-quiet 8"], "away")
    problems += more
    check_report(wine, report, problems, "left the job")
    problems += left_in_temp(wine, before)
    return problems, log + "\n" + log2


def temp_mode_failure_and_cancel(wine):
    """Temporary mode leaves nothing behind a failed entry (a CRC mismatch:
    the command is not started, the exit code is the run's) nor behind
    "Abbrechen" in its progress window during a large entry; a /D folder
    that does not exist, in which the temporary one would be made, is an
    error (5)."""
    s = sc.Scenario(wine, "temp_failed")
    the_setup(s)
    s.files({"zuletzt.txt": b"last"})
    build(s, ["setup.exe", "daten.txt", "zuletzt.txt"],
          ["--temp", "--run", 'setup.exe spawn 7 "%sreport.txt" setup.exe' % s.win_dir])
    lib.corrupt_crc(s.exe, "daten.txt")
    before = temp_entries(wine)
    problems, log = start(s, "/S", ["wait-exit-quiet 19962"], "crc")
    if os.path.exists(os.path.join(s.dir, "report.txt")):
        problems.append("the command was started after a failed entry")
    problems += left_in_temp(wine, before)
    # /D names the folder for the temporary one; a missing one makes none.
    more, log3 = start(s, '/S "/D=%sgibtsnicht"' % s.win_dir, ["wait-exit-quiet 5"], "no-base")
    problems += more
    if os.path.exists(os.path.join(s.dir, "gibtsnicht")):
        problems.append("a missing /D folder was made")
    log += "\n" + log3

    c = sc.Scenario(wine, "temp_cancel")
    alphabet = bytes(b"abcdefghij klmno\n")
    table = bytes(alphabet[i % len(alphabet)] for i in range(256))
    c.files({"big%d.bin" % i: sc.pseudo_random(40 << 20, i).translate(table) for i in (1, 2, 3, 4)})
    shutil.copy(sc.MARKER, os.path.join(c.src, "setup.exe"))
    build(c, ["big1.bin", "big2.bin", "big3.bin", "big4.bin", "setup.exe"], ["--temp", "--run", "setup.exe"])
    # 160 MB take about a second here: the program is held while
    # "Abbrechen" is posted, so that the click lands during the run however
    # fast the machine.
    more, log2 = start(c, "", ["poll 2", "wait-main", "expect-caption " + sc.MAIN_CAPTION, "hold", "click 2",
                               "shot progress", "release", "wait-exit-quiet 2926"],
                       "cancel")
    problems += more + left_in_temp(wine, before)
    return problems, log + "\n" + log2


QUESTION = "Möchten Sie das Beispiel jetzt installieren?"
LICENSE_LINES = ["LIZENZVERTRAG für das Beispiel", "", "§ 1 Sie dürfen es benutzen.", "§ 2 Mehr nicht."]


def decline_question_and_licence(wine):
    """--prompt: "Nein" ends the program with 2926 and nothing written.
    --license: the text in a read-only field, "Ablehnen" ends it the same
    way; "Annehmen" leads to the main dialog and the run. Under /S both
    count as accepted."""
    s = sc.Scenario(wine, "question")
    s.files({"a.txt": sc.ENGLISH})
    build(s, ["a.txt"], ["--target", s.win_dir + "ziel", "--prompt", QUESTION])
    problems, log = start(s, "", ["wait-box", "expect-caption " + sc.MAIN_CAPTION, "expect-box-text " + QUESTION,
                                  "shot question", "click 7", "wait-gone", "wait-exit-quiet 2926"], "no")

    lic = sc.Scenario(wine, "licence")
    lic.files({"a.txt": sc.ENGLISH})
    licence = os.path.join(sc.WORK, lic.name, "lizenz.txt")
    with open(licence, "wb") as f:
        f.write(("\n".join(LICENSE_LINES) + "\n").encode("utf-8"))
    build(lic, ["a.txt"], ["--target", lic.win_dir + "ziel", "--license", licence])
    shown = "{CR}{LF}".join(LICENSE_LINES) + "{CR}{LF}"
    dialog = ["wait-dialog " + sc.MAIN_CAPTION, "expect-text 1040 " + shown]
    more, log2 = start(lic, "", dialog + ["shot licence", "click 2", "wait-gone", "wait-exit-quiet 2926"], "decline")
    problems += more
    for scenario in (s, lic):
        if os.path.exists(scenario.out("ziel")):
            problems.append("%s: written although declined" % scenario.name)
    more, log3 = start(lic, "", dialog + ["click 1", "wait-gone", "wait-main", "click 1"] + sc.success_box(lic.name),
                       "accept")
    problems += more + lib.compare_tree(lic.src, ["a.txt"], lic.out("ziel"))
    more, log4 = start(s, "/S", ["wait-exit-quiet 0"], "silent")
    problems += more + lib.compare_tree(s.src, ["a.txt"], s.out("ziel"))
    return problems, "\n".join((log, log2, log3, log4))


TITLE = "Beispiel Setup 2.0 – Ελληνικά 日本"


def publisher_title(wine):
    """--title: the caption of the main dialog and of every message box; the
    program also asks for administrator rights (--admin) and is signed after
    it was built, as a publisher ships it."""
    s = sc.Scenario(wine, "title")
    s.files({"a.txt": sc.ENGLISH})
    program = s.exe
    s.exe = os.path.join(sc.WORK, s.name, "unsigned.exe")
    build(s, ["a.txt"], ["--title", TITLE, "--admin"])
    s.exe = program
    try:
        signing.sign(os.path.join(sc.WORK, s.name, "unsigned.exe"), s.exe, os.path.join(sc.WORK, s.name, "cert"))
    except signing.SigningError as e:
        return [str(e)], ""
    problems, log = start(s, "", [
        "wait-main", "expect-caption " + TITLE, "shot main",
        "click 3", "wait-box", "expect-caption " + TITLE, "click 1", "wait-gone",
        "settext 1000 " + s.win_dir + "ziel", "click 1",
        "wait-box", "expect-caption " + TITLE, "expect-box-text " + sc.SUCCESS_TEXT, "shot success",
        "click 1", "wait-gone", "wait-exit-quiet 0"], "dialog")
    return problems + lib.compare_tree(s.src, ["a.txt"], s.out("ziel")), log


def variable_targets(wine):
    """Configured folders named by environment variables, expanded when the
    program starts: %TEMP% (the field shows the expanded folder) and
    %ProgramFiles% (a 64-bit program's own folder)."""
    problems, logs = [], []
    temp = temp_folders(wine)[0]
    program_files = os.path.join(wine.drive_c, "Program Files")
    for name, target, linux in (("var_temp", "%TEMP%\\sfx_e2e_ziel", os.path.join(temp, "sfx_e2e_ziel")),
                                ("var_programs", "%ProgramFiles%\\Tarvolin_e2e",
                                 os.path.join(program_files, "Tarvolin_e2e"))):
        s = sc.Scenario(wine, name)
        s.files({"a.txt": sc.ENGLISH, "sub/b.txt": sc.GERMAN})
        build(s, ["a.txt", "sub"], ["--target", target])
        shutil.rmtree(linux, ignore_errors=True)
        try:
            if name == "var_temp":
                more, log = start(s, "", ["wait-main", "expect-text 1000 " + wine.windows_path(linux), "click 2",
                                          "wait-exit-quiet 2926"], "field")
                problems += more
                logs.append(log)
            more, log = start(s, "/S", ["wait-exit-quiet 0"], "silent")
            problems += more + lib.compare_tree(s.src, ["a.txt", "sub/b.txt"], linux)
            logs.append(log)
        finally:
            shutil.rmtree(linux, ignore_errors=True)
    return problems, "\n".join(logs)


def x64_program(wine):
    """--x64: mksfx packs with the 64-bit stub of this build (no --stub
    given), and that program, a PE32+ image, extracts as the product."""
    s = sc.Scenario(wine, "x64")
    s.files({"a.txt": sc.ENGLISH, "sub/b.txt": sc.GERMAN})
    build(s, ["a.txt", "sub"], ["--x64", "--title", "Beispiel 64"], stub=False)
    with open(s.exe, "rb") as f:
        image = f.read(4096)
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    machine, = struct.unpack_from("<H", image, pe + 4)
    problems = [] if machine == 0x8664 else ["the program is not a 64-bit one (machine 0x%04x)" % machine]
    more, log = start(s, "", ["wait-main", "expect-caption Beispiel 64", "settext 1000 " + s.win_dir + "ziel",
                              "click 1", "wait-box", "expect-caption Beispiel 64", "click 1", "wait-gone",
                              "wait-exit-quiet 0"], "dialog")
    return problems + more + lib.compare_tree(s.src, ["a.txt", "sub/b.txt"], s.out("ziel")), log


SCENARIOS = [temp_mode_waits_for_every_process, temp_mode_failure_and_cancel, decline_question_and_licence,
             publisher_title, variable_targets, x64_program]
SCENARIOS32 = [temp_mode_waits_for_every_process]

if __name__ == "__main__":
    sc.SCENARIOS[:] = SCENARIOS
    sc.SCENARIOS32[:] = SCENARIOS32
    sys.exit(sc.main())

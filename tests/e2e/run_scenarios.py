#!/usr/bin/env python3
"""End-to-end scenarios of the 64-bit self-extractor under Wine.

Each scenario builds a self-extractor from the stub and a ZIP made by a real
tool, plays a script through the Win32 driver (windows, texts, buttons, exit
code) and then checks from Linux what landed on the disk, byte for byte and
with the files' times. Prints one line per scenario: PASS, FAIL or SKIPPED
with the name, and the driver's log under a failure.

Usage: run_scenarios.py [--bits 32|64] [--only NAME,...] [--counts FILE]

With --bits 32 the real 32-bit stub plays its own list (SCENARIOS32) in
Wine's 32-bit side, through qemu.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import time
import traceback
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib as lib  # noqa: E402

STUB64 = os.environ.get("SFX_STUB64", os.path.join(lib.BUILD, "win64", "sfxstub.exe"))
STUB32 = os.environ.get("SFX_STUB32", os.path.join(lib.BUILD, "win32", "sfxstub.exe"))
DRIVER = os.environ.get("SFX_E2E_DRIVER", os.path.join(lib.BUILD, "win64", "sfxdriver.exe"))
MARKER = os.path.join(os.path.dirname(DRIVER), "sfxmarker.exe")

# The stub under test and its pace: the 64-bit stub runs directly under
# wine64; the 32-bit one in Wine's 32-bit side through qemu, where a program
# start takes a minute or more and every step is slow.
STUB = STUB64
SUFFIX = ""
LABEL = ""
START_WAIT, STEP_WAIT, SCENARIO_LIMIT = 30, 30, 120


def use_stub32():
    global STUB, SUFFIX, LABEL, START_WAIT, STEP_WAIT, SCENARIO_LIMIT
    STUB, SUFFIX, LABEL = STUB32, "32", " [32-bit]"
    START_WAIT, STEP_WAIT, SCENARIO_LIMIT = 420, 180, 900
WORK = os.path.join(lib.BUILD, "e2e-work")

SUMMER = (2021, 7, 15, 13, 24, 36)   # daylight saving time in the test zone
WINTER = (2020, 1, 2, 3, 4, 6)
OLD = (2019, 11, 30, 22, 58, 10)     # the files that are already there

OVERWRITE_CAPTION = "Ersetzen von Dateien bestätigen"
PASSWORD_CAPTION = "Paßwort-Abfrage"
SUCCESS_TEXT = "Das Archiv wurde erfolgreich entpackt."
MAIN_CAPTION = "Tarvolin Self Extractor"


def when(fields):
    return "%04d-%02d-%02d %02d:%02d:%02d" % fields


class Scenario:
    """Folders of one scenario: the sources (Linux only) and the program's
    folder inside drive C: of the prefix."""

    def __init__(self, wine, name, program=None):
        self.wine = wine
        self.name = name + SUFFIX
        self.src = os.path.join(WORK, self.name, "src")
        self.zip = os.path.join(WORK, self.name, self.name + ".zip")
        self.dir = os.path.join(wine.drive_c, "e2e", self.name)
        for path in (os.path.join(WORK, self.name), self.dir):
            if os.path.exists(path):
                subprocess_chmod_writable(path)
                shutil.rmtree(path)
        os.makedirs(self.src)
        os.makedirs(self.dir)
        self.program = (program or self.name) + ".exe"
        self.exe = os.path.join(self.dir, self.program)
        self.win_dir = wine.windows_path(self.dir) + "\\"
        self.win_exe = self.win_dir + self.program

    def files(self, contents, stamp=SUMMER):
        for rel, data in contents.items():
            path = os.path.join(self.src, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
            lib.set_time(path, lib.local_stamp(*stamp))

    def existing(self, folder, contents, stamp=OLD):
        for rel, data in contents.items():
            path = os.path.join(self.dir, folder, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
            lib.set_time(path, lib.local_stamp(*stamp))

    def build(self, names, target="", command="", use_builder=True, **zip_options):
        lib.make_zip(self.src, self.zip, names, **zip_options)
        lib.assemble(STUB, self.zip, self.exe, target, command, use_builder)

    def play(self, lines, prelude=()):
        script = list(prelude) + ["timeout %d" % START_WAIT, "cd " + self.win_dir, "start " + self.win_exe,
                                  "wait-main", "timeout %d" % STEP_WAIT] + lines
        return self.wine.run_driver(DRIVER, script, self.name, limit=SCENARIO_LIMIT)

    def out(self, folder):
        return os.path.join(self.dir, folder)


def subprocess_chmod_writable(path):
    for folder, dirs, files in os.walk(path):
        for name in dirs + files:
            try:
                os.chmod(os.path.join(folder, name), 0o755)
            except OSError:
                pass


def success_box(name):
    return ["wait-box", "expect-caption " + MAIN_CAPTION, "expect-box-text " + SUCCESS_TEXT,
            "main", "expect-status %s.exe erfolgreich entkomprimiert." % name,
            "shot success", "wait-box", "click 1", "wait-gone", "wait-exit-quiet 0"]


def text_file(lines):
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")


GERMAN = text_file(["Grüße aus Köln!", "Die Straße ist lang, der Fluss ist breit."] * 40)
ENGLISH = text_file(["The quick brown fox jumps over the lazy dog."] * 50)


def pseudo_random(size, seed):
    return random.Random(seed).randbytes(size)


def case_insensitive(folder, name):
    for entry in os.listdir(folder):
        if entry.lower() == name.lower():
            return os.path.join(folder, entry)
    return None


# ----------------------------------------------------------------------------
# Scenarios. Each returns a list of problems (empty: passed) plus the log.

def success_without_command(wine):
    """Folder edit shows the program's folder; a folder typed without a
    trailing backslash; success box, dialog closed, exit code 0; files byte
    for byte with times, deflated, stored and empty entries, a subfolder."""
    s = Scenario(wine, "success_plain")
    s.files({"readme.txt": GERMAN, "data/numbers.bin": bytes(range(256)) * 64,
             "data/noise.bin": pseudo_random(3000, 1), "leer.txt": b""}, SUMMER)
    s.files({"english.txt": ENGLISH}, WINTER)
    names = ["readme.txt", "english.txt", "data/numbers.bin", "data/noise.bin", "leer.txt"]
    s.build(names)
    passed, log = s.play([
        "expect-caption " + MAIN_CAPTION,
        "expect-text 1000 " + s.win_dir,
        "expect-text 1005 ",
        "shot main",
        "settext 1000 " + s.win_dir + "ziel",
        "click 1"] + success_box(s.name))
    problems = [] if passed else ["driver failed"]
    problems += lib.compare_tree(s.src, names, s.out("ziel"))
    return problems, log


def command_runs_in_target(wine):
    """Configured target shown in the edit field; the configured command runs
    in the target folder after the run and no box appears."""
    s = Scenario(wine, "command_runs")
    s.files({"a.txt": ENGLISH, "sub/b.txt": GERMAN})
    target = s.win_dir + "konfiguriert"
    s.build(["a.txt", "sub/b.txt"], target=target, command="cmd /c echo x> marker.txt")
    passed, log = s.play([
        "expect-text 1000 " + target,
        "shot main",
        "click 1",
        "wait-exit-quiet 0"])
    problems = [] if passed else ["driver failed"]
    problems += lib.compare_tree(s.src, ["a.txt", "sub/b.txt"], s.out("konfiguriert"))
    marker = os.path.join(s.out("konfiguriert"), "marker.txt")
    for _ in range(300):   # the command outlives the self-extractor
        if os.path.exists(marker) and os.path.getsize(marker) > 0:
            break
        time.sleep(0.1)
    if not os.path.exists(marker):
        problems.append("the command left no marker.txt in the target folder")
    elif open(marker, "rb").read().strip() != b"x":
        problems.append("marker.txt holds %r" % open(marker, "rb").read())
    return problems, log


def command_cannot_start(wine):
    """A configured command that cannot start: the German error box naming
    it; the files are there, and the exit code (9009) tells a script that the
    command did not run."""
    s = Scenario(wine, "command_fails")
    s.files({"a.txt": ENGLISH})
    command = "C:\\e2e\\gibtsnicht\\setup.exe"
    s.build(["a.txt"], target=s.win_dir + "ziel", command=command)
    passed, log = s.play([
        "click 1",
        "wait-box",
        "expect-caption " + MAIN_CAPTION,
        "expect-box-text Fehler beim Ausführen von %s." % command,
        "shot error-box",
        "click 1",
        "wait-gone",
        "wait-exit-quiet 9009"])
    problems = [] if passed else ["driver failed"]
    problems += lib.compare_tree(s.src, ["a.txt"], s.out("ziel"))
    return problems, log


def floppy_start(wine):
    """Started from drive A: the edit field is empty, "Entpacken" warns and
    starts nothing; after typing a folder the run works. A configured target
    is shown even from drive A:, and closing without a run exits with the
    cancel status."""
    s = Scenario(wine, "floppy")
    s.files({"a.txt": ENGLISH, "b.txt": GERMAN})
    s.build(["a.txt", "b.txt"])
    floppy = os.path.join(WORK, "floppy", "disk")
    os.makedirs(floppy)
    shutil.copy(s.exe, os.path.join(floppy, "install.exe"))
    configured = os.path.join(floppy, "config.exe")
    lib.assemble(STUB, s.zip, configured, target="C:\\e2e\\floppy\\vorgabe")
    link = os.path.join(wine.prefix, "dosdevices", "a:")
    if os.path.lexists(link):
        os.unlink(link)
    os.symlink(floppy, link)
    try:
        script = [
            "timeout 60", "cd A:\\", "start A:\\install.exe", "wait-main",
            "expect-text 1000 ",
            "shot main-empty",
            "click 1",
            "wait-box",
            "expect-caption " + MAIN_CAPTION,
            "expect-box-text Vermutlich reicht der Platz auf dem Ziellaufwerk nicht aus. "
            "Wählen Sie bitte ein Verzeichnis auf Ihrer Festplatte.",
            "shot warning",
            "click 1",
            "wait-gone",
            "main",
            "expect-text 1005 ",
            "expect-text 1000 ",
            "settext 1000 " + s.win_dir + "ziel\\",
            "click 1"] + success_box("install")
        passed, log = wine.run_driver(DRIVER, script, s.name)
        problems = [] if passed else ["driver failed"]
        problems += lib.compare_tree(s.src, ["a.txt", "b.txt"], s.out("ziel"))
        script = ["timeout 60", "cd A:\\", "start A:\\config.exe", "wait-main",
                  "expect-text 1000 C:\\e2e\\floppy\\vorgabe", "shot configured", "click 2",
                  "wait-exit-quiet 2926"]
        passed, log2 = wine.run_driver(DRIVER, script, s.name + "_configured")
        if not passed:
            problems.append("configured target from drive A: failed")
        log += "\n" + log2
        if set(os.listdir(floppy)) != {"install.exe", "config.exe"}:
            problems.append("something was written to drive A: %s" % os.listdir(floppy))
    finally:
        os.unlink(link)
    return problems, log


def overwrite_yes_and_no(wine):
    """The overwrite dialog for a plain, a read-only and a system file: the
    visible message line with the name as stored in the folder, both file
    lines (Bytes and KB, local date and time), "Ja" replaces (also a
    read-only file), "Nein" keeps the existing file."""
    s = Scenario(wine, "overwrite_yes_no")
    new = {"plain.txt": b"P" * 1500, "ro.txt": b"R" * 100, "sys.txt": b"S" * 2047}
    s.files(new, SUMMER)
    s.build(["plain.txt", "ro.txt", "sys.txt"])
    old = {"Plain.txt": b"p" * 1023, "ro.txt": b"r" * 1024, "sys.txt": b"s" * 50}
    s.existing("ziel", old, OLD)
    out = s.win_dir + "ziel\\"
    passed, log = s.play([
        "setattr %sro.txt R" % out,
        "setattr %ssys.txt SR" % out,
        "settext 1000 " + out,
        "click 1",
        "wait-dialog " + OVERWRITE_CAPTION,
        "expect-visible 1001", "expect-hidden 1002", "expect-hidden 1003",
        "expect-text 1001 Dieser Ordner enthält bereits eine Datei namens 'Plain.txt'.",
        "expect-line 1011 1023 " + when(OLD),
        "expect-line 1013 1500 " + when(SUMMER),
        "shot plain",
        "click 1",
        "wait-gone",
        "wait-dialog " + OVERWRITE_CAPTION,
        "expect-visible 1002", "expect-hidden 1001", "expect-hidden 1003",
        "expect-text 1002 Der Ordner enthält bereits eine schreibgeschützte Datei namens 'ro.txt'.",
        "expect-line 1011 1024 " + when(OLD),
        "expect-line 1013 100 " + when(SUMMER),
        "shot readonly",
        "click 1",
        "wait-gone",
        "wait-dialog " + OVERWRITE_CAPTION,
        "expect-visible 1003", "expect-hidden 1001", "expect-hidden 1002",
        "expect-text 1003 Der Ordner enthält bereits eine Systemdatei namens 'sys.txt'.",
        "expect-line 1011 50 " + when(OLD),
        "expect-line 1013 2047 " + when(SUMMER),
        "shot system",
        "click 7",
        "wait-gone"] + success_box(s.name))
    problems = [] if passed else ["driver failed"]
    folder = s.out("ziel")
    # The replaced file keeps what Windows keeps with a file, its name as
    # stored in the folder among it: "Plain.txt", not the entry's "plain.txt".
    plain = case_insensitive(folder, "plain.txt")
    if not plain or open(plain, "rb").read() != new["plain.txt"]:
        problems.append("'Ja' did not replace plain.txt")
    elif os.path.basename(plain) != "Plain.txt":
        problems.append("the replaced file is named %s, not Plain.txt as before" % os.path.basename(plain))
    elif int(os.stat(plain).st_mtime) != lib.extracted_stamp(int(os.stat(os.path.join(s.src, "plain.txt")).st_mtime)):
        problems.append("Plain.txt does not have the entry's time")
    problems += lib.compare_tree(s.src, ["ro.txt"], folder)
    if os.path.exists(os.path.join(folder, "ro.txt")) and not os.stat(os.path.join(folder, "ro.txt")).st_mode & 0o200:
        problems.append("ro.txt is still read-only after 'Ja'")
    if open(os.path.join(folder, "sys.txt"), "rb").read() != old["sys.txt"]:
        problems.append("'Nein' did not keep sys.txt")
    return problems, log


def overwrite_all_then_second_run(wine):
    """"Alle ersetzen" replaces later files without asking, but leaves a
    read-only file alone; that entry fails, the run ends with the failure on
    the status line and the dialog stays open; a second run into another
    folder then succeeds."""
    s = Scenario(wine, "overwrite_all")
    new = {"a.txt": b"A" * 10, "c.txt": b"C" * 20, "ro.txt": b"R" * 30}
    s.files(new)
    s.build(["a.txt", "c.txt", "ro.txt"])
    old = {"a.txt": b"a", "c.txt": b"c", "ro.txt": b"r"}
    s.existing("ziel", old)
    out = s.win_dir + "ziel"
    passed, log = s.play([
        "setattr %s\\ro.txt R" % out,
        "settext 1000 " + out,
        "click 1",
        "wait-dialog " + OVERWRITE_CAPTION,
        "expect-visible 1001",
        "expect-text 1001 Dieser Ordner enthält bereits eine Datei namens 'a.txt'.",
        "click 1030",
        "wait-gone",
        "expect-status Fehler (19963) in overwrite_all.exe.",
        "expect-no-box",
        "shot failed-run",
        "settext 1000 " + s.win_dir + "zweiter",
        "click 1"] + success_box(s.name))
    problems = [] if passed else ["driver failed"]
    folder = s.out("ziel")
    for name in ("a.txt", "c.txt"):
        if open(os.path.join(folder, name), "rb").read() != new[name]:
            problems.append("'Alle ersetzen' did not replace " + name)
    if open(os.path.join(folder, "ro.txt"), "rb").read() != old["ro.txt"]:
        problems.append("the read-only ro.txt was replaced after 'Alle ersetzen'")
    problems += lib.compare_tree(s.src, ["a.txt", "c.txt", "ro.txt"], s.out("zweiter"))
    return problems, log


def overwrite_cancel(wine):
    """"Abbrechen" in the overwrite dialog ends the run as cancelled: the
    existing file is kept, later entries are not written, the dialog stays
    open and a second "Abbrechen" ends the program with the cancel status."""
    s = Scenario(wine, "overwrite_cancel")
    s.files({"first.txt": b"new first", "second.txt": b"new second"})
    s.build(["first.txt", "second.txt"])
    s.existing("ziel", {"first.txt": b"old first"})
    passed, log = s.play([
        "settext 1000 " + s.win_dir + "ziel",
        "click 1",
        "wait-dialog " + OVERWRITE_CAPTION,
        "click 2",
        "wait-gone",
        "expect-status overwrite_cancel.exe : Abbruch durch Anwender.",
        "expect-no-box",
        "shot cancelled",
        "click 2",
        "wait-exit-quiet 2926"])
    problems = [] if passed else ["driver failed"]
    folder = s.out("ziel")
    if open(os.path.join(folder, "first.txt"), "rb").read() != b"old first":
        problems.append("first.txt changed after 'Abbrechen'")
    if os.path.exists(os.path.join(folder, "second.txt")):
        problems.append("second.txt was written after 'Abbrechen'")
    return problems, log


PROMPT = ("Der Zugriff auf die Datei '%s' ist nur mit einem Paßwort möglich."
          "{LF}{LF}Bitte geben Sie das korrekte Paßwort an.")


def encrypted(wine, name):
    s = Scenario(wine, name)
    s.files({"docs/readme.txt": GERMAN, "notes.txt": ENGLISH})
    # zip -P writes data descriptors, which the builder refuses by design; the
    # archive is wrapped here so the stub meets what Info-ZIP really writes.
    for _ in range(50):   # until the wrong password is refused by every check byte
        s.build(["docs/readme.txt", "notes.txt"], password="geheim", use_builder=False)
        if lib.zip_entries_fail_password(s.zip, "falsch"):
            break
    return s


def password_right(wine):
    """The password prompt names the entry's file without its folder, starts
    empty, and the right password extracts every encrypted entry with one
    question."""
    s = encrypted(wine, "password_right")
    passed, log = s.play([
        "settext 1000 " + s.win_dir + "ziel",
        "click 1",
        "wait-dialog " + PASSWORD_CAPTION,
        "expect-text 1018 " + PROMPT % "readme.txt",
        "expect-text 1019 ",
        "settext 1019 geheim",
        "shot prompt",
        "click 1",
        "wait-gone"] + success_box(s.name))
    problems = [] if passed else ["driver failed"]
    problems += lib.compare_tree(s.src, ["docs/readme.txt", "notes.txt"], s.out("ziel"))
    return problems, log


def password_wrong_then_right(wine):
    """A wrong password asks again with an empty field; the right one then
    extracts the files."""
    s = encrypted(wine, "password_wrong")
    passed, log = s.play([
        "settext 1000 " + s.win_dir + "ziel",
        "click 1",
        "wait-dialog " + PASSWORD_CAPTION,
        "settext 1019 falsch",
        "click 1",
        "wait-gone",
        "wait-dialog " + PASSWORD_CAPTION,
        "expect-text 1018 " + PROMPT % "readme.txt",
        "expect-text 1019 ",
        "shot asked-again",
        "settext 1019 geheim",
        "click 1",
        "wait-gone"] + success_box(s.name))
    problems = [] if passed else ["driver failed"]
    problems += lib.compare_tree(s.src, ["docs/readme.txt", "notes.txt"], s.out("ziel"))
    return problems, log


def password_cancel(wine):
    """"Abbrechen" in the password prompt refuses that entry, the next
    encrypted entry asks again, and the run ends as failed with the password
    status, nothing encrypted written and the dialog open; a second run then
    asks again from an empty password and extracts everything."""
    s = encrypted(wine, "password_cancel")
    passed, log = s.play([
        "settext 1000 " + s.win_dir + "ziel",
        "click 1",
        "wait-dialog " + PASSWORD_CAPTION,
        "click 2",
        "wait-gone",
        "wait-dialog " + PASSWORD_CAPTION,
        "expect-text 1018 " + PROMPT % "notes.txt",
        "shot second-entry",
        "click 2",
        "wait-gone",
        "expect-status Fehler (9961) in password_cancel.exe.",
        "expect-no-box",
        "shot failed",
        "expect-missing %sziel\\docs\\readme.txt" % s.win_dir,
        "expect-missing %sziel\\notes.txt" % s.win_dir,
        "click 1",
        "wait-dialog " + PASSWORD_CAPTION,
        "expect-text 1018 " + PROMPT % "readme.txt",
        "expect-text 1019 ",
        "settext 1019 geheim",
        "click 1",
        "wait-gone"] + success_box(s.name))
    problems = [] if passed else ["driver failed"]
    problems += lib.compare_tree(s.src, ["docs/readme.txt", "notes.txt"], s.out("ziel"))
    return problems, log


def password_from_builder(wine):
    """An AES-256 program of the project's builder (its default with
    --password): the password dialog refuses a wrong password by the
    verifier and asks again, the right one extracts (the authentication code
    checked)."""
    s = Scenario(wine, "password_builder")
    builder = lib.mksfx_path()
    if not builder:
        return None, "build/host/mksfx is not built"
    s.files({"docs/readme.txt": GERMAN, "notes.txt": ENGLISH})
    # "falsch" passes the 2-byte verifier of these salts (fixed by the
    # input) in no entry.
    subprocess.run([builder, "-o", s.exe, "--stub", STUB, "--quiet", "--password", "geheim",
                    os.path.join(s.src, "docs"), os.path.join(s.src, "notes.txt")], check=True, timeout=120)
    passed, log = s.play([
        "settext 1000 " + s.win_dir + "ziel",
        "click 1",
        "wait-dialog " + PASSWORD_CAPTION,
        "expect-text 1018 " + PROMPT % "readme.txt",
        "settext 1019 falsch",
        "click 1",
        "wait-gone",
        "wait-dialog " + PASSWORD_CAPTION,
        "expect-text 1019 ",
        "settext 1019 geheim",
        "click 1",
        "wait-gone"] + success_box(s.name))
    problems = [] if passed else ["driver failed"]
    problems += lib.compare_tree(s.src, ["docs/readme.txt", "notes.txt"], s.out("ziel"))
    return problems, log


def cancel_large_entry(wine):
    """"Abbrechen" while a large entry is written stops the run: the partial
    file is removed, later entries are not written, the status line says so
    and the dialog stays open. "Suchen" and a second "Entpacken" during the
    run do nothing."""
    s = Scenario(wine, "cancel_large")
    alphabet = bytes(b"abcdefghij klmno\n")
    table = bytes(alphabet[i % len(alphabet)] for i in range(256))
    # Large enough that the run outlasts the driver's clicks on a loaded
    # machine: the stub decodes hundreds of MB a second and answers the
    # driver only when it updates its status line, ten times a second.
    big = {"big%d.bin" % i: pseudo_random(40 << 20, i).translate(table) for i in (1, 2, 3)}
    s.files(big)
    s.files({"zuletzt.txt": b"last"})
    names = ["big1.bin", "big2.bin", "big3.bin", "zuletzt.txt"]
    s.build(names)
    passed, log = s.play([
        "settext 1000 " + s.win_dir + "ziel",
        "click 1",
        "wait-progress",
        "click 1014",
        "click 1",
        "wait-text-prefix 1005  Entpacke : big",
        "click 2",
        "shot cancelling",
        "expect-status cancel_large.exe : Abbruch durch Anwender.",
        "expect-no-window Zielverzeichnis auswählen",
        "expect-no-box",
        "shot cancelled",
        "click 2",
        "wait-exit-quiet 2926"])
    problems = [] if passed else ["driver failed"]
    written = lib.tree(s.out("ziel")) if os.path.isdir(s.out("ziel")) else []
    partial = [n for n in written if n not in ("big1.bin", "big2.bin")]
    if partial:
        problems.append("written after the cancel: %s" % partial)
    for name in written:   # an entry finished before the cancel must be whole
        if open(os.path.join(s.out("ziel"), name), "rb").read() != big.get(name):
            problems.append("%s left behind incomplete" % name)
    return problems, log


def no_archive(wine):
    """A program with no archive behind it: the run fails with status 9966 on
    the status line, the dialog stays open, and "Abbrechen" ends the program
    with that status as its exit code."""
    s = Scenario(wine, "no_archive")
    shutil.copy(STUB, s.exe)
    passed, log = s.play([
        "expect-text 1000 " + s.win_dir,
        "click 1",
        "expect-status Fehler (9966) in %s." % s.program,
        "expect-no-box",
        "shot failed",
        "click 2",
        "wait-exit-quiet 9966"])
    return ([] if passed else ["driver failed"]), log


ABOUT_TEXT = ("Dieses ZIP-Archiv wurde mit dem Tarvolin erzeugt.{LF}{LF}"
              "Informationen über diese Technologie und über Anwendungen,{LF}"
              "die diese Technologie nutzen, erhalten Sie unter{LF}{LF}"
              "\twww.brennholt.example{LF}{LF}"
              "Anfragen richten Sie bitte per E-Mail an{LF}{LF}"
              "\tsfx@brennholt.example")


def about_and_chooser(wine):
    """"Info über" shows the About text; "Suchen" opens the folder chooser in
    the current folder, and its OK puts that folder with a trailing backslash
    into the field (never the placeholder name); the run then extracts there."""
    s = Scenario(wine, "about_chooser")
    s.files({"a.txt": ENGLISH})
    s.build(["a.txt"])
    passed, log = s.play([
        "settext 1000 C:\\anderswo\\",
        "click 3",
        "wait-box",
        "expect-caption " + MAIN_CAPTION,
        "expect-box-text " + ABOUT_TEXT,
        "shot about",
        "click 1",
        "wait-gone",
        "click 1014",
        "wait-dialog Zielverzeichnis auswählen",
        "shot chooser",
        "click 1",
        "wait-gone",
        "expect-text 1000 " + s.win_dir,
        "click 1"] + success_box(s.name))
    problems = [] if passed else ["driver failed"]
    problems += lib.compare_tree(s.src, ["a.txt"], s.dir)
    return problems, log


# ----------------------------------------------------------------------------
# What Windows does beyond Wine's defaults, and what the real 32-bit stub does.

def command_named_like_the_program(wine):
    """setup.exe holding a setup.exe and configured to run "setup.exe": the
    extracted program runs, from the target folder, not the self-extractor a
    second time (Windows looks in the running program's folder first)."""
    s = Scenario(wine, "own_name", program="setup")
    shutil.copy(MARKER, os.path.join(s.src, "setup.exe"))
    s.files({"liesmich.txt": ENGLISH})
    target = s.win_dir + "ziel"
    s.build(["setup.exe", "liesmich.txt"], target=target, command="setup.exe")
    passed, log = s.play(["click 1", "wait-exit-quiet 0"])
    problems = [] if passed else ["driver failed"]
    marker = os.path.join(s.out("ziel"), "started.txt")
    for _ in range(SCENARIO_LIMIT * 5):   # the command outlives the self-extractor
        if os.path.exists(marker) and os.path.getsize(marker) > 0:
            break
        time.sleep(0.2)
    if not os.path.exists(marker):
        problems.append("the extracted setup.exe did not run (the self-extractor started itself again?)")
    else:
        started = open(marker, "rb").read().decode("utf-8")
        if started.lower() != (target + "\\setup.exe").lower():
            problems.append("started %s, not the extracted setup.exe" % started)
    return problems, log


def deep_folder_keeps_user_files(wine):
    """An entry whose folder has 254 characters (its path has 255, the most
    the program allows), in a folder full of files whose names look like
    temporary ones: the entry is extracted and every other file stays."""
    s = Scenario(wine, "deep")
    target = s.win_dir + "ziel\\"
    parts = []
    length = len(target)
    while length < 254:
        part = "d" * min(60, 254 - length - 1)
        parts.append(part)
        length += len(part) + 1
    rel = "/".join(parts)
    s.files({rel + "/g": b"extracted"})
    s.build([rel + "/g"])
    folder = os.path.join(s.out("ziel"), *parts)
    os.makedirs(folder)
    users = ["sfx%x" % n for n in range(1, 0x1000)] + ["sfx%X.tmp" % n for n in range(1, 64)] + \
            ["~%04X" % n for n in range(0, 64)]
    for name in users:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(name.encode())
    passed, log = s.play(["settext 1000 " + target, "click 1"] + success_box(s.name))
    problems = [] if passed else ["driver failed"]
    problems += lib.compare_tree(s.src, [rel + "/g"], s.out("ziel"))
    listed = set(os.listdir(folder))
    lost = [n for n in users if n not in listed or open(os.path.join(folder, n), "rb").read() != n.encode()]
    extra = sorted(listed - set(users) - {"g"})
    if lost:
        problems.append("user files lost or changed: %s" % lost[:5])
    if extra:
        problems.append("files left behind: %s" % extra[:5])
    return problems, log


def texts_on_code_page_1251(wine):
    """On a system whose ANSI code page is 1251 every text the program shows
    keeps its umlauts: the About box, the overwrite question from the
    dialog's template, and the box for a command that cannot start."""
    s = Scenario(wine, "cp1251")
    s.files({"a.txt": ENGLISH})
    command = "C:\\e2e\\gibtsnicht\\setup.exe"
    s.build(["a.txt"], target=s.win_dir + "ziel", command=command)
    s.existing("ziel", {"a.txt": b"old"})
    wine.kill_server()   # the next programs start under the other locale
    wine.locale = "ru_RU.UTF-8"
    try:
        passed, log = s.play([
            "expect-acp 1251",
            "click 3",
            "wait-box",
            "expect-box-text " + ABOUT_TEXT,
            "click 1",
            "wait-gone",
            "click 1",
            "wait-dialog " + OVERWRITE_CAPTION,
            "expect-text 1001 Dieser Ordner enthält bereits eine Datei namens 'a.txt'.",
            "shot overwrite",
            "click 1",
            "wait-gone",
            "wait-box",
            "expect-box-text Fehler beim Ausführen von %s." % command,
            "shot error-box",
            "click 1",
            "wait-gone",
            "wait-exit-quiet 9009"])
    finally:
        wine.kill_server()
        wine.locale = None
    problems = [] if passed else ["driver failed"]
    problems += lib.compare_tree(s.src, ["a.txt"], s.out("ziel"))
    return problems, log


def yes_waits_for_a_correct_entry(wine):
    """"Ja" on a read-only file changes nothing while the entry is not known
    to be good: after a CRC failure the file keeps its content and its
    read-only mark, and a read-only file outside the folder that a link in it
    points to stays as it was. A good entry then replaces a read-only file."""
    s = Scenario(wine, "yes_waits")
    new = {"ro.txt": b"new ro", "link.txt": b"new link", "good.txt": b"new good"}
    s.files(new)
    names = ["ro.txt", "link.txt", "good.txt"]
    lib.make_zip(s.src, s.zip, names)
    lib.corrupt_crc(s.zip, "ro.txt")
    lib.corrupt_crc(s.zip, "link.txt")
    lib.assemble(STUB, s.zip, s.exe, use_builder=False)   # the builder refuses bad CRCs
    s.existing("ziel", {"ro.txt": b"old ro", "good.txt": b"old good"})
    outside = os.path.join(s.dir, "outside.txt")
    with open(outside, "wb") as f:
        f.write(b"outside")
    folder = s.out("ziel")
    os.symlink("../outside.txt", os.path.join(folder, "link.txt"))
    for path in (os.path.join(folder, "ro.txt"), os.path.join(folder, "good.txt"), outside):
        os.chmod(path, 0o444)
    steps = ["settext 1000 " + s.win_dir + "ziel", "click 1"]
    for name in names:
        steps += ["wait-dialog " + OVERWRITE_CAPTION,
                  "expect-text 1002 Der Ordner enthält bereits eine schreibgeschützte Datei namens '%s'." % name,
                  "click 1", "wait-gone"]
    passed, log = s.play(steps + ["expect-status Fehler (19962) in %s." % s.program, "shot failed",
                                  "click 2", "wait-exit-quiet 19962"])
    problems = [] if passed else ["driver failed"]
    for path, content in ((os.path.join(folder, "ro.txt"), b"old ro"), (outside, b"outside")):
        if open(path, "rb").read() != content:
            problems.append("%s changed after a failed entry" % os.path.basename(path))
        if os.stat(path).st_mode & 0o222:
            problems.append("%s lost its read-only mark after a failed entry" % os.path.basename(path))
    if not os.path.islink(os.path.join(folder, "link.txt")):
        problems.append("link.txt is no longer the link it was")
    good = os.path.join(folder, "good.txt")
    if open(good, "rb").read() != new["good.txt"]:
        problems.append("'Ja' did not replace the read-only good.txt with a correct entry")
    return problems, log


def every_entry_accounted_for(wine):
    """No entry vanishes while the run says "erfolgreich": dot files are
    extracted; data shorter than declared, a method other than stored and
    deflated, and device names (CONIN$, COM with a superscript digit) fail the
    run without a question; the first failure is on the status line."""
    s = Scenario(wine, "accounted")
    names = [".htaccess", "conf/.env", "normal.txt", "kurz.txt", "CONIN$", "COM\u00b9.txt", "m1.txt"]
    with zipfile.ZipFile(s.zip, "w") as archive:
        for name in names:
            archive.writestr(zipfile.ZipInfo(name, date_time=SUMMER[:6]), ("content of %s\r\n" % name).encode())
    lib.patch_entry(s.zip, "kurz.txt", uncompressed=1000)
    lib.patch_entry(s.zip, "m1.txt", method=1)
    lib.assemble(STUB, s.zip, s.exe, use_builder=False)   # the builder refuses all of these
    passed, log = s.play(["settext 1000 " + s.win_dir + "ziel", "click 1",
                          "expect-status Fehler (9964) in %s." % s.program, "expect-no-box", "shot failed",
                          "click 2", "wait-exit-quiet 9964"])
    problems = [] if passed else ["driver failed"]
    found = lib.tree(s.out("ziel")) if os.path.isdir(s.out("ziel")) else []
    if found != sorted([".htaccess", "conf/.env", "normal.txt"]):
        problems.append("extracted %s, expected the dot files and normal.txt" % found)
    return problems, log


def dialog_tour(wine):
    """One program start through every dialog and outcome: a cancel during a
    large entry, "Abbrechen", "Nein", "Ja" and "Alle ersetzen" in the
    overwrite dialog, a wrong and a cancelled password with the failed run's
    status line, then the right password and the success box. (The real
    32-bit stub starts slowly under qemu, so its runs share one start.)"""
    s = Scenario(wine, "tour")
    alphabet = bytes(b"abcdefghij klmno\n")
    table = bytes(alphabet[i % len(alphabet)] for i in range(256))
    s.files({"gross.bin": pseudo_random(40 << 20, 5).translate(table), "vorhanden.txt": b"new",
             "docs/geheim.txt": GERMAN})
    for _ in range(50):   # until the wrong password is refused by every check byte
        lib.make_zip(s.src, s.zip, ["gross.bin", "vorhanden.txt"])
        subprocess.run(["zip", "-X", "-q", "-P", "geheim", s.zip, "docs/geheim.txt"], cwd=s.src, check=True,
                       timeout=300, env=dict(os.environ, TZ=lib.TIME_ZONE))
        if lib.zip_entries_fail_password(s.zip, "falsch"):
            break
    lib.assemble(STUB, s.zip, s.exe, use_builder=False)   # zip -P writes data descriptors
    s.existing("ziel", {"vorhanden.txt": b"old"})
    out = s.win_dir + "ziel"
    cancelled = "expect-status %s : Abbruch durch Anwender." % s.program
    password = ["wait-dialog " + PASSWORD_CAPTION, "expect-text 1018 " + PROMPT % "geheim.txt",
                "expect-text 1019 "]
    passed, log = s.play([
        "settext 1000 " + out,
        # 1: cancelled while the large entry is written (the 64-bit stub writes
        # it in a moment: there the cancel is posted with the start, and the
        # run ends at the entry's start); it is not left behind.
        "click 1"] + (["wait-progress"] if SUFFIX else []) + ["click 2", cancelled,
        "expect-missing %s\\gross.bin" % out,
        # 2: "Abbrechen" in the overwrite dialog.
        "click 1", "wait-dialog " + OVERWRITE_CAPTION,
        "expect-text 1001 Dieser Ordner enthält bereits eine Datei namens 'vorhanden.txt'.",
        "click 2", "wait-gone", cancelled,
        # 3: "Nein", "Ja", a wrong password, then "Abbrechen" in the prompt.
        "click 1",
        "wait-dialog " + OVERWRITE_CAPTION, "click 7", "wait-gone",
        "wait-dialog " + OVERWRITE_CAPTION, "click 1", "wait-gone"] + password + [
        "settext 1019 falsch", "click 1", "wait-gone"] + password + [
        "click 2", "wait-gone",
        "expect-status Fehler (9961) in %s." % s.program,
        "expect-missing %s\\docs\\geheim.txt" % out,
        "shot failed-run",
        # 4: "Alle ersetzen" and the right password.
        "click 1", "wait-dialog " + OVERWRITE_CAPTION, "click 1030", "wait-gone"] + password + [
        "settext 1019 geheim", "click 1", "wait-gone"] + success_box(s.program[:-4]))
    problems = [] if passed else ["driver failed"]
    problems += lib.compare_tree(s.src, ["gross.bin", "vorhanden.txt", "docs/geheim.txt"], s.out("ziel"))
    return problems, log


def branded_from_builder(wine):
    """A program whose icon and version information the builder set (its
    resource section rebuilt around the dialogs) starts, shows the main
    dialog and extracts."""
    s = Scenario(wine, "branded_builder")
    builder = lib.mksfx_path()
    if not builder:
        return None, "build/host/mksfx is not built"
    s.files({"readme.txt": GERMAN, "data/numbers.bin": bytes(range(256)) * 64})
    icon = os.path.join(WORK, s.name, "app.ico")
    subprocess.run(["convert", "-size", "256x256", "gradient:navy-gold", "-define", "icon:auto-resize=256,48,32,16",
                    icon], check=True, timeout=120)
    subprocess.run([builder, "-o", s.exe, "--stub", STUB, "--quiet", "--icon", icon, "--product", "Beispiel",
                    "--version", "1.2.3.4", "--company", "Brennholt", "--description", "Beispiel-Installer",
                    "--copyright", "© 2026 Brennholt", os.path.join(s.src, "readme.txt"),
                    os.path.join(s.src, "data")], check=True, timeout=120)
    passed, log = s.play([
        "expect-caption " + MAIN_CAPTION,
        "settext 1000 " + s.win_dir + "ziel",
        "shot branded",
        "click 1"] + success_box(s.name))
    problems = [] if passed else ["driver failed"]
    problems += lib.compare_tree(s.src, ["readme.txt", "data/numbers.bin"], s.out("ziel"))
    return problems, log


SCENARIOS = [success_without_command, command_runs_in_target, command_cannot_start, floppy_start,
             overwrite_yes_and_no, overwrite_all_then_second_run, overwrite_cancel, password_right,
             password_wrong_then_right, password_cancel, password_from_builder, cancel_large_entry, no_archive,
             about_and_chooser, command_named_like_the_program, deep_folder_keeps_user_files,
             texts_on_code_page_1251, yes_waits_for_a_correct_entry, every_entry_accounted_for, dialog_tour,
             branded_from_builder]

# The real 32-bit stub: the faults of real Windows, the tour through every
# dialog, and a program with no archive; each start takes a minute or more.
SCENARIOS32 = [dialog_tour, command_named_like_the_program, deep_folder_keeps_user_files,
               texts_on_code_page_1251, yes_waits_for_a_correct_entry, no_archive]


def no_wine32():
    """Why 32-bit programs cannot run here, or None."""
    binfmt = "/proc/sys/fs/binfmt_misc/qemu-i386"
    if not os.path.exists(binfmt):
        return "no qemu-i386 rule in binfmt_misc (scripts/setup.sh registers it)"
    if "enabled" not in open(binfmt).read():
        return "the qemu-i386 binfmt rule is disabled"
    if not os.access("/usr/lib/wine/wine", os.X_OK):
        return "32-bit Wine (/usr/lib/wine/wine) is not installed"
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--only", default="")
    parser.add_argument("--counts", default="")
    parser.add_argument("--display", type=int, default=0)
    parser.add_argument("--bits", type=int, choices=(32, 64), default=64)
    args = parser.parse_args()
    if args.bits == 32:
        use_stub32()
    if not args.display:
        args.display = int(os.environ.get("SFX_E2E_DISPLAY32", "72") if args.bits == 32
                           else os.environ.get("SFX_E2E_DISPLAY", "71"))
    only = set(filter(None, args.only.split(",")))
    chosen = [f for f in (SCENARIOS32 if args.bits == 32 else SCENARIOS) if not only or f.__name__ in only]
    counts = {"PASS": 0, "FAIL": 0, "SKIPPED": 0}

    def report(word, name, detail=""):
        counts[word] += 1
        print("%s %s%s" % (word, name, (": " + detail) if detail else ""), flush=True)

    missing = [p for p in (STUB, DRIVER, MARKER) if not os.path.isfile(p)]
    reason = no_wine32() if args.bits == 32 else None
    if reason:
        for f in chosen:
            report("SKIPPED", f.__name__ + LABEL, reason)
    elif missing:
        for f in chosen:
            report("FAIL", f.__name__ + LABEL, "not built: " + ", ".join(missing))
    else:
        display = lib.Display(args.display)
        wine = lib.Wine(os.environ.get("SFX_E2E_PREFIX", os.path.join(lib.BUILD, "wine64-prefix")), display)
        try:
            display.start()
            wine.ensure_prefix()
            if args.bits == 32 and not os.path.isdir(os.path.join(wine.drive_c, "windows", "syswow64")):
                raise RuntimeError("the Wine prefix has no 32-bit side (syswow64)")
            os.makedirs(lib.SHOTS, exist_ok=True)
            for f in chosen:
                start = time.time()
                try:
                    problems, log = f(wine)
                except Exception:
                    problems, log = ["error: " + traceback.format_exc()], ""
                took = "%.1fs" % (time.time() - start)
                if problems is None:
                    report("SKIPPED", f.__name__ + LABEL, log)
                elif problems:
                    report("FAIL", f.__name__ + LABEL, "; ".join(problems) + " (" + took + ")")
                    print("    " + log.replace("\n", "\n    "), flush=True)
                else:
                    report("PASS", f.__name__ + LABEL, took)
        finally:
            wine.kill_server()
            display.stop()
    if args.counts:
        with open(args.counts, "w") as f:
            f.write("%d %d %d\n" % (counts["PASS"], counts["FAIL"], counts["SKIPPED"]))
    return 1 if counts["FAIL"] else 0


if __name__ == "__main__":
    sys.exit(main())

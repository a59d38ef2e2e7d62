#!/usr/bin/env python3
"""Scripted starts of the self-extractor under Wine: the command-line
switches, the exit codes a script sees, and signed self-extractors.

Each run starts the program with arguments through the Win32 driver, which
reports the exit code in full (Wine's own exit status keeps only its low 8
bits) and fails a silent run on any window it opens. Files are checked from
Linux after each run. The scenarios' machinery and main() are those of
run_scenarios.py; with --bits 32 the real 32-bit stub, whose every start
takes a minute or more under qemu, runs one key start: a signed
self-extractor, silent, into a folder with blanks.

Usage: run_scripted.py [--bits 32|64] [--only NAME,...] [--counts FILE]
"""
import os
import shutil
import struct
import subprocess
import sys
import time
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cli"))
import e2e_lib as lib  # noqa: E402
import run_scenarios as sc  # noqa: E402
import signing  # noqa: E402

SWITCH_LIST = ("/S\t\tohne Dialog entpacken{LF}"
               "/D=Ordner\tZielpfad{LF}"
               "/O\t\tDateien ersetzen{LF}"
               "/N\t\tDateien nicht ersetzen{LF}"
               "/P=Paßwort\tPaßwort{LF}"
               "/X\t\tBefehl nicht starten{LF}"
               "/W\t\tauf den Befehl warten")


def start(s, args, steps, run, limit=None):
    """Starts the scenario's program with args and plays steps (each wait
    within limit seconds, if given); returns the problems (none when the
    driver passed) and the log."""
    wait = limit or sc.START_WAIT
    script = ["timeout %d" % wait, "cd " + s.win_dir, "args " + args, "start " + s.win_exe] + steps
    passed, log = s.wine.run_driver(sc.DRIVER, script, "%s-%s" % (s.name, run),
                                    limit=max(sc.SCENARIO_LIMIT, wait + 60))
    return ([] if passed else ["run '%s' failed" % run]), "%s:\n%s" % (run, log)


def silent(s, args, code, run, limit=None):
    """A run under /S: it must end with code without opening any window."""
    return start(s, "/S " + args, ["wait-exit-quiet %d" % code], run, limit)


def folder_of(s, name):
    return '"/D=%s%s"' % (s.win_dir, name)


def wait_for_file(path, seconds=30):
    """True once path exists and is not empty: a command started by the
    program outlives it."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        if os.path.isfile(path) and os.path.getsize(path) > 0:
            return True
        time.sleep(0.1)
    return False


def contents(path):
    return open(path, "rb").read() if os.path.isfile(path) else None


def silent_success_and_command(wine):
    """/S extracts into the /D folder (quoted, with blanks) instead of the
    configured one, without any window, exits with 0 and starts the
    configured command there; with /X (other quoting, a trailing backslash,
    other letter case) the command is not started."""
    s = sc.Scenario(wine, "silent_success")
    names = ["readme.txt", "data/numbers.bin", "leer.txt"]
    s.files({"readme.txt": sc.GERMAN, "data/numbers.bin": bytes(range(256)) * 64, "leer.txt": b""})
    s.build(names, target=s.win_dir + "konfiguriert", command="cmd /c echo x> marker.txt")
    problems, log = silent(s, folder_of(s, "Mein Ziel"), 0, "silent")
    problems += lib.compare_tree(s.src, names, s.out("Mein Ziel"))
    if os.path.exists(s.out("konfiguriert")):
        problems.append("the configured folder was used despite /D")
    marker = os.path.join(s.out("Mein Ziel"), "marker.txt")
    if not wait_for_file(marker):
        problems.append("the configured command left no marker.txt in the /D folder")

    # Typed by hand: a backslash before the closing quote, then one more switch.
    more, log2 = start(s, '-s /d="%sOhne Befehl\\" -x' % s.win_dir, ["wait-exit-quiet 0"], "no-command")
    problems += more + lib.compare_tree(s.src, names, s.out("Ohne Befehl"))
    # The command would have written its marker by the time the first one's
    # did; give it as long before taking its absence as the answer.
    if wait_for_file(os.path.join(s.out("Ohne Befehl"), "marker.txt"), 3):
        problems.append("/X: the configured command was started")
    return problems, log + "\n" + log2


def silent_existing_files(wine):
    """An existing file under /S: without /O or /N the run ends there with
    80 and the file keeps its content (entries before it are written, later
    ones not); /N keeps it and writes the rest; /O replaces it."""
    s = sc.Scenario(wine, "silent_existing")
    new = {"a.txt": b"neu a", "b.txt": b"neu b", "c.txt": b"neu c"}
    s.files(new)
    s.build(["a.txt", "b.txt", "c.txt"])
    s.existing("ziel", {"b.txt": b"alt b"})
    folder = s.out("ziel")
    problems, log = silent(s, folder_of(s, "ziel"), 80, "neither")
    if contents(os.path.join(folder, "b.txt")) != b"alt b":
        problems.append("without /O or /N the existing b.txt changed")
    if contents(os.path.join(folder, "a.txt")) != new["a.txt"]:
        problems.append("a.txt, before the existing file, was not written")
    if os.path.exists(os.path.join(folder, "c.txt")):
        problems.append("c.txt was written after the run ended at b.txt")

    more, log2 = silent(s, "/N " + folder_of(s, "ziel"), 0, "keep")
    problems += more
    if contents(os.path.join(folder, "b.txt")) != b"alt b":
        problems.append("/N replaced b.txt")
    if contents(os.path.join(folder, "c.txt")) != new["c.txt"]:
        problems.append("/N did not write c.txt")

    more, log3 = silent(s, "/O " + folder_of(s, "ziel"), 0, "replace")
    problems += more + lib.compare_tree(s.src, ["a.txt", "b.txt", "c.txt"], folder)
    return problems, "\n".join((log, log2, log3))


def passwords(wine):
    """Encrypted entries under /S: no /P and a wrong /P end with 9961 and
    nothing written, the right /P extracts. Without /S the right /P is used
    without a prompt, and /D shows in the dialog's field."""
    s = sc.encrypted(wine, "silent_password")
    names = ["docs/readme.txt", "notes.txt"]
    problems, log = silent(s, folder_of(s, "ohne"), 9961, "missing")
    more, log2 = silent(s, "/P=falsch " + folder_of(s, "falsch"), 9961, "wrong")
    problems += more
    for folder in ("ohne", "falsch"):
        written = lib.tree(s.out(folder)) if os.path.isdir(s.out(folder)) else []
        if written:
            problems.append("written without the right password: %s" % written)
    more, log3 = silent(s, "/P=geheim " + folder_of(s, "richtig"), 0, "right")
    problems += more + lib.compare_tree(s.src, names, s.out("richtig"))

    more, log4 = start(s, "/P=geheim " + folder_of(s, "im Dialog"),
                       ["wait-main", "expect-text 1000 %sim Dialog" % s.win_dir, "click 1"] + sc.success_box(s.name),
                       "dialog")
    problems += more + lib.compare_tree(s.src, names, s.out("im Dialog"))
    return problems, "\n".join((log, log2, log3, log4))


def aes_password(wine):
    """An AES-256 program of the project's builder under /S: a wrong /P=
    ends with 9961 and nothing written (64-bit only), the right one extracts
    everything, the authentication codes checked."""
    s = sc.Scenario(wine, "silent_aes")
    builder = lib.mksfx_path()
    if not builder:
        return ["build/host/mksfx is not built"], ""
    s.files({"docs/readme.txt": sc.GERMAN, "notes.txt": sc.ENGLISH, "daten.bin": sc.pseudo_random(300000, 9)})
    subprocess.run([builder, "-o", s.exe, "--stub", sc.STUB, "--quiet", "--password", "Kennwort-2026",
                    os.path.join(s.src, "docs"), os.path.join(s.src, "notes.txt"), os.path.join(s.src, "daten.bin")],
                   check=True, timeout=120)
    problems, logs = [], []
    if not sc.SUFFIX:
        problems, log = silent(s, "/P=falsch " + folder_of(s, "falsch"), 9961, "wrong")
        logs.append(log)
        written = lib.tree(s.out("falsch")) if os.path.isdir(s.out("falsch")) else []
        if [p for p in written if not p.endswith("/")]:
            problems.append("written without the right password: %s" % written)
    more, log = silent(s, "/P=Kennwort-2026 " + folder_of(s, "richtig"), 0, "right")
    logs.append(log)
    problems += more + lib.compare_tree(s.src, ["docs/readme.txt", "notes.txt", "daten.bin"], s.out("richtig"))
    return problems, "\n".join(logs)


def waited_command(wine):
    """/W waits for the configured command and exits with its code (3); a
    command that cannot be started ends a silent run with 9009, with /W and
    without, and no box."""
    s = sc.Scenario(wine, "silent_wait")
    s.files({"a.txt": sc.ENGLISH})
    s.build(["a.txt"], command="cmd /c exit 3")
    problems, log = silent(s, "/W " + folder_of(s, "ziel"), 3, "wait")
    problems += lib.compare_tree(s.src, ["a.txt"], s.out("ziel"))

    broken = sc.Scenario(wine, "silent_command_fails")
    broken.files({"a.txt": sc.ENGLISH})
    broken.build(["a.txt"], command="C:\\e2e\\gibtsnicht\\setup.exe")
    logs = [log]
    for args, run in (("", "started"), ("/W ", "waited")):
        more, more_log = silent(broken, args + folder_of(broken, run), 9009, run)
        problems += more + lib.compare_tree(broken.src, ["a.txt"], broken.out(run))
        logs.append(more_log)
    return problems, "\n".join(logs)


def refused_switches_and_exit_codes(wine):
    """An unknown switch extracts nothing: a box that names it above the list
    of switches and exit code 87, or under /S only the code. /? shows the
    list and exits with 0. A dialog closed without a run exits with the
    cancel status 2926; a silent run without an archive with 9966."""
    s = sc.Scenario(wine, "switches")
    s.files({"a.txt": sc.ENGLISH})
    s.build(["a.txt"])
    problems, log = silent(s, "/Q " + folder_of(s, "still"), 87, "unknown-silent")
    box = ["wait-box", "expect-caption " + sc.MAIN_CAPTION]
    more, log2 = start(s, "/q " + folder_of(s, "box"),
                       box + ["expect-box-text Ungültiger Schalter: /q{LF}{LF}" + SWITCH_LIST, "shot refused",
                              "click 1", "wait-gone", "wait-exit-quiet 87"], "unknown")
    problems += more
    for folder in ("still", "box"):
        if os.path.exists(s.out(folder)):
            problems.append("a refused switch still extracted into %s" % folder)
    more, log3 = start(s, "-?", box + ["expect-box-text " + SWITCH_LIST, "shot list", "click 1", "wait-gone",
                                      "wait-exit-quiet 0"], "list")
    problems += more
    more, log4 = start(s, folder_of(s, "nie"), ["wait-main", "expect-text 1000 %snie" % s.win_dir, "click 2",
                                                "wait-exit-quiet 2926"], "closed")
    problems += more

    bare = sc.Scenario(wine, "silent_no_archive")
    shutil.copy(sc.STUB, bare.exe)
    more, log5 = silent(bare, folder_of(bare, "ziel"), 9966, "no-archive")
    problems += more
    return problems, "\n".join((log, log2, log3, log4, log5))


def signed_program(wine):
    """A self-extractor signed after it was built (the signature behind the
    archive): it verifies, and it extracts silently into a folder with
    blanks."""
    s = sc.Scenario(wine, "signed")
    names = ["liesmich.txt", "daten/zahlen.bin"]
    s.files({"liesmich.txt": sc.GERMAN, "daten/zahlen.bin": bytes(range(256)) * 40})
    lib.make_zip(s.src, s.zip, names)
    unsigned = os.path.join(sc.WORK, s.name, "unsigned.exe")
    lib.assemble(sc.STUB, s.zip, unsigned)
    try:
        signing.sign(unsigned, s.exe, os.path.join(sc.WORK, s.name, "cert"))
    except signing.SigningError as e:
        return [str(e)], ""
    problems, log = silent(s, folder_of(s, "Mein Ziel"), 0, "silent")
    return problems + lib.compare_tree(s.src, names, s.out("Mein Ziel")), log


# Names in six scripts (UTF-8, flag bit 11, as zipfile writes them) and one
# that only an Info-ZIP Unicode path field (0x7075) gives: its stored name
# is plain ASCII.
SCRIPT_NAMES = ["日本語/説明書.txt", "Ελληνικά.txt", "Łódź_zażółć.txt", "Кириллица/файл.txt", "한국어_中文.txt",
                "Emoji_😀.txt"]
UNICODE_PATH_NAME, UNICODE_PATH_STORED = "Ωmega_Info.txt", "x_plain.txt"


def unicode_zip(s):
    """The scenario's sources under those names, zipped by Python's zipfile;
    the names as they must come out."""
    names = SCRIPT_NAMES + [UNICODE_PATH_NAME, "readme.txt"]
    s.files({name: ("%s\r\n" % name).encode("utf-8") * 20 for name in names})
    with zipfile.ZipFile(s.zip, "w", zipfile.ZIP_DEFLATED) as archive:
        for name in names:
            if name == UNICODE_PATH_NAME:
                info = zipfile.ZipInfo.from_file(os.path.join(s.src, name), UNICODE_PATH_STORED)
                text = name.encode("utf-8")
                info.extra = struct.pack("<HHBI", 0x7075, 5 + len(text), 1,
                                         zlib.crc32(UNICODE_PATH_STORED.encode())) + text
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(os.path.join(s.src, name), "rb") as f:
                    archive.writestr(info, f.read())
            else:
                archive.write(os.path.join(s.src, name), name)
    return names


def unicode_folders(wine):
    """A program saved in a folder whose name no ANSI code page holds, itself
    so named, started silently: it finds itself and extracts beside itself
    names in six scripts and one from an Info-ZIP Unicode path field,
    exactly. /D= names another such folder; in the dialog the field shows the
    program's folder and the status line its name. (The real 32-bit stub:
    the first start alone.)"""
    s = sc.Scenario(wine, "unicode_folders", program="setup_Łódź")
    names = unicode_zip(s)
    lib.assemble(sc.STUB, s.zip, s.exe)
    home = "Downloads_Łódź_日本"
    folder = os.path.join(s.dir, home)
    os.makedirs(folder)
    shutil.move(s.exe, os.path.join(folder, s.program))
    win_home = s.win_dir + home + "\\"

    def run(args, steps, name):
        script = ["timeout %d" % sc.START_WAIT, "cd " + win_home] + (["args " + args] if args else []) + \
                 ["start " + win_home + s.program] + steps
        passed, log = s.wine.run_driver(sc.DRIVER, script, "%s-%s" % (s.name, name), limit=sc.SCENARIO_LIMIT)
        return ([] if passed else ["run '%s' failed" % name]), "%s:\n%s" % (name, log)

    def exactly(root):
        found = sorted(n for n in lib.tree(root) if n != s.program)
        return [] if found == sorted(names) else ["extracted %s, expected %s" % (found, sorted(names))]

    problems, log = run("/S", ["wait-exit-quiet 0"], "beside")
    problems += lib.compare_tree(s.src, names, folder) + exactly(folder)
    logs = [log]
    if not sc.SUFFIX:
        other = "Ziel_Ελληνικά_Кириллица_한국어"
        more, more_log = run('"/D=%s%s" /S' % (s.win_dir, other), ["wait-exit-quiet 0"], "elsewhere")
        problems += more + lib.compare_tree(s.src, names, s.out(other))
        dialog = "Im_Dialog_中文_😀"
        more, dialog_log = run("", ["wait-main", "expect-text 1000 " + win_home, "settext 1000 " + s.win_dir + dialog,
                                    "click 1"] + sc.success_box(s.program[:-4]), "dialog")
        problems += more + lib.compare_tree(s.src, names, s.out(dialog))
        logs += [more_log, dialog_log]
    return problems, "\n".join(logs)


def long_paths(wine):
    """A target path past 300 characters: the folder from /D= and an entry
    in folders deep inside it, written whole."""
    s = sc.Scenario(wine, "long_paths")
    deep = "/".join(["Verzeichnis_%02d_%s" % (i, "x" * 40) for i in range(6)]) + "/datei.txt"
    s.files({deep: sc.GERMAN, "kurz.txt": sc.ENGLISH})
    lib.make_zip(s.src, s.zip, [deep, "kurz.txt"])
    joined(sc.STUB, s.zip, s.exe)
    target = "Ziel_" + "z" * 60
    problems, log = silent(s, folder_of(s, target), 0, "deep")
    full = len(s.win_dir + target + "\\" + deep)
    if full <= 300:
        problems.append("the path is only %d characters long" % full)
    return problems + lib.compare_tree(s.src, [deep, "kurz.txt"], s.out(target)), log


def joined(stub, zip_path, out):
    """stub, an empty configuration block and the archive joined as they are,
    its offsets counting from its own start: the program reads it by the
    difference."""
    with open(out, "wb") as f:
        for part in (stub, zip_path):
            with open(part, "rb") as p:
                shutil.copyfileobj(p, f, 1 << 20)
            if part == stub:
                f.write(lib.config_block())


def zip64_entries(wine):
    """Zip64: an entry of 4.3 GB (zeros, so the program file stays small)
    and an archive of 70,000 entries extract whole. The large file is
    checked and removed at once."""
    s = sc.Scenario(wine, "zip64_large")
    size = 4300 * 1000 * 1000
    with zipfile.ZipFile(s.zip, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as archive:
        with archive.open(zipfile.ZipInfo("null.bin", date_time=sc.SUMMER[:6]), "w", force_zip64=True) as f:
            block = bytes(1 << 24)
            for _ in range(size // len(block)):
                f.write(block)
            f.write(bytes(size % len(block)))
    joined(sc.STUB, s.zip, s.exe)
    os.unlink(s.zip)
    problems, log = silent(s, folder_of(s, "ziel"), 0, "large", 600)
    large = os.path.join(s.out("ziel"), "null.bin")
    try:
        if not os.path.isfile(large) or os.path.getsize(large) != size:
            problems.append("null.bin: %s bytes, expected %d" % (
                os.path.getsize(large) if os.path.isfile(large) else "no file", size))
        else:
            with open(large, "rb") as f:
                zero = bytes(1 << 24)
                while True:
                    chunk = f.read(1 << 24)
                    if not chunk:
                        break
                    if chunk != zero[:len(chunk)]:
                        problems.append("null.bin holds other bytes than zeros")
                        break
    finally:
        shutil.rmtree(s.out("ziel"), ignore_errors=True)

    many = sc.Scenario(wine, "zip64_many")
    count = 70000
    with zipfile.ZipFile(many.zip, "w", zipfile.ZIP_STORED) as archive:
        for n in range(count):
            archive.writestr(zipfile.ZipInfo("d%03d/f%05d.txt" % (n % 1000, n), date_time=sc.SUMMER[:6]), b"%d\n" % n)
    joined(sc.STUB, many.zip, many.exe)
    # Wine looks a name up by reading its whole folder: a thousand folders
    # of 70 files each keep that short.
    more, log2 = silent(many, folder_of(many, "ziel"), 0, "many", 1200)
    problems += more
    found = lib.tree(many.out("ziel")) if os.path.isdir(many.out("ziel")) else []
    if len(found) != count:
        problems.append("%d of %d entries extracted" % (len(found), count))
    else:
        wrong = [n for n in range(count) if open(os.path.join(many.out("ziel"), "d%03d" % (n % 1000), "f%05d.txt" % n),
                                                 "rb").read() != b"%d\n" % n]
        if wrong:
            problems.append("%d files with other contents, first f%05d.txt" % (len(wrong), wrong[0]))
    shutil.rmtree(many.out("ziel"), ignore_errors=True)
    return problems, log + "\n" + log2


SCENARIOS = [silent_success_and_command, silent_existing_files, passwords, aes_password, waited_command,
             refused_switches_and_exit_codes, signed_program, unicode_folders, long_paths, zip64_entries]
SCENARIOS32 = [signed_program, unicode_folders, aes_password]

if __name__ == "__main__":
    sc.SCENARIOS[:] = SCENARIOS
    sc.SCENARIOS32[:] = SCENARIOS32
    sys.exit(sc.main())

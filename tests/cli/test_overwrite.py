"""unsfx and existing files: -o, -n, no terminal, and the question on a
terminal (ja / nein / alle / abbrechen); hostile names stay inside."""
import os
import resource
import signal
import subprocess
import zipfile
from unsfx_lib import UNSFX, check, finish, make_sfx, need_tool, run_on_terminal, tempdir, tree, unsfx

need_tool("zip")

with tempdir() as work:
    zpath = os.path.join(work, "a.zip")
    with zipfile.ZipFile(zpath, "w", zipfile.ZIP_STORED) as z:
        for name in ("a.txt", "b.txt", "c.txt"):
            z.writestr(zipfile.ZipInfo(name, (2021, 1, 2, 3, 4, 6)), ("new " + name).encode())
    sfx = make_sfx(zpath, os.path.join(work, "a.exe"))

    def prepare(folder):
        os.makedirs(folder)
        for name in ("a.txt", "b.txt"):
            open(os.path.join(folder, name), "wb").write(b"old " + name.encode())

    def content(folder, name):
        return open(os.path.join(folder, name), "rb").read().decode()

    out = os.path.join(work, "no-terminal")
    prepare(out)
    r = unsfx("-d", out, sfx)
    err = r.stderr.decode()
    check(r.returncode != 0, "existing file without terminal: exit 0")
    check("existiert bereits" in err and "-o" in err, f"no clear message: {err!r}")
    check(content(out, "a.txt") == "old a.txt", "existing file changed without terminal")
    check(not os.path.exists(os.path.join(out, "c.txt")), "run went on after the abort")

    out = os.path.join(work, "replace")
    prepare(out)
    r = unsfx("-o", "-d", out, sfx)
    check(r.returncode == 0, f"-o exit {r.returncode} {r.stderr!r}")
    check([content(out, n) for n in ("a.txt", "b.txt", "c.txt")] == ["new a.txt", "new b.txt", "new c.txt"],
          "-o replaces every file")

    out = os.path.join(work, "skip")
    prepare(out)
    r = unsfx("-n", "-d", out, sfx)
    check(r.returncode == 0, f"-n exit {r.returncode} {r.stderr!r}")
    check([content(out, n) for n in ("a.txt", "b.txt", "c.txt")] == ["old a.txt", "old b.txt", "new c.txt"],
          "-n keeps existing files")

    r = unsfx("-o", "-n", "-d", out, sfx)
    check(r.returncode == 2, "-o with -n is a usage error")

    prompt = "Ersetzen? [j]a, [n]ein, [a]lle, a[b]brechen:"
    out = os.path.join(work, "ask-ja-nein")
    prepare(out)
    code, text = run_on_terminal(["-d", out, sfx], [(prompt, "nein"), (prompt, "ja")])
    check(code == 0, f"terminal nein/ja: exit {code}: {text!r}")
    check([content(out, n) for n in ("a.txt", "b.txt", "c.txt")] == ["old a.txt", "new b.txt", "new c.txt"],
          "terminal: nein keeps a, ja replaces b")
    check("a.exe erfolgreich entkomprimiert." in text, f"terminal: success line: {text!r}")

    out = os.path.join(work, "ask-alle")
    prepare(out)
    code, text = run_on_terminal(["-d", out, sfx], [(prompt, "alle")])
    check(code == 0 and text.count(prompt) == 1, f"terminal alle: asked {text.count(prompt)} times")
    check(content(out, "b.txt") == "new b.txt", "alle replaces the later files too")

    out = os.path.join(work, "ask-abbrechen")
    prepare(out)
    code, text = run_on_terminal(["-d", out, sfx], [(prompt, "abbrechen")])
    check(code != 0, "abbrechen: exit 0")
    check("a.exe : Abbruch durch Anwender." in text, f"abbrechen: {text!r}")
    check(content(out, "a.txt") == "old a.txt" and not os.path.exists(os.path.join(out, "c.txt")),
          "abbrechen changes nothing")

    # A full disk that takes only part of the entry's last write (a file
    # size limit gives the same short write): the run fails and the user's
    # existing file is not replaced by a cut copy.
    fpath = os.path.join(work, "full.zip")
    new_data = os.urandom(100000)
    with zipfile.ZipFile(fpath, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("d.bin", (2021, 1, 2, 3, 4, 6)), new_data)
    fsfx = make_sfx(fpath, os.path.join(work, "full.exe"))
    out = os.path.join(work, "full")
    os.makedirs(out)
    old_data = b"old " * 25000
    open(os.path.join(out, "d.bin"), "wb").write(old_data)

    def limit_file_size():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)   # a short write, not a signal
        resource.setrlimit(resource.RLIMIT_FSIZE, (90000, 90000))

    r = subprocess.run([UNSFX, "-o", "-d", out, fsfx], capture_output=True, preexec_fn=limit_file_size,
                       timeout=120)
    check(r.returncode != 0, f"short write: exit {r.returncode} {r.stderr!r}")
    check(b"Fehler (5)" in r.stderr, f"short write not reported: {r.stderr!r}")
    check(open(os.path.join(out, "d.bin"), "rb").read() == old_data, "short write replaced the existing file")
    check(tree(out) == ["d.bin"], f"short write left {tree(out)}")

    # Hostile names: nothing lands outside the target folder.
    hpath = os.path.join(work, "hostile.zip")
    with zipfile.ZipFile(hpath, "w") as z:
        for name in ("../evil1.txt", "a/../../evil2.txt", "C:/evil3.txt", "CON", "aux.txt", "ok.txt"):
            z.writestr(zipfile.ZipInfo(name, (2021, 1, 2, 3, 4, 6)), b"x")
    os.makedirs(os.path.join(work, "sub"))
    hsfx = make_sfx(hpath, os.path.join(work, "sub", "hostile.exe"))
    before = set(tree(work))
    target = os.path.join(work, "sub", "target")
    r = unsfx("-d", target, hsfx)
    check(r.returncode != 0, "hostile archive: exit 0")
    check(b"Fehler (9964)" in r.stderr, f"hostile archive: refusals not reported: {r.stderr!r}")
    added = sorted(set(tree(work)) - before)
    check(added == ["sub/target/", "sub/target/ok.txt"], f"hostile archive wrote {added}")

finish("unsfx overwrite and hostile names")

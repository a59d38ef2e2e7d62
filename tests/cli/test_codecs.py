"""unsfx on deflated and encrypted archives of zip and 7z: byte-exact with
times; a wrong or missing password leaves nothing behind."""
import os
import subprocess
from unsfx_lib import (check, check_extracted, finish, make_sfx, need_tool, run_on_terminal, sample_tree,
                       tempdir, tree, unsfx)

need_tool("zip")
need_tool("7z")

with tempdir() as work:
    src = os.path.join(work, "src")
    sample_tree(src)

    cases = [
        ("zip9", ["zip", "-q", "-9", "-r", "-X"], None),
        ("zip1", ["zip", "-q", "-1", "-r", "-X"], None),
        ("zip-P", ["zip", "-q", "-6", "-r", "-X", "-P", "geheim"], "geheim"),
        ("zip0-P", ["zip", "-q", "-0", "-r", "-X", "-P", "geheim"], "geheim"),
        ("7z-deflate", ["7z", "a", "-tzip", "-mx=9", "-bd", "-bso0"], None),
        ("7z-crypto", ["7z", "a", "-tzip", "-mem=ZipCrypto", "-pgeheim", "-bd", "-bso0"], "geheim"),
    ]
    for label, command, password in cases:
        path = os.path.join(work, label + ".zip")
        subprocess.run(command + [path, "."], cwd=src, check=True, capture_output=True)
        sfx = make_sfx(path, os.path.join(work, label + ".exe"))
        out = os.path.join(work, "out-" + label)
        args = ["-d", out] + (["-p", password] if password else []) + [sfx]
        r = unsfx(*args)
        check(r.returncode == 0, f"{label}: exit {r.returncode}: {r.stderr!r}")
        check_extracted(path, out, label, password)

        if password:
            # Wrong password, no terminal: every encrypted entry is refused
            # and nothing is written.
            out = os.path.join(work, "wrong-" + label)
            r = unsfx("-d", out, "-p", "falsch", sfx)
            check(r.returncode != 0, f"{label}: wrong password exit 0")
            check(b"Fehler (9961)" in r.stderr, f"{label}: wrong password not reported: {r.stderr!r}")
            files = [p for p in tree(out) if not p.endswith("/")] if os.path.isdir(out) else []
            check(files == [], f"{label}: wrong password left {files}")
            # No password and no terminal.
            out = os.path.join(work, "none-" + label)
            r = unsfx("-d", out, sfx)
            check(r.returncode != 0 and b"-p" in r.stderr, f"{label}: missing password: {r.stderr!r}")

    # On a terminal: a wrong -p is followed by a hidden question, asked again
    # after a wrong answer; the right one unlocks every later entry too.
    sfx = os.path.join(work, "zip-P.exe")
    out = os.path.join(work, "terminal")
    prompt = "(Strg-D bricht ab):"
    code, text = run_on_terminal(["-d", out, "-p", "falsch", "-o", sfx],
                                 [(prompt, "auch-falsch"), (prompt, "geheim")])
    check(code == 0, f"terminal password: exit {code}: {text!r}")
    check(text.count(prompt) == 2, f"terminal password asked {text.count(prompt)} times: {text!r}")
    check("geheim" not in text, "the typed password was echoed")
    check_extracted(os.path.join(work, "zip-P.zip"), out, "terminal", "geheim")

finish("unsfx deflated and encrypted archives")

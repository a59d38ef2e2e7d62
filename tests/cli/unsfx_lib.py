"""Helpers of the unsfx end-to-end tests: tools, self-extractor assembly,
tree comparison. A missing tool is a failure, never a skip."""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

SOURCE_DIR = os.environ.get("SFX_SOURCE_DIR") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
UNSFX = os.environ.get("UNSFX") or os.path.join(SOURCE_DIR, "build", "host", "unsfx")

FAILURES = []


def need_tool(name):
    path = shutil.which(name)
    if not path:
        print(f"FAIL: the tool '{name}' is missing (scripts/setup.sh installs it)")
        sys.exit(1)
    return path


def check(condition, message):
    if condition:
        return True
    FAILURES.append(message)
    print(f"FAIL: {message}")
    return False


def finish(name):
    if FAILURES:
        print(f"{name}: {len(FAILURES)} failure(s)")
        sys.exit(1)
    print(f"{name}: all checks passed")
    sys.exit(0)


_STUB = []


def stub_bytes():
    """The 32-bit stub when there is one, else a stand-in 'MZ' image."""
    if not _STUB:
        _STUB.append(_find_stub())
    return _STUB[0]


def _find_stub():
    explicit = os.environ.get("SFX_STUB32")
    if explicit:
        if not os.path.isfile(explicit):
            print(f"FAIL: SFX_STUB32={explicit} does not exist")
            sys.exit(1)
        print(f"stub: {explicit} (SFX_STUB32)")
        return open(explicit, "rb").read()
    built = os.path.join(SOURCE_DIR, "build", "win32", "sfxstub.exe")
    if os.path.isfile(built):
        print(f"stub: {built}")
        return open(built, "rb").read()
    print("stub: stand-in 'MZ' prefix of 4096 bytes (no build/win32/sfxstub.exe)")
    return b"MZ" + b"\0" * 4094


def config_block(target="", command=""):
    t = target.encode("cp1252")[:256]
    c = command.encode("cp1252")[:256]
    return t.ljust(257, b"\0") + c.ljust(257, b"\0")


def make_sfx(zip_path, out_path, target="", command=""):
    """Stub + configuration block + archive, offsets moved by `zip -A`."""
    need_tool("zip")
    with open(out_path, "wb") as out:
        out.write(stub_bytes())
        out.write(config_block(target, command))
        out.write(open(zip_path, "rb").read())
    r = subprocess.run(["zip", "-A", out_path], capture_output=True, text=True)
    if r.returncode != 0:
        print(f"FAIL: zip -A {out_path}: {r.stdout}{r.stderr}")
        sys.exit(1)
    return out_path


def unsfx(*args, stdin=subprocess.DEVNULL, timeout=120):
    if not os.path.isfile(UNSFX):
        print(f"FAIL: unsfx not built at {UNSFX}")
        sys.exit(1)
    return subprocess.run([UNSFX, *args], stdin=stdin, capture_output=True, timeout=timeout)


def local_mtime(date_time):
    """What a DOS date/time of the archive becomes as a file time here."""
    return int(time.mktime(tuple(date_time) + (0, 0, -1)))


def check_extracted(zip_path, folder, label, password=None):
    """Every file entry of the archive byte-exact under folder, with its time."""
    with zipfile.ZipFile(zip_path) as z:
        if password:
            z.setpassword(password.encode())
        for info in z.infolist():
            path = os.path.join(folder, info.filename)
            if info.is_dir():
                continue
            if not check(os.path.isfile(path), f"{label}: {info.filename} missing"):
                continue
            check(open(path, "rb").read() == z.read(info), f"{label}: {info.filename} differs")
            check(int(os.stat(path).st_mtime) == local_mtime(info.date_time),
                  f"{label}: {info.filename} time {os.stat(path).st_mtime} != {info.date_time}")


def tree(folder):
    out = []
    for root, dirs, files in os.walk(folder):
        for d in dirs:
            out.append(os.path.relpath(os.path.join(root, d), folder) + "/")
        for f in files:
            out.append(os.path.relpath(os.path.join(root, f), folder))
    return sorted(out)


def sample_tree(root):
    """Files of the usual shapes: empty, small, chunk-sized, several MB."""
    os.makedirs(os.path.join(root, "sub", "deeper"))
    rnd = os.urandom
    files = {
        "empty.txt": b"",
        "one.txt": b"x",
        "chunk.bin": rnd(4096),
        "sub/tenk.bin": rnd(10000),
        "sub/deeper/big.bin": rnd(3 * 1024 * 1024 + 5),
        "sub/text.txt": b"Hallo Welt\n" * 2000,
        "with space.txt": b"space",
    }
    for name, data in files.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    # Times of the past, on even seconds as archives keep them.
    for i, name in enumerate(sorted(files)):
        t = time.mktime((2019, 3, 1 + i, 10 + i, 20, 2 * i, 0, 0, -1))
        os.utime(os.path.join(root, name), (t, t))
    return files


def tempdir():
    return tempfile.TemporaryDirectory(prefix="unsfx-cli.")


def run_on_terminal(args, answers, timeout=60):
    """Runs unsfx with stdin and stderr on a pseudo terminal; every time the
    output ends with one of the prompts in `answers` (list of (prompt, reply)
    in order), the reply is typed. Returns (exit code, terminal text)."""
    import pty
    import select
    master, slave = pty.openpty()
    proc = subprocess.Popen([UNSFX, *args], stdin=slave, stdout=subprocess.DEVNULL, stderr=slave)
    os.close(slave)
    seen = b""
    # Only output after the last answer may hold the next prompt: the echo of
    # the answer's line end alone must not count as the prompt again.
    answered = 0
    pending = list(answers)
    deadline = time.time() + timeout
    while time.time() < deadline:
        ready, _, _ = select.select([master], [], [], 0.2)
        if ready:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                chunk = b""
            if not chunk:
                break
            seen += chunk
            if pending and seen[answered:].rstrip().endswith(pending[0][0].encode("utf-8")):
                os.write(master, (pending.pop(0)[1] + "\n").encode("utf-8"))
                answered = len(seen)
        elif proc.poll() is not None:
            break
    try:
        proc.wait(timeout=max(1.0, deadline - time.time()))
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        check(False, f"unsfx {args} did not end on the terminal: {seen!r}")
    os.close(master)
    return proc.returncode, seen.decode("utf-8", "replace")

"""Shared machinery of the end-to-end tests: Xvfb, the Wine prefix, building
self-extractors from real ZIP tools, and running the Win32 driver.

Everything has a time limit; every process started here is ended here.
"""
import calendar
import os
import shutil
import signal
import struct
import subprocess
import sys
import time
import zipfile
import zlib

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.join(REPO, "build")
SHOTS = os.path.join(BUILD, "screenshots")
WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
CONFIG_BLOCK_SIZE = 514
FIELD_SIZE = 257

# Local time zone of zip and Wine alike: a zone with daylight saving time, so
# that a mix-up of local and UTC time shows in the extracted files' times.
TIME_ZONE = "Europe/Berlin"
os.environ["TZ"] = TIME_ZONE
time.tzset()


def log(text):
    print(text, flush=True)


class Display:
    """A private Xvfb display, started once and stopped at the end."""

    def __init__(self, number):
        self.number = number
        self.name = ":%d" % number
        self.process = None

    def start(self):
        lock = "/tmp/.X%d-lock" % self.number
        if os.path.exists(lock):
            # A display left behind by an earlier, killed run.
            try:
                pid = int(open(lock).read().strip())
                os.kill(pid, 0)
                raise RuntimeError("display %s is in use by pid %d" % (self.name, pid))
            except (ValueError, ProcessLookupError):
                os.unlink(lock)
        self.process = subprocess.Popen(
            ["Xvfb", self.name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if subprocess.run(["xdpyinfo", "-display", self.name], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=10).returncode == 0:
                return
            if self.process.poll() is not None:
                raise RuntimeError("Xvfb %s ended at start" % self.name)
            time.sleep(0.1)
        raise RuntimeError("Xvfb %s does not accept connections" % self.name)

    def screenshot(self, path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run(["import", "-display", self.name, "-window", "root", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Wine:
    """One Wine prefix, created once and reused by later runs."""

    def __init__(self, prefix, display, loader=WINE64, arch=None):
        self.prefix = prefix
        self.display = display
        self.loader = loader
        self.arch = arch
        self.drive_c = os.path.join(prefix, "drive_c")
        # A Unix locale for the programs started (LC_ALL), which sets the
        # ANSI code page Wine gives them; None: Wine's default, 1252.
        self.locale = None

    def env(self):
        env = dict(os.environ)
        for key in list(env):
            if key.startswith("LC_"):
                del env[key]
        env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", DISPLAY=self.display.name,
                   LANG="C.UTF-8", TZ=TIME_ZONE, WINEDLLOVERRIDES="mscoree,mshtml=")
        if self.arch:
            env["WINEARCH"] = self.arch
        if self.locale:
            env["LC_ALL"] = self.locale
        return env

    def ensure_prefix(self, limit=600):
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            log("e2e: creating Wine prefix %s (once)" % self.prefix)
            subprocess.run([self.loader, "wineboot", "-i"], env=self.env(), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=limit)
            self.wait_server(limit)
            if not os.path.exists(os.path.join(self.prefix, "system.reg")):
                raise RuntimeError("wineboot did not create %s" % self.prefix)
        # Xvfb has no window manager, so Wine draws the frames and captions
        # itself: the screenshots then show the dialogs' captions.
        marker = os.path.join(self.prefix, ".e2e-unmanaged")
        if not os.path.exists(marker):
            subprocess.run([self.loader, "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed",
                            "/d", "N", "/f"], env=self.env(), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=120)
            self.wait_server(120)
            open(marker, "w").close()

    def wait_server(self, limit=60):
        try:
            subprocess.run([WINESERVER, "-w"], env=self.env(), timeout=limit)
        except subprocess.TimeoutExpired:
            self.kill_server()

    def kill_server(self):
        subprocess.run([WINESERVER, "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)

    def windows_path(self, linux_path):
        rel = os.path.relpath(os.path.abspath(linux_path), self.drive_c)
        if rel.startswith(".."):
            raise ValueError("%s is not on drive C:" % linux_path)
        return "C:\\" + rel.replace("/", "\\") if rel != "." else "C:\\"

    def run_driver(self, driver, script_lines, scenario, limit=120):
        """Plays a scenario; returns (passed, log text). Screenshots go to
        build/screenshots/<scenario>-<n>-<name>.png."""
        script_dir = os.path.join(self.drive_c, "e2e-scripts")
        os.makedirs(script_dir, exist_ok=True)
        script = os.path.join(script_dir, scenario + ".txt")
        with open(script, "wb") as f:
            f.write(("\n".join(script_lines) + "\n").encode("utf-8"))
        process = subprocess.Popen([self.loader, driver, self.windows_path(script)], env=self.env(),
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
        lines = []
        shots = 0
        deadline = time.time() + limit
        timed_out = False

        def on_alarm(signum, frame):
            raise TimeoutError()

        old = signal.signal(signal.SIGALRM, on_alarm)
        signal.alarm(limit)
        try:
            for raw in process.stdout:
                line = raw.decode("utf-8", "replace").rstrip("\r\n")
                if line.startswith("@@SHOT "):
                    shots += 1
                    name = "%s-%d-%s.png" % (scenario, shots, line[7:].strip())
                    self.display.screenshot(os.path.join(SHOTS, name))
                    lines.append("shot build/screenshots/" + name)
                    process.stdin.write(b"ok\n")
                    process.stdin.flush()
                else:
                    lines.append(line)
            process.wait(timeout=max(1, deadline - time.time()))
        except (TimeoutError, subprocess.TimeoutExpired):
            timed_out = True
            process.kill()
            process.wait()
        finally:
            signal.alarm(0)
            signal.signal(signal.SIGALRM, old)
        if timed_out:
            lines.append("FAIL: the driver did not finish within %d s" % limit)
            # The self-extractor may still be running; end this prefix's programs.
            self.kill_server()
        passed = not timed_out and process.returncode == 0 and lines and lines[-1] == "PASS"
        return passed, "\n".join(lines)


# ----------------------------------------------------------------------------
# Building self-extractors

def config_block(target="", command=""):
    def field(text):
        data = text.encode("cp1252")
        if len(data) >= FIELD_SIZE:
            raise ValueError("configuration field too long")
        return data + b"\0" * (FIELD_SIZE - len(data))
    return field(target) + field(command)


def mksfx_path():
    path = os.environ.get("SFX_MKSFX", os.path.join(BUILD, "host", "mksfx"))
    return path if os.access(path, os.X_OK) and os.environ.get("SFX_E2E_OWN_ASSEMBLER") != "1" else None


def assemble(stub, zip_path, out, target="", command="", use_builder=True):
    """stub + configuration block + ZIP archive, with the archive's offsets
    moved to count from the start of the program file. Uses the project's
    builder when it is built, else assembles here and lets `zip -A` fix the
    offsets."""
    builder = mksfx_path() if use_builder else None
    if builder:
        args = [builder, "-o", out, "--stub", stub, "--quiet"]
        if target:
            args += ["--target", target]
        if command:
            args += ["--run", command]
        args += ["--zip", zip_path]
        result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        if result.returncode != 0:
            raise RuntimeError("mksfx failed: " + result.stdout.decode("utf-8", "replace"))
        return
    with open(out, "wb") as f:
        with open(stub, "rb") as s:
            shutil.copyfileobj(s, f)
        f.write(config_block(target, command))
        with open(zip_path, "rb") as z:
            shutil.copyfileobj(z, f)
    result = subprocess.run(["zip", "-A", "-q", out], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=120)
    if result.returncode != 0:
        raise RuntimeError("zip -A failed: " + result.stdout.decode("utf-8", "replace"))


def make_zip(source_dir, zip_path, names, password=None, store=False, tool="zip"):
    """Packs `names` (relative to source_dir, in this order) with a real tool."""
    if os.path.exists(zip_path):
        os.unlink(zip_path)
    if tool == "zip":
        args = ["zip", "-X", "-q"]
        if store:
            args.append("-0")
        if password is not None:
            args += ["-P", password]
        args += [zip_path] + names
    elif tool == "7z":
        args = ["7z", "a", "-tzip", "-bd", "-mx=9" if not store else "-mx=0", zip_path] + names
    else:
        raise ValueError(tool)
    result = subprocess.run(args, cwd=source_dir, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=300, env=dict(os.environ, TZ=TIME_ZONE))
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (tool, result.stdout.decode("utf-8", "replace")))


def zip_entries_fail_password(zip_path, password):
    """True when `password` fails the check byte of every encrypted entry, so a
    'wrong password' scenario is certain to be refused (the check byte lets
    one wrong password in 256 through)."""
    with zipfile.ZipFile(zip_path) as archive:
        raw = open(zip_path, "rb").read()
        for info in archive.infolist():
            if not info.flag_bits & 1:
                continue
            offset = info.header_offset
            name_len, extra_len = struct.unpack("<HH", raw[offset + 26:offset + 30])
            header = raw[offset + 30 + name_len + extra_len:][:12]
            keys = [0x12345678, 0x23456789, 0x34567890]

            def update(c):
                keys[0] = zlib.crc32(bytes([c]), keys[0] ^ 0xFFFFFFFF) ^ 0xFFFFFFFF
                keys[1] = (keys[1] + (keys[0] & 0xFF)) & 0xFFFFFFFF
                keys[1] = (keys[1] * 134775813 + 1) & 0xFFFFFFFF
                keys[2] = zlib.crc32(bytes([keys[1] >> 24]), keys[2] ^ 0xFFFFFFFF) ^ 0xFFFFFFFF

            for c in password.encode("cp1252"):
                update(c)
            last = 0
            for c in header:
                t = (keys[2] | 2) & 0xFFFF
                last = c ^ (((t * (t ^ 1)) >> 8) & 0xFF)
                update(last)
            # With a data descriptor the check byte may also be the time's.
            checks = {(info.CRC >> 24) & 0xFF}
            if info.flag_bits & 8:
                checks.add((info._raw_time >> 8) & 0xFF)
            if last in checks:
                return False
    return True


def patch_entry(zip_path, name, crc=None, uncompressed=None, method=None):
    """Rewrites fields of entry `name` in its local and its central header: a
    broken archive as a careless or hostile packer would write it."""
    with zipfile.ZipFile(zip_path) as archive:
        info = archive.getinfo(name)
        end = archive.start_dir
    data = bytearray(open(zip_path, "rb").read())
    raw_name = name.encode("utf-8" if info.flag_bits & 0x800 else "cp437")

    def patch(offset, field_offsets):
        for field, value, fmt in ((field_offsets[0], method, "<H"), (field_offsets[1], crc, "<I"),
                                  (field_offsets[2], uncompressed, "<I")):
            if value is not None:
                struct.pack_into(fmt, data, offset + field, value)

    patch(info.header_offset, (8, 14, 22))
    position = end
    while data[position:position + 4] == b"PK\x01\x02":
        name_len, extra_len, comment_len = struct.unpack("<HHH", data[position + 28:position + 34])
        if bytes(data[position + 46:position + 46 + name_len]) == raw_name:
            patch(position, (10, 16, 24))
        position += 46 + name_len + extra_len + comment_len
    open(zip_path, "wb").write(bytes(data))


def corrupt_crc(zip_path, name):
    """Changes the CRC-32 of entry `name`, so that its data fails the check
    after it has been written."""
    with zipfile.ZipFile(zip_path) as archive:
        good = archive.getinfo(name).CRC
    patch_entry(zip_path, name, crc=good ^ 0x5A5A5A5A)


# ----------------------------------------------------------------------------
# Comparing trees

def set_time(path, stamp):
    os.utime(path, (stamp, stamp))


def local_stamp(year, month, day, hour, minute, second):
    """Seconds since the epoch of a local time in TIME_ZONE."""
    return int(time.mktime((year, month, day, hour, minute, second, 0, 0, -1)))


def extracted_stamp(source_stamp):
    """The time an extracted file gets from Windows: the archive holds the
    local wall-clock time, and LocalFileTimeToFileTime turns it into UTC with
    the offset in force now, not the one of that date (so a summer time read
    in winter moves by an hour, as on Windows itself)."""
    wall = time.localtime(source_stamp)
    return calendar.timegm(wall[:6] + (0, 0, 0)) - time.localtime().tm_gmtoff


def tree(root):
    """Relative file paths under root, with '/' separators, sorted."""
    found = []
    for folder, dirs, files in os.walk(root):
        for name in files:
            found.append(os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/"))
    return sorted(found)


def compare_tree(expected_root, names, actual_root, check_times=True):
    """Problems found comparing the listed files byte for byte and by time
    (DOS times have two-second steps; sources use even seconds)."""
    problems = []
    for name in names:
        want = os.path.join(expected_root, name)
        got = os.path.join(actual_root, name)
        if not os.path.isfile(got):
            problems.append("missing " + name)
            continue
        if open(want, "rb").read() != open(got, "rb").read():
            problems.append("content differs: " + name)
        if check_times:
            source = int(os.stat(want).st_mtime)
            want_time = extracted_stamp(source)
            got_time = int(os.stat(got).st_mtime)
            # An odd second has no DOS time: packers round it down or up.
            allowed = {want_time} if source % 2 == 0 else {want_time - 1, want_time + 1}
            if got_time not in allowed:
                problems.append("time of %s: expected %s, got %s" % (
                    name, time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(want_time)),
                    time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(got_time))))
    return problems

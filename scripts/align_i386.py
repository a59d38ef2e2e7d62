#!/usr/bin/env python3
"""align_i386.py PACKAGE:i386...: prints NAME=VERSION for every installed
native Multi-Arch: same package among the packages' dependencies whose
installed version the i386 side cannot have. Such a pair must carry
one version on both architectures; while a mirror syncs, its security
index for i386 can be missing or older than the native one, so the native
package is moved to a version both indexes hold (the newest such)."""
import subprocess
import sys

def run(*args):
    return subprocess.run(args, capture_output=True, text=True).stdout

closure = set()
for line in run("apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests", "--no-conflicts",
                "--no-breaks", "--no-replaces", "--no-enhances", *sys.argv[1:]).splitlines():
    if line and not line[0].isspace():
        closure.add(line.split(":")[0])

installed = {}
listing = run("dpkg-query", "-W", "-f=${Package} ${Architecture} ${Version} ${Multi-Arch} ${db:Status-Abbrev}\n")
for line in listing.splitlines():
    fields = line.split()
    if len(fields) == 5 and fields[1] == "amd64" and fields[3] == "same" and fields[4].startswith("ii") \
            and fields[0] in closure:
        installed[fields[0]] = fields[2]

available = {}  # (name, arch) -> versions, newest first
names = sorted(installed)
for start in range(0, len(names), 200):
    batch = names[start:start + 200]
    query = [n + ":i386" for n in batch] + [n + ":amd64" for n in batch]
    for line in run("apt-cache", "madison", *query).splitlines():
        parts = [p.strip() for p in line.split("|")]
        if len(parts) < 3 or "Packages" not in parts[2]:
            continue
        arch = "i386" if " i386 " in " " + parts[2] + " " else "amd64"
        available.setdefault((parts[0].split(":")[0], arch), []).append(parts[1])

for name, version in sorted(installed.items()):
    foreign = available.get((name, "i386"), [])
    if not foreign or version in foreign:
        continue
    native = set(available.get((name, "amd64"), []))
    common = [v for v in foreign if v in native]
    if common:
        print("%s=%s" % (name, common[0]))

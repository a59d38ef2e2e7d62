#!/bin/bash
# Builds the benchmark corpus (about 120 MB) in build/bench-corpus: text, program
# binaries of this machine, JSON and random bytes. Generated, never committed.
# Large enough that a whole extraction takes about a second, so that what a
# program spends per run (start-up, the dialog) does not hide its speed.
set -euo pipefail
OUT=${1:-build/bench-corpus}
if [ -f "$OUT/.complete" ]; then exit 0; fi
rm -rf "$OUT"
mkdir -p "$OUT"

# Text: the documentation of this machine, then generated prose to 32 MB.
find /usr/share/doc /usr/share/common-licenses -type f \( -name '*.txt' -o -name 'copyright' -o -name 'README*' \) \
    -size -2M 2>/dev/null | sort | head -4000 | xargs cat 2>/dev/null | head -c 8000000 > "$OUT/text.txt" || true
python3 - "$OUT/text.txt" <<'PY'
import random, sys
random.seed(1)
words = ("Archiv Entpacken Datei Ordner Kennwort Fehler the of and to in is that for it with as was on be by "
         "this are from or an which have not they were but all one had when there can their more would "
         "compression stream block window literal length distance table decoder").split()
with open(sys.argv[1], "a") as f:
    size = f.tell()
    while size < 32_000_000:
        line = " ".join(random.choice(words) for _ in range(random.randint(4, 18))).capitalize() + ".\n"
        f.write(line)
        size += len(line)
PY

# Program binaries: the largest executables and libraries, to 48 MB.
{ ls -S /usr/bin/* 2>/dev/null; ls -S /usr/lib/x86_64-linux-gnu/*.so* 2>/dev/null; } | head -200 | \
    xargs cat 2>/dev/null | head -c 48000000 > "$OUT/binaries.bin" || true

# JSON: generated records, 28 MB.
python3 - "$OUT/records.json" <<'PY'
import json, random, sys
random.seed(2)
out = open(sys.argv[1], "w")
out.write("[\n")
size, n = 0, 0
while size < 28_000_000:
    rec = {"id": n, "name": "eintrag-%06d" % n, "size": random.randint(0, 1 << 30),
           "crc": "%08x" % random.getrandbits(32), "tags": random.sample(["a", "b", "text", "bin", "json", "zip"], 3),
           "time": "2025-%02d-%02dT%02d:%02d:%02d" % (random.randint(1, 12), random.randint(1, 28),
                                                     random.randint(0, 23), random.randint(0, 59), random.randint(0, 59)),
           "ok": random.random() < 0.9, "ratio": round(random.random(), 4)}
    s = json.dumps(rec) + ",\n"
    out.write(s)
    size += len(s)
    n += 1
out.write("{}]\n")
PY

# Random bytes: 12 MB that no encoder can shrink.
head -c 12000000 /dev/urandom > "$OUT/random.bin" || true
touch "$OUT/.complete"
du -sh "$OUT"

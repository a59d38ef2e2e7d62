#!/usr/bin/env bash
# Seed corpora for the fuzz targets, made from small archives of the real
# tools (zip, 7z, Python's zipfile) into build/fuzz-seeds/<target>/.
#   fuzz_run, fuzz_catalog:   self-extracting programs (stub bytes, 514-byte
#                             configuration block, archive with adjusted offsets)
#   fuzz_inflate:             4-byte declared size + raw DEFLATE stream
#   fuzz_inflate_diff:        raw DEFLATE streams
#   fuzz_huffman:             build selector + code lengths of real codes
#   fuzz_lzma, fuzz_lzma_diff: raw LZMA streams (Python's lzma, liblzma)
#                             behind the targets' header bytes
# Not committed; regenerated whenever build/fuzz-seeds is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=build/fuzz-seeds
WORK=$(mktemp -d /tmp/sfx-seeds.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
rm -rf "$OUT"
mkdir -p "$OUT"/{fuzz_run,fuzz_catalog,fuzz_inflate,fuzz_inflate_diff,fuzz_huffman,fuzz_lzma,fuzz_lzma_diff}

# Small input files: text, repetitive, binary, empty, a folder.
mkdir -p "$WORK/src/sub"
python3 - "$WORK/src" <<'PY'
import os, sys, random
d = sys.argv[1]
random.seed(7)
open(os.path.join(d, "readme.txt"), "w").write("Hallo Welt\n" * 40)
open(os.path.join(d, "sub", "zahlen.txt"), "w").write("".join(f"{i} {i*i}\n" for i in range(300)))
open(os.path.join(d, "null.bin"), "wb").write(bytes(3000))
open(os.path.join(d, "rand.bin"), "wb").write(bytes(random.randrange(256) for _ in range(700)))
open(os.path.join(d, "leer.txt"), "w").close()
PY

archives=()
( cd "$WORK/src" && zip -q -0 -r "$WORK/zip-stored.zip" . )
( cd "$WORK/src" && zip -q -9 -r "$WORK/zip-deflated.zip" . )
( cd "$WORK/src" && zip -q -1 "$WORK/zip-fast.zip" readme.txt rand.bin )
( cd "$WORK/src" && zip -q -P fuzz "$WORK/zip-crypt.zip" readme.txt sub/zahlen.txt )
( cd "$WORK/src" && zip -q -0 -P fuzz "$WORK/zip-crypt-stored.zip" readme.txt )
( cd "$WORK/src" && 7z a -bd -y -tzip -mx=9 "$WORK/7z-deflated.zip" . >/dev/null )
( cd "$WORK/src" && 7z a -bd -y -tzip -mx=0 "$WORK/7z-stored.zip" . >/dev/null )
( cd "$WORK/src" && 7z a -bd -y -tzip -mx=5 -pfuzz "$WORK/7z-crypt.zip" readme.txt >/dev/null )
( cd "$WORK/src" && 7z a -bd -y -tzip -mm=LZMA "$WORK/7z-lzma.zip" . >/dev/null )
( cd "$WORK/src" && 7z a -bd -y -tzip -mm=LZMA:eos=off:d=4k "$WORK/7z-lzma-small.zip" . >/dev/null )
python3 - "$WORK" <<'PY'
import os, sys, zipfile
w = sys.argv[1]
src = os.path.join(w, "src")
for name, method in (("py-stored.zip", zipfile.ZIP_STORED), ("py-deflated.zip", zipfile.ZIP_DEFLATED),
                     ("py-lzma.zip", zipfile.ZIP_LZMA)):
    with zipfile.ZipFile(os.path.join(w, name), "w", method) as z:
        for root, _, files in os.walk(src):
            for f in sorted(files):
                p = os.path.join(root, f)
                z.write(p, os.path.relpath(p, src))
        z.writestr("dir/", "")
        z.comment = b"archive comment"
PY

# Self-extracting programs: stub + configuration block + archive; zip -A
# moves the archive's offsets so they count from the start of the program.
for z in "$WORK"/*.zip; do
  base=$(basename "$z" .zip)
  python3 - "$z" "$WORK/$base.exe" <<'PY'
import sys
stub = b"MZ" + bytes(62)
config = b"C:\\Ziel".ljust(257, b"\0") + b"setup.exe".ljust(257, b"\0")
open(sys.argv[2], "wb").write(stub + config + open(sys.argv[1], "rb").read())
PY
  zip -q -A "$WORK/$base.exe" 2>/dev/null || true
  cp "$WORK/$base.exe" "$OUT/fuzz_run/$base.exe"
  cp "$WORK/$base.exe" "$OUT/fuzz_catalog/$base.exe"
done

# Raw DEFLATE streams: the entries of the archives above (zip's and 7z's
# encoders) and zlib with every strategy.
python3 - "$WORK" "$OUT" <<'PY'
import glob, os, struct, sys, zlib
w, out = sys.argv[1], sys.argv[2]
streams = []
for path in sorted(glob.glob(os.path.join(w, "*.zip"))):
    data = open(path, "rb").read()
    pos = 0
    while True:
        pos = data.find(b"PK\3\4", pos)
        if pos < 0 or pos + 30 > len(data): break
        flags, method = struct.unpack_from("<HH", data, pos + 6)
        csize, usize = struct.unpack_from("<II", data, pos + 18)
        n, m = struct.unpack_from("<HH", data, pos + 26)
        start = pos + 30 + n + m
        if method == 8 and not flags & 1 and csize and start + csize <= len(data):
            streams.append((os.path.basename(path) + "-" + str(pos), data[start:start + csize], usize))
        pos += 4
texts = [b"", b"a", b"Hallo Welt\n" * 50, bytes(5000), bytes(range(256)) * 8,
         b"".join(b"%d %d\n" % (i, i * 7) for i in range(400))]
for i, t in enumerate(texts):
    for level in (0, 1, 9):
        for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FILTERED, zlib.Z_HUFFMAN_ONLY, zlib.Z_RLE, zlib.Z_FIXED):
            c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
            streams.append((f"zlib-{i}-{level}-{strategy}", c.compress(t) + c.flush(), len(t)))
    c = zlib.compressobj(6, zlib.DEFLATED, -15)
    half = len(t) // 2
    s = c.compress(t[:half]) + c.flush(zlib.Z_FULL_FLUSH) + c.compress(t[half:]) + c.flush()
    streams.append((f"zlib-{i}-flushed", s, len(t)))
seen = set()
for name, s, usize in streams:
    if s in seen: continue
    seen.add(s)
    open(os.path.join(out, "fuzz_inflate_diff", name), "wb").write(s)
    open(os.path.join(out, "fuzz_inflate", name), "wb").write(struct.pack("<I", usize) + s)

# Huffman builds: the fixed codes, and lengths of real codes (package-merge
# free: lengths from zlib's own dynamic blocks are not exposed, so codes are
# made from symbol frequencies with a plain Huffman construction, capped at
# 15 bits by flattening).
import heapq, random
def huffman_lengths(freqs, cap):
    heap = [(f, i, (i,)) for i, f in enumerate(freqs) if f]
    if len(heap) == 1: return [1 if f else 0 for f in freqs]
    heapq.heapify(heap)
    depth = [0] * len(freqs)
    k = len(freqs)
    while len(heap) > 1:
        f1, _, a = heapq.heappop(heap); f2, _, b = heapq.heappop(heap)
        for s in a + b: depth[s] += 1
        heapq.heappush(heap, (f1 + f2, k, a + b)); k += 1
    return depth if max(depth) <= cap else None
random.seed(3)
seeds = [bytes([0, 0]) + bytes([8] * 144 + [9] * 112 + [7] * 24 + [8] * 8),
         bytes([1, 0]) + bytes([5] * 30),
         bytes([2, 0]) + bytes([2, 3, 3, 4, 4, 3, 3, 4, 4] + [0] * 10),
         bytes([4, 0]) + bytes([1])]
for mode, n, cap in ((3, 286, 15), (4, 30, 15), (2, 19, 7), (3, 257, 15)):
    for _ in range(6):
        freqs = [random.choice((0, 1, 1, 2, 5, 40)) for _ in range(n)]
        if mode == 3: freqs[256] = 1
        lens = huffman_lengths(freqs, cap)
        if lens: seeds.append(bytes([mode, (n - (257 if mode == 3 else 1 if mode == 4 else 0)) % 256]) + bytes(lens))
for i, s in enumerate(seeds):
    open(os.path.join(out, "fuzz_huffman", f"code-{i}"), "wb").write(s)
PY

# Raw LZMA streams with the end marker (liblzma's LZMA1 filter always
# writes it) over small texts, with several lc/lp/pb and dictionaries.
python3 - "$OUT" <<'PY'
import lzma, os, struct, sys
out = sys.argv[1]
texts = [b"a", b"Hallo Welt\n" * 50, bytes(3000), bytes(range(256)) * 6,
         b"".join(b"%d %d\n" % (i, i * 7) for i in range(300))]
for i, t in enumerate(texts):
    for lc, lp, pb in ((3, 0, 2), (0, 2, 0), (1, 3, 4), (4, 0, 1)):
        for dict_bits in (12, 16):
            f = {"id": lzma.FILTER_LZMA1, "dict_size": 1 << dict_bits, "lc": lc, "lp": lp, "pb": pb}
            s = lzma.compress(t, format=lzma.FORMAT_RAW, filters=[f])
            props = bytes([(pb * 5 + lp) * 9 + lc]) + struct.pack("<I", 1 << dict_bits)
            size = struct.pack("<I", len(t))[:3]
            name = f"lzma-{i}-{lc}{lp}{pb}-{dict_bits}"
            open(os.path.join(out, "fuzz_lzma", name), "wb").write(props + b"\x01" + size + s)
            open(os.path.join(out, "fuzz_lzma_diff", name), "wb").write(props[:1] + bytes([dict_bits - 12, 1]) + size + s)
PY

for t in "$OUT"/*; do echo "seeds: $(basename "$t"): $(ls "$t" | wc -l) inputs"; done

#!/bin/bash
# Benchmarks: (1) the codec against zlib's inflate on the corpus, (2) the
# LZMA decoder against liblzma's and against xz -d on the same streams,
# (3) whole extraction of a zip -9 archive of the corpus: the 64-bit stub
# under wine64 (timed by the end-to-end driver from the click on "&Entpacken"
# to the success box) and unsfx against unzip and 7z, in turns.
# Build directory: build/host (Release), or BUILD_DIR. Runs per tool: RUNS;
# rounds of the codec comparisons: CODEC_ROUNDS, LZMA_ROUNDS.
# The stub row needs build/win64 (make win64); SFX_BENCH_STUB=0 leaves it out.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build/host}
RUNS=${RUNS:-7}
CODEC_ROUNDS=${CODEC_ROUNDS:-15}
LZMA_ROUNDS=${LZMA_ROUNDS:-5}
CORPUS=build/bench-corpus
WORK=build/bench-work

bash scripts/make_bench_corpus.sh "$CORPUS"
cmake --build "$BUILD_DIR" -j2 --target sfx_inflate_bench sfx_lzma_bench unsfx mksfx >/dev/null
STUB64=build/win64/sfxstub.exe
WITH_STUB=${SFX_BENCH_STUB:-1}
if [ "$WITH_STUB" = 1 ]; then
    if [ -d build/win64 ]; then cmake --build build/win64 -j2 --target sfxstub sfxdriver >/dev/null; fi
    if [ ! -f "$STUB64" ] || [ ! -f build/win64/sfxdriver.exe ]; then
        echo "bench: $STUB64 or its driver is not built (make win64); no stub row" >&2
        WITH_STUB=0
    fi
fi

echo "== Codec: raw DEFLATE streams (zlib -9) of $(( $(du -sb --exclude='*.deflate' --exclude='*.lzma' "$CORPUS" | cut -f1) / 1000000 )) MB corpus, $CODEC_ROUNDS rounds"
# Each round inflates every stream with both decoders, one right after the
# other, in the thread's CPU time: a busy moment of the shared machine falls
# on both alike. The ratio is the median of the rounds' ratios.
mkdir -p "$WORK"
SFX_BENCH_CORPUS="$CORPUS" "$BUILD_DIR/sfx_inflate_bench" --interleaved="$CODEC_ROUNDS" > "$WORK.codec"
# The 32-bit program's path: the same harness over the sources built with
# the 32-bit word size forced and the stub's flags (no 32-bit code runs
# natively on this machine).
SFX_BENCH_CORPUS="$CORPUS" "$BUILD_DIR/sfx_inflate_bench32" --interleaved="$CODEC_ROUNDS" > "$WORK.codec32"
awk '/^sfx_inflate/ {printf "  %-22s %8.1f MB/s (CPU time, input and output included)\n", "sfx inflate", $2}
     /^zlib_inflate/ {printf "  %-22s %8.1f MB/s (driven as its example drives it)\n", "zlib inflate", $2}
     /^zlib_buffered_inflate/ {printf "  %-22s %8.1f MB/s (with the engine'"'"'s buffering)\n", "zlib inflate, buffered", $2}
     /^ratio_median/ {m = $2} /^ratio_low/ {lo = $2} /^ratio_high/ {hi = $2} /^ratio_buffered_median/ {b = $2}
     END {printf "  ratio sfx/zlib: %.3f (median; rounds from %.3f to %.3f); against zlib buffered: %.3f\n", m, lo, hi, b}' "$WORK.codec"
awk '/^sfx_inflate/ {printf "  %-22s %8.1f MB/s (32-bit path: 32-bit bit buffer, 4-byte copies, -Oz)\n", "sfx32 inflate", $2}
     /^ratio_median/ {m = $2} /^ratio_low/ {lo = $2} /^ratio_high/ {hi = $2} /^ratio_buffered_median/ {b = $2}
     END {printf "  ratio sfx32/zlib: %.3f (median; rounds from %.3f to %.3f); against zlib buffered: %.3f\n", m, lo, hi, b}' "$WORK.codec32"

echo "== LZMA codec: the corpus's streams (liblzma preset 9, dictionary sized to the file), $LZMA_ROUNDS rounds"
# This decoder and liblzma's raw decoder in the same harness, round by round
# in the thread's CPU time; then xz -d (liblzma's own program) on the same
# .lzma files, CPU time of the process (user + system), against this
# decoder's time on the same stream.
SFX_BENCH_CORPUS="$CORPUS" "$BUILD_DIR/sfx_lzma_bench" --prepare
SFX_BENCH_CORPUS="$CORPUS" "$BUILD_DIR/sfx_lzma_bench" "$LZMA_ROUNDS" > "$WORK.lzma"
python3 - "$WORK.lzma" "$CORPUS" "$LZMA_ROUNDS" <<'PY'
import os, statistics, subprocess, sys
lines = [l.split() for l in open(sys.argv[1])]
value = {l[0]: l[1] for l in lines if len(l) >= 2 and l[0] != "stream"}
streams = [l for l in lines if l[0] == "stream"]
print("  %-14s %8s MB/s (CPU time, input and output included)" % ("sfx lzma", value["sfx_lzma"]))
print("  %-14s %8s MB/s" % ("liblzma", value["liblzma"]))
print("  ratio sfx/liblzma: %.3f (median; rounds from %.3f to %.3f)" % (
    float(value["ratio_median"]), float(value["ratio_low"]), float(value["ratio_high"])))
sfx_total = xz_total = 0.0
for _, name, size, sfx_seconds, _ in streams:
    runs = []
    for _ in range(int(sys.argv[3])):
        with open(os.devnull, "wb") as null:
            p = subprocess.Popen(["xz", "-d", "-c", "--format=lzma", os.path.join(sys.argv[2], name + ".lzma")],
                                 stdout=null)
            _, status, usage = os.wait4(p.pid, 0)
        if status != 0:
            sys.exit("bench: xz -d failed on %s.lzma" % name)
        runs.append(usage.ru_utime + usage.ru_stime)
    xz = statistics.median(runs)
    sfx_total += float(sfx_seconds)
    xz_total += xz
    print("  %-14s sfx %6.3f s   xz -d %6.3f s   xz/sfx %.2f" % (name, float(sfx_seconds), xz, xz / float(sfx_seconds)))
print("  ratio xz -d/sfx (CPU time, all streams): %.3f" % (xz_total / sfx_total))
PY

echo "== Whole process: one zip -9 archive of the corpus, $RUNS runs each, medians"
mkdir -p "$WORK"
ARCHIVE="$WORK/corpus.zip"
if [ ! -f "$ARCHIVE" ] || [ "$CORPUS/.complete" -nt "$ARCHIVE" ]; then
    rm -f "$ARCHIVE"
    (cd "$CORPUS" && zip -9 -q "../bench-work/corpus.zip" binaries.bin random.bin records.json text.txt)
fi
echo "  archive: $(( $(stat -c %s "$ARCHIVE") / 1000000 )) MB, $(( $(du -sb --exclude='*.deflate' --exclude='*.lzma' "$CORPUS" | cut -f1) / 1000000 )) MB extracted"

one_run() {   # name, command...: prints "name seconds"
    local name=$1; shift
    rm -rf "$WORK/out"; mkdir -p "$WORK/out"
    sync
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    for f in binaries.bin random.bin records.json text.txt; do
        cmp -s "$WORK/out/$f" "$CORPUS/$f" || { echo "  $name: $f differs from the corpus" >&2; exit 1; }
    done
    echo "$name $(echo "$end - $start" | bc)"
}
# The tools take turns, so that a busy moment of the machine falls on all of
# them alike; the stub's runs come in the same turns, one Wine start each.
for ((i = 0; i < RUNS; i++)); do
    if [ "$WITH_STUB" = 1 ]; then
        python3 bench/stub_bench.py "$ARCHIVE" "$CORPUS" 1 "$STUB64" | tail -1
    fi
    one_run unsfx "$BUILD_DIR/unsfx" -o -d "$WORK/out" "$ARCHIVE"
    one_run unzip unzip -o -q -d "$WORK/out" "$ARCHIVE"
    one_run 7z 7z x -y -o"$WORK/out" "$ARCHIVE"
done > "$WORK.times"
python3 - "$WORK.times" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, seconds = line.split()
    runs.setdefault(name, []).append(float(seconds))
median = {name: statistics.median(times) for name, times in runs.items()}
for name in runs:
    ratios = "   ".join("%s/%s = %.2f" % (name, peer, median[name] / median[peer])
                       for peer in ("unsfx", "unzip", "7z") if peer != name and peer in median)
    print("  %-6s median %.3f s (of %d)   %s" % (name, median[name], len(runs[name]), ratios))
# The same comparisons round by round (each tool's n-th run against the
# peer's n-th run, which ran moments apart), as medians of the ratios.
for name, peer in (("stub", "unsfx"), ("stub", "unzip"), ("unsfx", "unzip")):
    if name in runs and peer in runs:
        paired = [a / b for a, b in zip(runs[name], runs[peer])]
        print("  %s/%s round by round: median %.2f (from %.2f to %.2f)" % (
            name, peer, statistics.median(paired), min(paired), max(paired)))
PY
rm -rf "$WORK/out"

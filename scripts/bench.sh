#!/bin/bash
# Benchmarks: (1) the codec against zlib's inflate on the corpus, (2) whole
# extraction of a zip -9 archive of the corpus: unsfx against unzip and 7z.
# Build directory: build/host (Release), or BUILD_DIR. Runs per tool: RUNS.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build/host}
RUNS=${RUNS:-5}
CORPUS=build/bench-corpus
WORK=build/bench-work

bash scripts/make_bench_corpus.sh "$CORPUS"
cmake --build "$BUILD_DIR" -j2 --target sfx_inflate_bench unsfx >/dev/null

echo "== Codec: raw DEFLATE streams (zlib -9) of $(du -sh --exclude='*.deflate' "$CORPUS" | cut -f1) corpus"
mkdir -p "$WORK"
SFX_BENCH_CORPUS="$CORPUS" "$BUILD_DIR/sfx_inflate_bench" --benchmark_min_time=2 --benchmark_filter='corpus/' \
    --benchmark_out="$WORK.codec.json" --benchmark_out_format=json >/dev/null
python3 - "$WORK.codec.json" <<'PY'
import json, sys
runs = {b["name"].split("/")[1]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
sfx, zl = runs["sfx_inflate"]["bytes_per_second"], runs["zlib_inflate"]["bytes_per_second"]
print("  %-14s %8.1f MB/s (CPU time)" % ("sfx inflate", sfx / 1e6))
print("  %-14s %8.1f MB/s (CPU time)" % ("zlib inflate", zl / 1e6))
print("  ratio sfx/zlib: %.3f" % (sfx / zl))
PY

echo "== Whole process: one zip -9 archive of the corpus, $RUNS runs each"
mkdir -p "$WORK"
ARCHIVE="$WORK/corpus.zip"
if [ ! -f "$ARCHIVE" ] || [ "$CORPUS/.complete" -nt "$ARCHIVE" ]; then
    rm -f "$ARCHIVE"
    (cd "$CORPUS" && zip -9 -q "../bench-work/corpus.zip" binaries.bin random.bin records.json text.txt)
fi
ls -l "$ARCHIVE" | awk '{printf "  archive: %.1f MB\n", $5 / 1e6}'

time_runs() {   # name, command...
    local name=$1; shift
    local times=()
    for ((i = 0; i < RUNS; i++)); do
        rm -rf "$WORK/out"; mkdir -p "$WORK/out"
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        times+=("$(echo "$end - $start" | bc)")
    done
    cmp -s "$WORK/out/text.txt" "$CORPUS/text.txt" && cmp -s "$WORK/out/binaries.bin" "$CORPUS/binaries.bin" \
        || { echo "  $name: output differs from the corpus" >&2; exit 1; }
    printf '%s\n' "${times[@]}" | sort -n | awk -v n="$name" '{a[NR]=$1} END {print n, a[int((NR+1)/2)]}'
}
{
    time_runs unsfx "$BUILD_DIR/unsfx" -o -d "$WORK/out" "$ARCHIVE"
    time_runs unzip unzip -o -q -d "$WORK/out" "$ARCHIVE"
    time_runs 7z 7z x -y -o"$WORK/out" "$ARCHIVE"
} > "$WORK.times"
awk '{t[$1]=$2; order[NR]=$1} END {
    for (i = 1; i <= NR; i++) printf "  %-6s median %.3f s   unsfx/%s = %.3f\n", order[i], t[order[i]], order[i], t["unsfx"] / t[order[i]]
}' "$WORK.times"
rm -rf "$WORK/out"

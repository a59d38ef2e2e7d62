#!/bin/bash
# LZMA self-extractors: a 7-Zip archive of the bench corpus (7z a -tzip
# -mm=LZMA, its default level) wrapped by mksfx --zip behind the 64-bit stub,
# then extracted silently (/S) by the stub under wine64 (timed by the
# end-to-end driver from the program's start to its exit), by unsfx from the
# same program file, and by 7z x from the bare archive; and, as the like for
# like of the format, mksfx's own DEFLATE program file of the corpus behind
# the same stub, extracted the same way. In turns; medians of RUNS rounds
# and the ratios round by round; the stub's start alone (the stub without an
# archive) is printed beside them, the part of its time that is Wine's
# process start-up. SFX_BENCH_STUB=0 leaves the stub out.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build/host}
RUNS=${RUNS:-7}
CORPUS=build/bench-corpus
WORK=build/bench-lzma
FILES=(binaries.bin random.bin records.json text.txt)
STUB64=build/win64/sfxstub.exe

bash scripts/make_bench_corpus.sh "$CORPUS"
cmake --build "$BUILD_DIR" -j2 --target mksfx unsfx >/dev/null
WITH_STUB=${SFX_BENCH_STUB:-1}
if [ -d build/win64 ]; then cmake --build build/win64 -j2 --target sfxstub sfxdriver >/dev/null; fi
if [ ! -f "$STUB64" ] || [ ! -f build/win64/sfxdriver.exe ]; then
    echo "bench: $STUB64 or its driver is not built (make win64); no stub row" >&2
    WITH_STUB=0
fi
mkdir -p "$WORK"
ARCHIVE=$WORK/corpus-lzma.zip
EXE=$WORK/corpus-lzma.exe
# Packed once per corpus: LZMA at 7-Zip's default level takes minutes.
if [ ! -f "$ARCHIVE" ] || [ "$CORPUS/.complete" -nt "$ARCHIVE" ]; then
    rm -f "$ARCHIVE"
    echo "bench: packing the corpus with 7z -mm=LZMA (once) ..." >&2
    (cd "$CORPUS" && 7z a -tzip -mm=LZMA -bd "$OLDPWD/$ARCHIVE" "${FILES[@]}" >/dev/null)
fi
if [ ! -f "$EXE" ] || [ "$ARCHIVE" -nt "$EXE" ] || [ "$BUILD_DIR/mksfx" -nt "$EXE" ] || [ "$STUB64" -nt "$EXE" ]; then
    "$BUILD_DIR/mksfx" -q --stub "$STUB64" -o "$EXE" --zip "$ARCHIVE"
fi
DEFLATED=$WORK/corpus-deflate.exe
if [ "$WITH_STUB" = 1 ] && { [ ! -f "$DEFLATED" ] || [ "$CORPUS/.complete" -nt "$DEFLATED" ] ||
                            [ "$BUILD_DIR/mksfx" -nt "$DEFLATED" ] || [ "$STUB64" -nt "$DEFLATED" ]; }; then
    (cd "$CORPUS" && "$OLDPWD/$BUILD_DIR/mksfx" -q --stub "$OLDPWD/$STUB64" -o "$OLDPWD/$DEFLATED" "${FILES[@]}")
fi
echo "== LZMA: 7z -mm=LZMA archive of the corpus behind the 64-bit stub, silent, $RUNS runs each, medians"
echo "  archive: $(( $(stat -c %s "$ARCHIVE") / 1000000 )) MB, $(( $(du -cb "${FILES[@]/#/$CORPUS/}" | tail -1 | cut -f1) / 1000000 )) MB extracted"
[ "$WITH_STUB" = 1 ] && echo "  mksfx's DEFLATE program file of the same files: $(( $(stat -c %s "$DEFLATED") / 1000000 )) MB"

one_run() {   # name, command...: prints "name seconds"
    local name=$1; shift
    rm -rf "$WORK/out"; mkdir -p "$WORK/out"
    sync
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "  $name failed" >&2; exit 1; }
    end=$(date +%s.%N)
    for f in "${FILES[@]}"; do
        cmp -s "$WORK/out/$f" "$CORPUS/$f" || { echo "  $name: $f differs from the corpus" >&2; exit 1; }
    done
    echo "$name $(echo "$end - $start" | bc)"
}
for ((i = 0; i < RUNS; i++)); do
    if [ "$WITH_STUB" = 1 ]; then
        python3 bench/stub_silent_bench.py "$EXE" stub "$CORPUS" 1 "${FILES[@]}"
        python3 bench/stub_silent_bench.py "$DEFLATED" stub-deflate "$CORPUS" 1 "${FILES[@]}" | grep -v '^start'
    fi
    one_run unsfx "$BUILD_DIR/unsfx" -o -d "$WORK/out" "$EXE"
    one_run 7z 7z x -y -o"$WORK/out" "$ARCHIVE"
done > "$WORK.times"
python3 - "$WORK.times" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, seconds = line.split()
    runs.setdefault(name, []).append(float(seconds))
median = {name: statistics.median(times) for name, times in runs.items()}
labels = {"stub": "stub /S, wine64", "unsfx": "unsfx", "7z": "7z x", "stub-deflate": "stub /S, DEFLATE"}
for name in ("stub", "unsfx", "7z", "stub-deflate"):
    if name in runs:
        peers = ("unsfx", "7z") if name != "stub-deflate" else ()
        ratios = "   ".join("%s/%s = %.2f" % (name, peer, median[name] / median[peer])
                           for peer in peers if peer != name and peer in median)
        print(("  %-16s median %.3f s (of %d)   %s" % (labels[name], median[name], len(runs[name]), ratios)).rstrip())
if "start" in runs:
    print("  %-16s median %.3f s (of %d): the stub without an archive, Wine's process start-up" % (
        "stub start", median["start"], len(runs["start"])))
for name, peer in (("stub", "unsfx"), ("stub", "7z"), ("unsfx", "7z"), ("stub", "stub-deflate")):
    if name in runs and peer in runs:
        paired = [a / b for a, b in zip(runs[name], runs[peer])]
        print("  %s/%s round by round: median %.2f (from %.2f to %.2f)" % (
            name, peer, statistics.median(paired), min(paired), max(paired)))
PY
rm -rf "$WORK/out"

#!/bin/bash
# The cryptography against OpenSSL, then AES-256 extraction on the bench
# corpus: one program file built by mksfx
# with --password and one without (the same DEFLATE streams, encrypted or
# not), extracted by unsfx, and the encrypted one by 7z x -p. The tools take
# turns in every round; medians of RUNS rounds and the ratios round by round.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build/host}
RUNS=${RUNS:-7}
CORPUS=build/bench-corpus
WORK=build/bench-aes
FILES=(binaries.bin random.bin records.json text.txt)
PASSWORD=Bench-Kennwort-2026

bash scripts/make_bench_corpus.sh "$CORPUS"
cmake --build "$BUILD_DIR" -j2 --target mksfx unsfx >/dev/null
# The cryptography alone against OpenSSL, with the host's flags and with the
# stub's -Oz (built when OpenSSL's headers are there).
if cmake --build "$BUILD_DIR" -j2 --target sfx_crypto_bench sfx_crypto_bench_oz >/dev/null 2>&1; then
    echo "== Cryptography against OpenSSL's libcrypto (CPU time, medians of 7 rounds), host flags"
    "$BUILD_DIR/sfx_crypto_bench" 7 | sed 's/^/  /'
    echo "== The same with the stub's -Oz"
    "$BUILD_DIR/sfx_crypto_bench_oz" 7 | sed 's/^/  /'
fi
if [ ! -f build/win32/sfxstub.exe ]; then
    cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake --log-level=WARNING >/dev/null
    cmake --build build/win32 -j2 --target sfxstub >/dev/null
fi
mkdir -p "$WORK"
MKSFX=$PWD/$BUILD_DIR/mksfx
STUB=$PWD/build/win32/sfxstub.exe
# Built once per corpus and builder: the same inputs give the same bytes.
for kind in plain aes; do
    exe=$WORK/$kind.exe
    if [ ! -f "$exe" ] || [ "$CORPUS/.complete" -nt "$exe" ] || [ "$MKSFX" -nt "$exe" ]; then
        args=()
        [ $kind = aes ] && args=(--password "$PASSWORD")
        (cd "$CORPUS" && "$MKSFX" -q --stub "$STUB" "${args[@]}" -o "$OLDPWD/$exe" "${FILES[@]}")
    fi
done
echo "== AES-256: mksfx program files of the corpus with and without --password, $RUNS runs each, medians"
echo "  plain: $(( $(stat -c %s "$WORK/plain.exe") / 1000000 )) MB, AES-256: $(( $(stat -c %s "$WORK/aes.exe") / 1000000 )) MB"

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
    one_run unsfx-aes "$BUILD_DIR/unsfx" -o -p "$PASSWORD" -d "$WORK/out" "$WORK/aes.exe"
    one_run unsfx-plain "$BUILD_DIR/unsfx" -o -d "$WORK/out" "$WORK/plain.exe"
    one_run 7z-aes 7z x -y -p"$PASSWORD" -o"$WORK/out" "$WORK/aes.exe"
done > "$WORK.times"
python3 - "$WORK.times" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, seconds = line.split()
    runs.setdefault(name, []).append(float(seconds))
median = {name: statistics.median(times) for name, times in runs.items()}
labels = {"unsfx-aes": "unsfx, AES-256", "unsfx-plain": "unsfx, not encrypted", "7z-aes": "7z x -p, AES-256"}
for name in runs:
    print("  %-22s median %.3f s (of %d)" % (labels[name], median[name], len(runs[name])))
for name, peer in (("unsfx-aes", "unsfx-plain"), ("unsfx-aes", "7z-aes")):
    paired = [a / b for a, b in zip(runs[name], runs[peer])]
    print("  %s / %s: %.2f (medians); round by round %.2f (from %.2f to %.2f)" % (
        labels[name], labels[peer], median[name] / median[peer], statistics.median(paired), min(paired),
        max(paired)))
PY
rm -rf "$WORK/out"

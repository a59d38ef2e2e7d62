#!/bin/bash
# Packing comparison on the bench corpus: mksfx at its default level (on all
# cores, and on one thread for the parallel gain) against zip -9 and
# 7z a -tzip -mx=9, side by side in one run: the tools take turns in every
# round, and each one's median wall and CPU time over RUNS rounds counts.
# mksfx's output is the whole program file (stub and configuration block
# included), the peers' a plain ZIP archive. Ratios: mksfx / peer (below 1: mksfx smaller
# or faster).
# Then LZMA, on the bench corpus and on the DLL corpus (make_dll_corpus.sh):
# mksfx --method lzma against 7z a -tzip -mm=LZMA -mx=9 (the same kind of
# ZIP archive) and 7z a -t7z -mx=9 (a solid 7z archive, which no ZIP reader
# reads: how far a whole-archive dictionary goes), LZMA_RUNS rounds each
# (default RUNS) in turns. SFX_BENCH_LZMA=0 leaves these rows out.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build/host}
RUNS=${RUNS:-3}
CORPUS=build/bench-corpus
WORK=build/bench-pack
LZMA_RUNS=${LZMA_RUNS:-$RUNS}
WITH_LZMA=${SFX_BENCH_LZMA:-1}
FILES=(binaries.bin random.bin records.json text.txt)

bash scripts/make_bench_corpus.sh "$CORPUS"
cmake --build "$BUILD_DIR" -j2 --target mksfx >/dev/null
if [ ! -f build/win32/sfxstub.exe ]; then
    cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake --log-level=WARNING >/dev/null
    cmake --build build/win32 -j2 --target sfxstub >/dev/null
fi
MKSFX=$PWD/$BUILD_DIR/mksfx
STUB=$PWD/build/win32/sfxstub.exe
rm -rf "$WORK"
mkdir -p "$WORK"

run_timed() {   # name, output, command... (run in the corpus folder)
    local name=$1 output=$2; shift 2
    rm -f "$output"
    # Wall time and CPU time (user + system, all threads) of the command.
    (cd "$CORPUS" && /usr/bin/time -f "%e %U %S" -o "$OLDPWD/$WORK/one" "$@" >/dev/null 2>&1) \
        || { echo "  $name failed" >&2; exit 1; }
    echo "$name $(cat "$WORK/one") $(stat -c %s "$output")" >> "$WORK/times"
}
for ((i = 0; i < RUNS; i++)); do
    run_timed mksfx "$WORK/mksfx.exe" "$MKSFX" -q --stub "$STUB" -o "$PWD/$WORK/mksfx.exe" "${FILES[@]}"
    run_timed mksfx-1-thread "$WORK/mksfx1.exe" "$MKSFX" -q --threads 1 --stub "$STUB" -o "$PWD/$WORK/mksfx1.exe" "${FILES[@]}"
    run_timed zip-9 "$WORK/zip9.zip" zip -9 -q "$PWD/$WORK/zip9.zip" "${FILES[@]}"
    run_timed 7z-mx9 "$WORK/7z.zip" 7z a -tzip -mx=9 "$PWD/$WORK/7z.zip" "${FILES[@]}"
done
cmp -s "$WORK/mksfx.exe" "$WORK/mksfx1.exe" || { echo "  mksfx: one thread and all threads gave different bytes" >&2; exit 1; }
# 7z's archive made into a program file as well (the same stub and block,
# wrapped by mksfx --zip): like compared with like.
"$MKSFX" -q --stub "$STUB" -o "$PWD/$WORK/7z.exe" --zip "$PWD/$WORK/7z.zip"

echo "== Packing: the $(du -shc "${FILES[@]/#/$CORPUS/}" | tail -1 | cut -f1) corpus into one file, $RUNS runs each, $(nproc) cores"
python3 - "$WORK/times" "$(stat -c %s "$STUB")" "$(stat -c %s "$WORK/7z.exe")" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, wall, user, system, size = line.split()
    runs.setdefault(name, []).append((float(wall), float(user) + float(system), int(size)))
labels = {"mksfx": "mksfx (default level, all cores)", "mksfx-1-thread": "mksfx --threads 1",
          "zip-9": "zip -9", "7z-mx9": "7z a -tzip -mx=9"}
wall = {n: statistics.median(r[0] for r in v) for n, v in runs.items()}
cpu = {n: statistics.median(r[1] for r in v) for n, v in runs.items()}
size = {n: v[-1][2] for n, v in runs.items()}
print("  %-34s %14s %8s %8s   %10s %10s %10s" % ("packer", "output bytes", "wall", "CPU", "size ratio",
                                                   "wall ratio", "CPU ratio"))
for name in ("mksfx", "mksfx-1-thread", "zip-9", "7z-mx9"):
    print("  %-34s %14s %7.2fs %7.2fs   %10.4f %10.3f %10.3f" % (
        labels[name], format(size[name], ","), wall[name], cpu[name], size["mksfx"] / size[name],
        wall["mksfx"] / wall[name], cpu["mksfx"] / cpu[name]))
wrapped = int(sys.argv[3])
print("  %-34s %14s %8s %8s   %10.4f" % ("7z's archive as a program file", format(wrapped, ","), "", "",
                                          size["mksfx"] / wrapped))
stub = int(sys.argv[2])
print("  (ratios: mksfx / that packer. mksfx's output is the program file: stub %s + configuration 514 +"
      " archive %s.\n   Medians; CPU is user + system time of all threads, which a busy machine disturbs"
      " less than wall time.)" % (format(stub, ","), format(size["mksfx"] - stub - 514, ",")))
PY

[ "$WITH_LZMA" = 1 ] || exit 0

# lzma_rows LABEL CORPUS FILES...: the LZMA comparison on one corpus.
lzma_rows() {
    local label=$1 corpus=$2; shift 2
    local times=$WORK/lzma-times
    : > "$times"
    for ((i = 0; i < LZMA_RUNS; i++)); do
        for tool in mksfx 7z-zip 7z-7z; do
            local output command
            case $tool in
                mksfx) output=$PWD/$WORK/lzma.exe
                       command=("$MKSFX" -q --method lzma --stub "$STUB" -o "$output" "$@") ;;
                7z-zip) output=$PWD/$WORK/lzma.zip
                        command=(7z a -tzip -mm=LZMA -mx=9 "$output" "$@") ;;
                7z-7z) output=$PWD/$WORK/solid.7z
                       command=(7z a -t7z -mx=9 "$output" "$@") ;;
            esac
            rm -f "$output"
            (cd "$corpus" && /usr/bin/time -f "%e %U %S" -o "$OLDPWD/$WORK/one" "${command[@]}" >/dev/null 2>&1) \
                || { echo "  $tool failed on $label" >&2; exit 1; }
            echo "$tool $(cat "$WORK/one") $(stat -c %s "$output")" >> "$times"
        done
    done
    # The program file is read by a peer as well: it must be what was packed.
    7z t "$WORK/lzma.exe" >/dev/null || { echo "  7z t of mksfx's LZMA program failed" >&2; exit 1; }
    echo "== LZMA: $label, $LZMA_RUNS runs each, $(nproc) cores"
    python3 - "$times" "$(stat -c %s "$STUB")" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, wall, user, system, size = line.split()
    runs.setdefault(name, []).append((float(wall), float(user) + float(system), int(size)))
labels = {"mksfx": "mksfx --method lzma (program file)", "7z-zip": "7z a -tzip -mm=LZMA -mx=9",
          "7z-7z": "7z a -t7z -mx=9 (solid, no ZIP)"}
wall = {n: statistics.median(r[0] for r in v) for n, v in runs.items()}
cpu = {n: statistics.median(r[1] for r in v) for n, v in runs.items()}
size = {n: v[-1][2] for n, v in runs.items()}
print("  %-36s %14s %8s %8s   %10s %10s %10s" % ("packer", "output bytes", "wall", "CPU", "size ratio",
                                                   "wall ratio", "CPU ratio"))
for name in ("mksfx", "7z-zip", "7z-7z"):
    print("  %-36s %14s %7.2fs %7.2fs   %10.4f %10.3f %10.3f" % (
        labels[name], format(size[name], ","), wall[name], cpu[name], size["mksfx"] / size[name],
        wall["mksfx"] / wall[name], cpu["mksfx"] / cpu[name]))
stub = int(sys.argv[2])
print("  mksfx's archive alone (without stub %s and configuration 514): %s bytes, %.4f of 7z's ZIP;"
      % (format(stub, ","), format(size["mksfx"] - stub - 514, ","), (size["mksfx"] - stub - 514) / size["7z-zip"]))
print("  the solid 7z archive is %.3f %% smaller than mksfx's program file (%s bytes)." % (
    100 * (1 - size["7z-7z"] / size["mksfx"]), format(size["mksfx"] - size["7z-7z"], ",")))
PY
}

lzma_rows "the $(du -shc "${FILES[@]/#/$CORPUS/}" | tail -1 | cut -f1) bench corpus" "$CORPUS" "${FILES[@]}"
if bash scripts/make_dll_corpus.sh build/bench-dlls >/dev/null; then
    DLLS=(); while IFS= read -r f; do DLLS+=("$f"); done < <(cd build/bench-dlls && ls *.dll | LC_ALL=C sort)
    lzma_rows "$(ls build/bench-dlls/*.dll | wc -l) Wine DLLs ($(cat build/bench-dlls/ARCHITECTURE), $(du -shc build/bench-dlls/*.dll | tail -1 | cut -f1))" build/bench-dlls "${DLLS[@]}"
else
    echo "== LZMA: no DLL corpus (neither wine32 nor wine64 installed)"
fi

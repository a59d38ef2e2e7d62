#!/bin/bash
# Builds the program-file corpus (about 64 MB) in build/bench-dlls: this
# machine's 32-bit Wine DLLs, real PE files, in name order until 64 MB, their
# debug sections stripped as shipped programs have them (Debian's packages
# keep DWARF data inside the DLLs, three times their code). Generated, never
# committed; does nothing when Wine's 32-bit DLLs are not installed.
set -euo pipefail
OUT=${1:-build/bench-dlls}
SOURCE=/usr/lib/i386-linux-gnu/wine/i386-windows
LIMIT=64000000
if [ -f "$OUT/.complete" ]; then exit 0; fi
if ! ls "$SOURCE"/*.dll >/dev/null 2>&1; then
    echo "make_dll_corpus: no 32-bit Wine DLLs in $SOURCE" >&2
    exit 1
fi
rm -rf "$OUT"
mkdir -p "$OUT"
total=0
for f in $(cd "$SOURCE" && ls *.dll | LC_ALL=C sort); do
    i686-w64-mingw32-strip --strip-debug -o "$OUT/$f" "$SOURCE/$f" 2>/dev/null || cp "$SOURCE/$f" "$OUT/$f"
    # Fixed times: the corpus packs to the same bytes on every machine.
    touch -d '2024-01-01 12:00:00' "$OUT/$f"
    total=$((total + $(stat -c %s "$OUT/$f")))
    [ "$total" -lt "$LIMIT" ] || break
done
touch "$OUT/.complete"
echo "make_dll_corpus: $(ls "$OUT"/*.dll | wc -l) DLLs, $total bytes in $OUT"

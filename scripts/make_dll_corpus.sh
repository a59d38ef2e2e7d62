#!/bin/bash
# Builds the program-file corpus (about 64 MB) in build/bench-dlls: this
# machine's Wine DLLs, real PE files, in name order until 64 MB, their debug
# sections stripped as shipped programs have them (Debian's packages keep
# DWARF data inside the DLLs, three times their code). The 32-bit DLLs
# (wine32) where they are installed, else the 64-bit ones (wine64); the file
# ARCHITECTURE in the corpus says which. Generated, never committed; fails
# when neither is installed.
set -euo pipefail
OUT=${1:-build/bench-dlls}
LIMIT=64000000
if [ -f "$OUT/.complete" ]; then exit 0; fi
if ls /usr/lib/i386-linux-gnu/wine/i386-windows/*.dll >/dev/null 2>&1; then
    SOURCE=/usr/lib/i386-linux-gnu/wine/i386-windows STRIP=i686-w64-mingw32-strip ARCH=i386
elif ls /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/*.dll >/dev/null 2>&1; then
    SOURCE=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows STRIP=x86_64-w64-mingw32-strip ARCH=x86_64
else
    echo "make_dll_corpus: no Wine DLLs (neither wine32 nor wine64 installed)" >&2
    exit 1
fi
rm -rf "$OUT"
mkdir -p "$OUT"
total=0
for f in $(cd "$SOURCE" && ls *.dll | LC_ALL=C sort); do
    "$STRIP" --strip-debug -o "$OUT/$f" "$SOURCE/$f" 2>/dev/null || cp "$SOURCE/$f" "$OUT/$f"
    # Fixed times: the corpus packs to the same bytes on every machine.
    touch -d '2024-01-01 12:00:00' "$OUT/$f"
    total=$((total + $(stat -c %s "$OUT/$f")))
    [ "$total" -lt "$LIMIT" ] || break
done
echo "$ARCH" > "$OUT/ARCHITECTURE"
touch "$OUT/.complete"
echo "make_dll_corpus: $(ls "$OUT"/*.dll | wc -l) $ARCH DLLs, $total bytes in $OUT"

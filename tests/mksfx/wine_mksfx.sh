#!/usr/bin/env bash
# The Windows build of the builder (build/win32/mksfx.exe) under 32-bit Wine:
# packs a small folder (deflated, stored, empty file, empty folder, with a
# password, AES-256) and the result is extracted with 7z and compared byte for byte.
# The host build of the builder, given the same folder and options, must
# write the very same bytes (same libdeflate version, reproducible output).
# A second start packs the folder with --method lzma: liblzma as the build
# compiles it from Debian's source must write what the host's liblzma writes.
# 32-bit Wine runs through qemu here and is slow (about a minute per start).
# It runs in the 32-bit side of the end-to-end tests' 64-bit prefix, which
# tests/e2e/run_all.sh creates before it calls this script.
set -u
SRC=${SFX_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
EXE=${MKSFX_WIN32:-$SRC/build/win32/mksfx.exe}
STUB=${SFX_STUB32:-$SRC/build/win32/sfxstub.exe}
PREFIX=${MKSFX_WINEPREFIX:-$SRC/build/wine64-prefix}
WINE32=/usr/lib/wine/wine

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAIL: $*"; echo "0 passed, 1 failed"; exit 1; }

[ -f "$EXE" ] || skip "$EXE is not built (make win32)"
[ -x "$WINE32" ] || skip "32-bit Wine ($WINE32) is not installed"
command -v 7z >/dev/null || fail "7z is missing"

export WINEPREFIX=$PREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
unset DISPLAY WINEARCH
[ -f "$PREFIX/system.reg" ] || fail "no Wine prefix at $PREFIX (run it from tests/e2e/run_all.sh)"
[ -d "$PREFIX/drive_c/windows/syswow64" ] || skip "the Wine prefix has no 32-bit side"
[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] || skip "no qemu-i386 rule in binfmt_misc"

WORK=$(mktemp -d /tmp/mksfx-wine-XXXXXX)
trap 'rm -rf "$WORK"; /usr/lib/wine/wineserver -k >/dev/null 2>&1' EXIT
mkdir -p "$WORK/paket/unter" "$WORK/paket/leer"
seq 1 20000 > "$WORK/paket/zahlen.txt"
head -c 70000 /dev/urandom > "$WORK/paket/unter/zufall.bin"
: > "$WORK/paket/unter/null.txt"
touch -d '2022-03-04 05:06:08' "$WORK/paket/zahlen.txt" "$WORK/paket/unter/zufall.bin" "$WORK/paket/unter/null.txt"
if [ -f "$STUB" ]; then cp "$STUB" "$WORK/stub.exe"; echo "stub: $STUB"
else
  python3 -c "
import struct,sys
b=bytearray(1024); b[0:2]=b'MZ'; struct.pack_into('<I',b,0x3C,0x80); b[0x80:0x84]=b'PE\0\0'
open(sys.argv[1],'wb').write(b)" "$WORK/stub.exe"
  echo "stub: stand-in MZ/PE header written by the test"
fi
cp "$EXE" "$WORK/mksfx.exe"

cd "$WORK"
timeout 600 "$WINE32" mksfx.exe -o out.exe --stub stub.exe --password geheim --target 'C:\Ziel' paket \
  > wine.out 2> wine.err
rc=$?
cat wine.out
if [ $rc -eq 124 ]; then
  fail "32-bit Wine did not finish within 10 minutes"
fi
if [ $rc -ne 0 ]; then
  if grep -qi "could not load\|bad EXE format\|exec format\|cannot execute" wine.err; then
    skip "32-bit Wine cannot run programs here: $(head -c 300 wine.err)"
  fi
  fail "mksfx.exe under Wine exited $rc: $(head -c 600 wine.err)"
fi
[ -f out.exe ] || fail "mksfx.exe wrote no out.exe"
grep -q "authentication codes correct" wine.out || fail "mksfx.exe did not report its read-back check"
mkdir x
# AES-256, the builder's default with --password: 7z reads it, unzip 6.0 not.
7z x -y -pgeheim -ox out.exe > unzip.err 2>&1 || fail "7z x of the Wine-built program failed: $(tail -c 400 unzip.err)"
diff -r paket x/paket || fail "7z extracted other files than were packed"
[ -d x/paket/leer ] || fail "the empty folder was not recorded"
for f in zahlen.txt unter/zufall.bin unter/null.txt; do
  [ "$(stat -c %Y "paket/$f")" = "$(stat -c %Y "x/paket/$f")" ] || fail "time of $f differs"
done
HOST_MKSFX=${MKSFX:-$SRC/build/host/mksfx}
[ -x "$HOST_MKSFX" ] || fail "the host builder $HOST_MKSFX is not built"
"$HOST_MKSFX" -q --threads 1 -o host.exe --stub stub.exe --password geheim --target 'C:\Ziel' paket \
  || fail "the host builder failed on the same input"
cmp -s host.exe out.exe || fail "the host builder and mksfx.exe wrote different bytes for the same input"

timeout 600 "$WINE32" mksfx.exe -o lzma.exe --stub stub.exe --method lzma paket > wine-lzma.out 2> wine-lzma.err
rc=$?
cat wine-lzma.out
[ $rc -eq 0 ] && [ -f lzma.exe ] || fail "mksfx.exe --method lzma under Wine exited $rc: $(head -c 600 wine-lzma.err)"
mkdir xl
7z x -y -oxl lzma.exe > unzip.err 2>&1 || fail "7z x of the Wine-built LZMA program failed: $(tail -c 400 unzip.err)"
diff -r paket xl/paket || fail "7z extracted other files than were packed with LZMA"
"$HOST_MKSFX" -q --threads 1 -o host-lzma.exe --stub stub.exe --method lzma paket \
  || fail "the host builder failed on the same input with --method lzma"
cmp -s host-lzma.exe lzma.exe || fail "the host builder and mksfx.exe wrote different LZMA bytes for the same input"
echo "7 passed, 0 failed"

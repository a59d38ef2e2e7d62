#!/usr/bin/env bash
# The Wine end-to-end tests. One line per scenario (PASS/FAIL/SKIPPED), then
# "N passed, N failed, N skipped"; exits non-zero when anything failed.
#
#   run_all.sh 64   every scenario of the 64-bit self-extractor, the
#                   scripted starts (switches, exit codes, signed programs)
#                   and the installer starts (temporary mode, question,
#                   licence, title, variables, the 64-bit build), and LZMA
#                   archives of 7-Zip and zipfile, plain and AES
#   run_all.sh 32   the real 32-bit stub's scenarios and scripted starts, one
#                   silent LZMA start and the Windows builder mksfx.exe:
#                   32-bit programs, which run in Wine's 32-bit side through
#                   qemu, a minute or more per start. They use a Wine prefix
#                   and a display of their own (build/wine32-prefix), so
#                   that both halves can run at once.
#   run_all.sh      both, one after the other
#
# Expects the stubs and the driver to be built (make windows).
set -u
cd "$(dirname "$0")/../.."
counts=$(mktemp)
trap 'rm -f "$counts"' EXIT
start=$SECONDS
passed=0; failed=0; skipped=0
half=${1:-both}

# runner BITS NAME SCRIPT: one runner's counts added to the totals.
runner() {
  : > "$counts"
  if timeout -k 10 2400 python3 "tests/e2e/$3" --bits "$1" --counts "$counts"; then :; fi
  if read -r p f s < "$counts" 2>/dev/null; then
    passed=$((passed + p)); failed=$((failed + f)); skipped=$((skipped + s))
  else
    failed=$((failed + 1)); echo "FAIL $2: the runner did not finish"
  fi
}

if [ "$half" != 32 ]; then
  runner 64 "scenarios" run_scenarios.py
  runner 64 "scripted starts" run_scripted.py
  runner 64 "installer starts" run_installer.py
  runner 64 "LZMA starts" run_lzma.py
fi

if [ "$half" != 64 ]; then
  export SFX_E2E_PREFIX=${SFX_E2E_PREFIX32:-$PWD/build/wine32-prefix}
  runner 32 "32-bit scenarios" run_scenarios.py
  runner 32 "32-bit scripted starts" run_scripted.py
  runner 32 "32-bit installer starts" run_installer.py
  runner 32 "32-bit LZMA start" run_lzma.py

  # The Windows build of the builder, in the same prefix's 32-bit side.
  wine_log=$(mktemp)
  MKSFX_WINEPREFIX=$SFX_E2E_PREFIX bash tests/mksfx/wine_mksfx.sh > "$wine_log" 2>&1
  rc=$?
  sed 's/^/    /' "$wine_log"
  case $rc in
    0) passed=$((passed + 1)); echo "PASS mksfx.exe under Wine" ;;
    77) skipped=$((skipped + 1)); echo "SKIPPED mksfx.exe under Wine" ;;
    *) failed=$((failed + 1)); echo "FAIL mksfx.exe under Wine (exit $rc)" ;;
  esac
  rm -f "$wine_log"
fi

echo "e2e ($half) took $((SECONDS - start))s"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]

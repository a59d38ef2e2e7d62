#!/usr/bin/env bash
# Runs every test after `make host asan windows` has built them:
# the stub checks, the host tests (plain and under ASan+UBSan), the short
# fuzz runs with the regression cases, and the Wine end-to-end scenarios.
set -u
cd "$(dirname "$0")/.."
export SFX_STUB32=$PWD/build/win32/sfxstub.exe
export SFX_STUB64=$PWD/build/win64/sfxstub.exe
passed=0; failed=0; skipped=0; failures=""

stage() {  # stage NAME COMMAND...
  local name=$1; shift
  echo; echo "=== $name ==="
  local start=$SECONDS
  "$@"; local rc=$?
  local took=$((SECONDS - start))
  if [ $rc -eq 0 ]; then passed=$((passed + 1)); echo "=== $name: passed (${took}s)"
  elif [ $rc -eq 77 ]; then skipped=$((skipped + 1)); echo "=== $name: SKIPPED (${took}s)"
  else failed=$((failed + 1)); failures="$failures $name"; echo "=== $name: FAILED (exit $rc, ${took}s)"; fi
}

need() {  # need SCRIPT: a test script that is missing is a failure, not a pass
  if [ -f "$1" ]; then bash "$@"; else echo "missing: $1"; return 1; fi
}

stage "windows stubs" bash tests/windows/stub_checks.sh

# The real 32-bit programs run through qemu, a minute or more per start: their
# end-to-end half starts now, in a Wine prefix and on a display of its own,
# and goes on beside the other stages (which it slows a little).
e2e32_log=build/e2e32.log
if [ -f tests/e2e/run_all.sh ]; then
  bash tests/e2e/run_all.sh 32 > "$e2e32_log" 2>&1 &
  e2e32_pid=$!
else
  e2e32_pid=""
fi
e2e32() {  # the background half's output and result
  [ -n "$e2e32_pid" ] || { echo "missing: tests/e2e/run_all.sh"; return 1; }
  wait "$e2e32_pid"; local rc=$?
  cat "$e2e32_log"
  return $rc
}
stage "host tests" ctest --test-dir build/host --output-on-failure -j2 --timeout 900
stage "host tests under ASan+UBSan" env ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 SFX_ASAN=1 \
      ctest --test-dir build/asan --output-on-failure -j2 --timeout 1200
stage "fuzz regressions and short runs" need scripts/fuzz_check.sh
stage "end-to-end under Wine, 64-bit" need tests/e2e/run_all.sh 64
stage "end-to-end under Wine, 32-bit (started after the stub checks)" e2e32

echo
[ -n "$failures" ] && echo "failed stages:$failures"
echo "stages: $passed passed, $failed failed, $skipped skipped"
[ $failed -eq 0 ]

#!/usr/bin/env bash
# scripts/fuzz_check.sh [SECONDS]: the fuzzing part of `make test`. Replays
# every input in fuzz/regressions/ through every target, then runs each
# target for SECONDS (default 30) from the seed corpus. Any crash, hang, leak
# or broken invariant fails the check; new findings are left in
# build/fuzz-check/<target>/. Ends with "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/fuzz_common.sh
SECS=${1:-30}

fuzz_build || { echo "fuzz: 0 passed, 1 failed"; exit 1; }
fuzz_seeds
passed=0
failed=0
mkdir -p build/fuzz-check
mapfile -t cases < <(find fuzz/regressions -type f 2>/dev/null | sort)
for t in $FUZZ_TARGETS; do
  if [ "${#cases[@]}" -gt 0 ]; then
    log=build/fuzz-check/$t-replay.log
    if "$FUZZ_BUILD/$t" -timeout=25 $FUZZ_MEMORY "${cases[@]}" >"$log" 2>&1; then
      passed=$((passed + 1)); echo "fuzz: $t replays ${#cases[@]} regression inputs: ok"
    else
      failed=$((failed + 1)); echo "fuzz: $t fails on a regression input, see $log"
    fi
  fi
  artifacts=build/fuzz-check/$t
  rm -rf "$artifacts"
  corpus=$(mktemp -d /tmp/sfx-fuzz-check.XXXXXX)
  log=build/fuzz-check/$t.log
  fuzz_one "$t" "$SECS" "$corpus" "$artifacts" "$log"
  rc=$?
  rm -rf "$corpus"
  read -r cov ft <<<"$(fuzz_coverage "$log")"
  if [ "$rc" = 0 ] && [ -z "$(ls -A "$artifacts" 2>/dev/null)" ]; then
    passed=$((passed + 1))
    echo "fuzz: $t ${SECS}s: executions $(fuzz_executions "$log"), cov ${cov:-?}, ft ${ft:-?}: ok"
  else
    failed=$((failed + 1))
    echo "fuzz: $t ${SECS}s: FINDING in $artifacts (log $log):"
    grep -E "fuzz invariant|ERROR: |SUMMARY" "$log" | head -5 | sed 's/^/    /'
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" = 0 ]

#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS [TARGET...]]: builds the libFuzzer targets in
# build/fuzz (clang, ASan + UBSan), then runs every target (or the ones named),
# one after the other, for SECONDS each (default 600). The corpus grows in build/fuzz-corpus/<target>/; an input that
# crashes, hangs, leaks or runs out of memory is kept in
# fuzz/regressions/<target>/ (commit it with the fix). Prints per target the
# executions, the coverage (cov/ft of libFuzzer's last status line) and the
# findings; exits non-zero when there was any finding.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/fuzz_common.sh
SECS=${1:-600}
shift || true
[ $# -gt 0 ] && FUZZ_TARGETS="$*"

fuzz_build || exit 1
fuzz_seeds
mkdir -p build/fuzz-logs
total_findings=0
for t in $FUZZ_TARGETS; do
  artifacts=build/fuzz-artifacts/$t
  rm -rf "$artifacts"
  log=build/fuzz-logs/$t.log
  echo "fuzz: $t for ${SECS}s ..."
  fuzz_one "$t" "$SECS" "build/fuzz-corpus/$t" "$artifacts" "$log"
  findings=0
  for f in "$artifacts"/*; do
    [ -f "$f" ] || continue
    mkdir -p "fuzz/regressions/$t"
    cp "$f" "fuzz/regressions/$t/"
    findings=$((findings + 1))
    echo "fuzz: $t: finding $(basename "$f") kept as fuzz/regressions/$t/$(basename "$f")"
  done
  read -r cov ft <<<"$(fuzz_coverage "$log")"
  echo "fuzz: $t: executions ${cov:+$(fuzz_executions "$log")}, cov ${cov:-?}, ft ${ft:-?}, findings $findings (log $log)"
  total_findings=$((total_findings + findings))
done
echo "fuzz: $total_findings findings"
[ "$total_findings" = 0 ]

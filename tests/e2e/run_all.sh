#!/usr/bin/env bash
# The Wine end-to-end tests: every scenario of the 64-bit self-extractor,
# the scripted starts (switches, exit codes, signed self-extractors), then
# the real 32-bit stub's scenarios and scripted starts. One line per scenario
# (PASS/FAIL/SKIPPED), then "N passed, N failed, N skipped"; exits non-zero
# when anything failed.
# Expects the stubs and the driver to be built (make windows).
set -u
cd "$(dirname "$0")/../.."
counts=$(mktemp)
trap 'rm -f "$counts"' EXIT
start=$SECONDS

timeout -k 10 900 python3 tests/e2e/run_scenarios.py --counts "$counts"
read -r passed failed skipped < "$counts" 2>/dev/null || { passed=0; failed=1; skipped=0;
  echo "FAIL scenarios: the scenario runner did not finish"; }

# runner BITS NAME SCRIPT: one more runner's counts added to the totals.
runner() {
  : > "$counts"
  if timeout -k 10 2400 python3 "tests/e2e/$3" --bits "$1" --counts "$counts"; then :; fi
  if read -r p f s < "$counts" 2>/dev/null; then
    passed=$((passed + p)); failed=$((failed + f)); skipped=$((skipped + s))
  else
    failed=$((failed + 1)); echo "FAIL $2: the runner did not finish"
  fi
}

runner 64 "scripted starts" run_scripted.py
# The real 32-bit stub in the same prefix's 32-bit side, through qemu.
runner 32 "32-bit scenarios" run_scenarios.py
runner 32 "32-bit scripted starts" run_scripted.py

# The Windows build of the builder, in the same prefix's 32-bit side.
wine_log=$(mktemp)
bash tests/mksfx/wine_mksfx.sh > "$wine_log" 2>&1
rc=$?
sed 's/^/    /' "$wine_log"
case $rc in
  0) passed=$((passed + 1)); echo "PASS mksfx.exe under Wine" ;;
  77) skipped=$((skipped + 1)); echo "SKIPPED mksfx.exe under Wine" ;;
  *) failed=$((failed + 1)); echo "FAIL mksfx.exe under Wine (exit $rc)" ;;
esac
rm -f "$wine_log"

echo "e2e took $((SECONDS - start))s"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# The Wine end-to-end tests: every scenario of the 64-bit self-extractor,
# then the 32-bit smoke run. One line per scenario (PASS/FAIL/SKIPPED), then
# "N passed, N failed, N skipped"; exits non-zero when anything failed.
# Expects the stubs and the driver to be built (make windows).
set -u
cd "$(dirname "$0")/../.."
counts=$(mktemp)
trap 'rm -f "$counts"' EXIT
start=$SECONDS

timeout -k 10 900 python3 tests/e2e/run_scenarios.py --counts "$counts"
read -r passed failed skipped < "$counts" 2>/dev/null || { passed=0; failed=1; skipped=0;
  echo "FAIL scenarios: the scenario runner did not finish"; }

smoke_log=$(mktemp)
bash tests/e2e/smoke32.sh > "$smoke_log" 2>&1
rc=$?
cat "$smoke_log"
case $rc in
  0) passed=$((passed + 1)) ;;
  77) skipped=$((skipped + 1)); echo "SKIPPED smoke32" ;;
  *) failed=$((failed + 1))
     grep -q '^FAIL smoke32' "$smoke_log" || echo "FAIL smoke32 (exit $rc)" ;;
esac
rm -f "$smoke_log"

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

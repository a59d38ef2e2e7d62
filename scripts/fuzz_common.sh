# Shared by scripts/fuzz.sh and scripts/fuzz_check.sh (sourced, not run).
FUZZ_TARGETS="fuzz_run fuzz_inflate fuzz_huffman fuzz_catalog fuzz_inflate_diff fuzz_lzma fuzz_lzma_diff"
FUZZ_BUILD=build/fuzz

# Longest input per target: big enough for a small archive or stream, small
# enough to keep mutations effective.
fuzz_max_len() {
  case "$1" in
    fuzz_run|fuzz_inflate) echo 16384 ;;
    fuzz_catalog|fuzz_inflate_diff|fuzz_lzma|fuzz_lzma_diff) echo 8192 ;;
    fuzz_huffman) echo 300 ;;
  esac
}

fuzz_build() {
  CC=clang CXX=clang++ cmake -S . -B "$FUZZ_BUILD" -DSFX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    --log-level=WARNING >/dev/null || return 1
  cmake --build "$FUZZ_BUILD" --target fuzz_targets -j2 2>&1 | grep -E "error|warning: unused" || true
  for t in $FUZZ_TARGETS; do [ -x "$FUZZ_BUILD/$t" ] || { echo "fuzz: $t did not build"; return 1; }; done
}

fuzz_seeds() {
  [ -d build/fuzz-seeds/fuzz_run ] || bash scripts/make_seeds.sh >/dev/null
}

# "cov ft" from libFuzzer's last status line.
fuzz_coverage() {
  grep -E "cov: [0-9]+" "$1" | tail -1 | sed -E 's/.*cov: ([0-9]+) ft: ([0-9]+).*/\1 \2/'
}

fuzz_executions() {
  grep -E "stat::number_of_executed_units" "$1" | tail -1 | awk '{print $2}'
}

# Memory: what the process holds is capped, a single allocation may be as
# large as an LZMA entry's window can be (just under 4 GiB, of which only
# what is written is ever touched).
FUZZ_MEMORY="-rss_limit_mb=2048 -malloc_limit_mb=4096"

# Runs one target: fuzz_one TARGET SECONDS CORPUS ARTIFACTS LOG
fuzz_one() {
  local t=$1 secs=$2 corpus=$3 artifacts=$4 log=$5
  mkdir -p "$corpus" "$artifacts"
  "$FUZZ_BUILD/$t" -max_total_time="$secs" $FUZZ_MEMORY -timeout=25 -max_len="$(fuzz_max_len "$t")" \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "build/fuzz-seeds/$t" >"$log" 2>&1
}

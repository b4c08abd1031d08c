#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan and UBSan) and runs each from its seeds in fuzz/corpus
# for a bounded time (seconds: first argument or BRX_FUZZ_SECONDS, default 30). Prints each one's run
# count and "0 findings"; on a crash, a broken invariant or a hang, prints the report, keeps the input
# under the build folder and fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${BRX_BUILD_ROOT:-$top/build}/fuzz
seconds=${1:-${BRX_FUZZ_SECONDS:-30}}
harnesses=(container restore dump parsers scsi tap e11 aws het detect)

cmake -S "$top" -B "$out" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DBRX_TESTS=OFF -DBRX_FUZZ=ON -DBRX_WERROR=ON >/dev/null
cmake --build "$out" -j "$(nproc)" --target "${harnesses[@]/#/fuzz_}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out/findings"
status=0
for harness in "${harnesses[@]}"; do
  # The seeds stay as committed: the run grows a copy.
  cp -r "$top/fuzz/corpus/$harness" "$work/$harness"
  # -close_fd_mask=3 silences the copies' own messages; libFuzzer's report still shows.
  if "$out/fuzz/fuzz_$harness" -max_total_time="$seconds" -timeout=10 -close_fd_mask=3 -print_final_stats=1 \
       -artifact_prefix="$out/findings/$harness-" "$work/$harness" >"$work/$harness.log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$harness.log")
    echo "fuzz_$harness: $runs runs in ${seconds} s, 0 findings"
  else
    echo "fuzz_$harness: FINDING (input kept in $out/findings)"
    grep -v '^#[0-9]' "$work/$harness.log" | tail -n 80
    status=1
  fi
done
exit $status

#!/usr/bin/env bash
# Builds the fuzz harnesses (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one for the given number of seconds
# (default 300), starting from its seed corpus, its kept inputs and the real
# files of its format, with the keyword dictionary fuzz/dict/<Name>.dict where there
# is one. New inputs go to build/fuzz/corpus/<Name>, findings to
# build/fuzz/findings/<Name>; the executions of each run are summed up at the end.
# Usage: scripts/fuzz.sh [seconds] [harness...]   (MW_FUZZ_PARALLEL: harnesses at once, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh fuzz

seconds=${1:-300}
shift || true
build=${MW_FUZZ_BUILD_DIR:-build/fuzz}
parallel=${MW_FUZZ_PARALLEL:-3}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DMW_FUZZ=ON -DMW_SANITIZE=OFF -DMW_BUILD_TESTS=OFF -DMW_BUILD_BENCH=OFF > /dev/null
cmake --build "$build" -j "${MW_JOBS:-4}"

realdata=$(sed -n 's/^MW_REALDATA_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$realdata" ] || realdata=../shared/realdata
declare -A formats=([Stl]=stl [StlAscii]=stl [Vrml]=vrml [Nastran]=nastran)

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  for f in fuzz/*Fuzz.cpp; do n=$(basename "$f" Fuzz.cpp); harnesses+=("$n"); done
fi

run_one() {
  local name=$1
  local work="$build/corpus/$name" findings="$build/findings/$name"
  mkdir -p "$work" "$findings"
  local inputs=("$work" "fuzz/corpus/$name")
  [ -d "tests/data/fuzz/$name" ] && inputs+=("tests/data/fuzz/$name")
  [ -n "${formats[$name]:-}" ] && [ -d "$realdata/${formats[$name]}" ] && inputs+=("$realdata/${formats[$name]}")
  local dict=()
  [ -f "fuzz/dict/$name.dict" ] && dict=(-dict="fuzz/dict/$name.dict")
  # stdout of the readers is closed (their messages would slow the run);
  # 2 GB of memory, 10 s per input.
  # Inputs are cut to 64 KB: the large real files seed the run, and the
  # mutations stay quick.
  "$build/fuzz/fuzz_$name" "${dict[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -max_len=65536 \
      -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$findings/" "${inputs[@]}" \
      > "$build/$name.log" 2>&1 || true
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$name.log" | tail -1)
  local found
  found=$(find "$findings" -type f | wc -l)
  echo "$name: ${runs:-?} executions, $found findings (log $build/$name.log)"
}

export -f run_one
export build seconds realdata
for name in "${harnesses[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n; done
  run_one "$name" &
done
wait

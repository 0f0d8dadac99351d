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
  # The project's limits on a hostile input: at most 1 KB (larger seeds are
  # cut to it), a second, and 64 MB of memory above what the harness takes
  # for an empty input (its start, the host's for the harnesses on the host,
  # and the sanitizers' own), measured here on an empty corpus. The sanitizer holds up to 16 MB of freed blocks back to
  # catch their later use; an empty input does not fill that, so it is added
  # to the limit. No single allocation may take more than 64 MB.
  local empty="$build/empty/$name" base
  rm -rf "$empty" && mkdir -p "$empty"
  base=$(ASAN_OPTIONS=$asan "$build/fuzz/fuzz_$name" -runs=0 -close_fd_mask=1 "$empty" 2>&1 |
         sed -n 's/.*INITED.* rss: \([0-9]*\)Mb.*/\1/p' | tail -1)
  # The fuzzing runs in a child process that is started again after each
  # finding, so that one input over the limits does not end the run; stdout
  # of the readers is closed (their messages would slow the run).
  local limit=$(( ${base:-0} + 64 + 16 ))
  ASAN_OPTIONS=$asan "$build/fuzz/fuzz_$name" "${dict[@]}" -max_total_time="$seconds" \
      -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
      -rss_limit_mb=$limit -malloc_limit_mb=64 -timeout=1 -max_len=1024 \
      -close_fd_mask=1 -artifact_prefix="$findings/" "${inputs[@]}" \
      > "$build/$name.log" 2>&1 || true
  local runs
  runs=$(sed -n 's/^#\([0-9]*\): cov:.*/\1/p' "$build/$name.log" | tail -1)
  # A seed or kept input over the limits is named, not kept again: the
  # instrumentation of this build makes a run several times slower than
  # the test build, where the hostile-input table holds the kept inputs to
  # their second.
  # Each finding is run once more alone, in a fresh process under the same
  # limits, and said whether it repeats there: a child of the fork mode runs
  # input after input, and an input is blamed for the memory that those
  # before it left mapped when the limit is checked while it runs.
  alone() {
    local out peak
    if ! out=$(ASAN_OPTIONS=$asan "$build/fuzz/fuzz_$name" -runs=1 -timeout=1 \
                 -malloc_limit_mb=64 -close_fd_mask=1 -print_final_stats=1 \
                 -exact_artifact_path=/dev/null "$1" 2>&1); then
      echo "repeats alone"
      return
    fi
    peak=$(sed -n 's/^stat::peak_rss_mb: *//p' <<<"$out" | tail -1)
    if [ -n "$peak" ] && [ "$peak" -gt "$limit" ]; then
      echo "repeats alone: $peak MB"
    else
      echo "within the limits alone: ${peak:-?} MB"
    fi
  }
  local found=0 known=() new=() f k
  for f in "$findings"/*; do
    [ -f "$f" ] || continue
    for k in "fuzz/corpus/$name"/* "tests/data/fuzz/$name"/*; do
      if [ -f "$k" ] && cmp -s "$f" "$k"; then
        known+=("$(basename "$f" | cut -d- -f1) $k ($(alone "$k"))"); rm "$f"; continue 2
      fi
    done
    found=$((found + 1))
    new+=("$f ($(alone "$f"))")
  done
  echo "$name: ${runs:-?} executions, $found findings, memory limit ${base:-?} + 80 MB (log $build/$name.log)"
  for f in "${new[@]}"; do echo "  finding: $f"; done
  for k in "${known[@]}"; do echo "  over the limits here: $k"; done
}

# Freed blocks held back to catch their use: at most 16 MB (the default
# would hold 256 MB, and count against the memory limit).
asan="quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export -f run_one
export build seconds realdata asan
for name in "${harnesses[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n; done
  run_one "$name" &
done
wait

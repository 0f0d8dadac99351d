#!/usr/bin/env bash
# Runs the edit-sequence property test (tests/plugin/EditSequenceTest.cpp)
# on many seeds, in parallel chunks, and adds up the lines each chunk
# prints: how many gestures were undone and how many gave another net back,
# and how many documents failed to open whole or saved again as other bytes.
# Not part of the test command: it takes long.
#
#   bash scripts/editsweep.sh [FIRST_SEED] [COUNT]
#
# FIRST_SEED (1000) and COUNT (300) choose the seeds; EDITSWEEP_JOBS (3)
# chunks run at once; EDITSWEEP_FITTING=0 runs the faces as Coons patches
# instead of fitted ones; MW_EDIT_MOST is passed on. The test binary is
# $MW_TEST_BUILD_DIR/tests/test_plugin (build/test), or EDITSWEEP_TEST
# (another build's, the verdicts before a change). The chunks' output
# stays in $build/editsweep/; a failing gesture is named there with its seed.
# Each chunk's record for scripts/baseline.sh (scripts/sweeprecord.sh), as
# seeds-FIRST-LAST, goes to $build/editsweep/record.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
first=${1:-1000}
count=${2:-300}
jobs=${EDITSWEEP_JOBS:-3}
build=${MW_TEST_BUILD_DIR:-build/test}
test=${EDITSWEEP_TEST:-$build/tests/test_plugin}
out="$build/editsweep"
mkdir -p "$out"
rm -f "$out"/chunk*.txt
source scripts/sweeprecord.sh
start_record "$out/record.txt"
export LSAN_OPTIONS=suppressions=$(pwd)/tests/lsan.supp
[[ ${EDITSWEEP_FITTING:-1} == 1 ]] && export MW_EDIT_FITTING=1
per=$(((count + jobs - 1) / jobs))
for ((j = 0; j < jobs; ++j)); do
    from=$((first + j * per))
    n=$((count - j * per < per ? count - j * per : per))
    ((n > 0)) || continue
    (
        status=0
        MW_EDIT_SEQUENCES=$n MW_EDIT_FIRST_SEED=$from timed "$out/chunk$j.time" "$test" \
            --gtest_filter='EditSequence.RandomGestures*' >"$out/chunk$j.txt" 2>&1 || status=$?
        record "seeds-$from-$((from + n - 1))" "$([[ $status -eq 0 ]] && echo pass || echo fail)" - - \
            "$(cpu_of "$out/chunk$j.time")" \
            "$([[ $status -eq 0 ]] || grep -o 'seed [0-9]*$' "$out/chunk$j.txt" | sort -u | tr '\n' ' ')"
    ) &
done
wait
grep -h "^edit sequences" "$out"/chunk*.txt
grep -h "does not give back\|failed to open\|the save after the open writes\|seed [0-9]*$" \
    "$out"/chunk*.txt | grep -v "^edit sequences" | grep -B1 -v "seed [0-9]*$" | grep -v "^--" || true

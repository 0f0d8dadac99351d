#!/usr/bin/env bash
# Runs the property test of the net's crossings (tests/net/TopologyTest.cpp,
# RandomDrawingsCrossOnlyAtTheirJunctions) on many seeds, in parallel
# chunks: random drawings of crossing strokes (two-click lines, wobbly
# strokes, rings closed by hand, spirals, strokes drawn again a tolerance
# or two off, strokes through and onto others) whose crossings must all
# become junctions, whose topology taken again must find the same faces,
# and which must read back as the same net text. Prints each chunk's
# verdict and the seeds that failed, with what failed. Not part of the
# test command: it takes long.
#
#   bash scripts/crossingsweep.sh [FIRST_SEED] [COUNT]
#
# FIRST_SEED (1000) and COUNT (2000) choose the seeds; CROSSINGSWEEP_JOBS (3)
# chunks run at once. The test binary is $MW_TEST_BUILD_DIR/tests/test_net
# (build/test). The chunks' output stays in $build/crossingsweep/.
set -euo pipefail
cd "$(dirname "$0")/.."
first=${1:-1000}
count=${2:-2000}
jobs=${CROSSINGSWEEP_JOBS:-3}
build=${MW_TEST_BUILD_DIR:-build/test}
out="$build/crossingsweep"
mkdir -p "$out"
export LSAN_OPTIONS=suppressions=$(pwd)/tests/lsan.supp
per=$(((count + jobs - 1) / jobs))
for ((j = 0; j < jobs; ++j)); do
    from=$((first + j * per))
    n=$((count - j * per < per ? count - j * per : per))
    ((n > 0)) || continue
    MW_CROSSING_DRAWINGS=$n MW_CROSSING_FIRST_SEED=$from "$build/tests/test_net" \
        --gtest_filter='Topology.RandomDrawingsCrossOnlyAtTheirJunctions' >"$out/chunk$j.txt" 2>&1 &
done
wait
failed=0
for chunk in "$out"/chunk*.txt; do
    if grep -q '^\[  PASSED  \] 1 test' "$chunk"; then
        echo "$(basename "$chunk"): passed"
    else
        failed=1
        echo "$(basename "$chunk"): failed on $(grep -o 'seed [0-9]*$' "$chunk" | sort -u | tr '\n' ' ')"
        grep -h "stretches cross at\|written otherwise\|Expected equality" "$chunk" | head -5 || true
    fi
done
exit "$failed"

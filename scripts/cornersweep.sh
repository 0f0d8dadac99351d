#!/usr/bin/env bash
# Runs the import job (examples/main-job-import.vzs) on the nets of
# scripts/cornernets.py, faces that meet only at a node, and prints for each
# how far its Breps leave their regions (the largest over the Breps of a
# region corner's distance from its Brep's edges, of a point of a Brep's
# edges from its region's sides, and of a point of a region's sides from its
# Brep's edges), in document tolerances, with the job's verdict. Not part of
# the test command.
#
#   bash scripts/cornersweep.sh [CASE...]
#
# A case is fan[:NAME=VALUE,...], e.g. fan:N=2,WIDTH=90,GAP=5; the default
# list holds slots of several angles and lengths tapering to a corner, fans
# of 3, 4 and 5 faces round one node and two squares touching at a corner,
# some at x0.01 and x100. CORNERSWEEP_HEAL (Yes) heals or not;
# CORNERSWEEP_VZHOST runs another build's runner (the figures before a
# change); CORNERSWEEP_JOBS (2) runs that many at once. Transcripts stay in
# $build/cornersweep/, with each case's record for scripts/baseline.sh
# (scripts/sweeprecord.sh) in record.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${MW_BUILD_DIR:-build/probe}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=ON \
    -DMW_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 3 --target vzhost netdraw >/dev/null
out=$root/$build/cornersweep
rm -rf "$out"
mkdir -p "$out"
heal=${CORNERSWEEP_HEAL:-Yes}
vzhost=${CORNERSWEEP_VZHOST:-$build/apps/vzhost}
source scripts/sweeprecord.sh
start_record "$out/record.txt"
sed "s/Heal=Yes/Heal=$heal/" examples/main-job-import.vzs >"$out/job.vzs"
cases=("$@")
if [[ ${#cases[@]} -eq 0 ]]; then
    cases=()
    for gap in 2 5 10 20; do
        for r in 10 20; do
            cases+=("fan:N=2,WIDTH=90,GAP=$gap,R=$r")
        done
    done
    cases+=(fan:N=2,WIDTH=60,GAP=3,ROT=30 fan:N=2,WIDTH=120,GAP=8,ROT=-20)
    for n in 3 4 5; do
        cases+=("fan:N=$n,GAP=5" "fan:N=$n,GAP=15")
    done
    cases+=(fan:N=2,WIDTH=90,GAP=90 fan:N=2,WIDTH=90,GAP=45 fan:N=2,WIDTH=90,GAP=90,ROT=30)
    for scale in 0.01 100; do
        cases+=("fan:N=2,WIDTH=90,GAP=5,SCALE=$scale" "fan:N=4,GAP=5,SCALE=$scale"
            "fan:N=2,WIDTH=90,GAP=90,SCALE=$scale")
    done
fi

one() {
    local spec=$1 layout values name dir status=0
    layout=${spec%%:*}
    values=()
    [[ "$spec" == *:* ]] && IFS=, read -ra values <<<"${spec#*:}"
    name=$(echo "$spec" | tr ':,=' '_-_')
    dir=$out/$name
    mkdir -p "$dir/diag"
    python3 scripts/cornernets.py "$layout" "$dir/case" "${values[@]}"
    FENWO_DIAGNOSTICS_DIR=$dir/diag timed "$dir/time" "$vzhost" --script "$out/job.vzs" \
        --define "MESH=$dir/case.stl" --define "NET=$dir/case.grid" --out "$dir" >"$dir/log" 2>&1 || status=$?
    local tol figures=n/a verdict shared
    tol=$(grep -o 'document tolerance [0-9.e+-]*' "$dir/log" | head -1 | sed 's/.* //')
    shared=$(sed -n 's/.*(\([0-9]*\) shared edges of.*/\1/p' "$dir/log" | head -1)
    if [[ -f "$dir/main-job.vzd" ]]; then
        "$build/tests/netdraw" --edges "$dir/main-job.vzd" 200 >"$dir/edges.txt"
        python3 scripts/cornernets.py measure "$dir/edges.txt" "$layout" - "${values[@]}" >"$dir/regions.txt"
        figures=$(sed -n 's/^largest corner \([^ ]*\) out \([^ ]*\) bare \([^ ]*\) over \([0-9]*\).*/\1 \2 \3 \4/p' \
            "$dir/regions.txt" | awk -v t="${tol:-0}" '{ if (t > 0) printf "corner %6.2f out %6.2f bare %6.2f tol, %d Breps", $1 / t, $2 / t, $3 / t, $4; else print }')
    fi
    verdict=$(grep -o 'job.vzs: failed: .*' "$dir/log" | head -1 | cut -c18-150)
    printf '%-40s exit %d tol %-9s shared %-3s %s %s\n' "$spec" "$status" "${tol:-?}" "${shared:-?}" \
        "$figures" "${verdict:-}"
    # shellcheck disable=SC2046
    record "$spec" "$([[ $status -eq 0 ]] && echo pass || echo fail)" $(figures_of "$dir/log") \
        "$(cpu_of "$dir/time")" "${verdict:-}"
}
export -f one
export out build vzhost
printf '%s\n' "${cases[@]}" | xargs -P "${CORNERSWEEP_JOBS:-2}" -I{} bash -c 'one "$@"' _ {}

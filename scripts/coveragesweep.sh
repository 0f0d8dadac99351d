#!/usr/bin/env bash
# Runs the import job (examples/main-job-import.vzs) on the meshes and nets
# of scripts/coveragenets.py and scripts/featurenets.py and prints, for each,
# what the commit's coverage check found (the enclosed areas and the first
# fault it names), the commit's gap and off-the-mesh lines, the job's exit
# code and verdict, its CPU seconds and the check's own seconds: a probe of
# the check on closed parts, stacked sheets, rings, spirals, features far
# from the faces and nets thousands of tolerances wide. Not part of the test
# command.
#
#   bash scripts/coveragesweep.sh [CASE...]
#
# A case is LAYOUT[:NAME=VALUE,...] as coveragenets.py takes them (box:INSET=2,
# stack:THIN=1, annulus:N=200), or feature:FEATURE:HEIGHT:NET[:CELLS[:HALF]]
# as featurenets.py takes them (feature:column:20:grid). COVERAGESWEEP_HEAL
# (Yes) heals or not; COVERAGESWEEP_JOBS (2) runs that many at once;
# COVERAGESWEEP_VZHOST runs another build's runner (the figures before a
# change). Transcripts stay in $build/coveragesweep/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${MW_BUILD_DIR:-build/release}
[[ -f "$build/CMakeCache.txt" ]] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=OFF -DMW_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 3 --target vzhost >/dev/null
out=$root/$build/coveragesweep
rm -rf "$out"
mkdir -p "$out"
vzhost=${COVERAGESWEEP_VZHOST:-$build/apps/vzhost}
sed "s/Heal=Yes/Heal=${COVERAGESWEEP_HEAL:-Yes}/" examples/main-job-import.vzs >"$out/job.vzs"
cases=("$@")
if [[ ${#cases[@]} -eq 0 ]]; then
    cases=(box box:INSET=1 box:INSET=2 box:INSET=3 box:THICK=2 box:THICK=2,INSET=2 box:OPEN=1
        stack stack:GAP=2 stack:GAP=3 stack:GAP=5 stack:THIN=1 stack:THIN=1,GAP=2 stack:SHIFT=10
        strip:W=2 strip:W=4 strip:W=6 strip:W=2,BORDER=1 strip:W=6,BORDER=1
        annulus annulus:N=200 spiral spiral:TURNS=2.5
        plate plate:SCALE=1000 plate:SCALE=1000,N=3 plate:SCALE=0.01
        feature:lean:20:grid feature:column:20:grid feature:siderib:20:grid
        feature:spike:20:grid feature:rib:20:strip)
fi

one() {
    local spec=$1 name dir status=0
    name=$(tr ':,=' '_-_' <<<"$spec")
    dir=$out/$name
    mkdir -p "$dir/diag"
    if [[ "$spec" == feature:* ]]; then
        local feature height net cells half
        IFS=: read -r _ feature height net cells half <<<"$spec"
        python3 scripts/featurenets.py "$feature" "$height" "$net" "$dir" ${cells:-100} ${half:-3} >/dev/null
        mv "$dir/mesh.stl" "$dir/case.stl"
        mv "$dir/net.grid" "$dir/case.grid"
    else
        local layout=${spec%%:*} values=()
        [[ "$spec" == *:* ]] && IFS=, read -ra values <<<"${spec#*:}"
        python3 scripts/coveragenets.py "$layout" "$dir/case" "${values[@]}"
    fi
    FENWO_TIMER=1 FENWO_DIAGNOSTICS_DIR=$dir/diag /usr/bin/time -o "$dir/time" -f '%U %S' \
        "$vzhost" --script "$out/job.vzs" --define "MESH=$dir/case.stl" \
        --define "NET=$dir/case.grid" --out "$dir" >"$dir/log" 2>&1 || status=$?
    local cpu areas fault gap off check verdict
    cpu=$(tail -1 "$dir/time" | awk '{ printf "%.2f", $1 + $2 }')
    areas=$(sed -n 's/^Areas the net encloses: \([-0-9]*\).*/\1/p' "$dir/log" | head -1)
    fault=$(grep -m1 -E "is covered by no face|is left bare|lies under two faces|lies over areas the net parts|leaves its region's sides|could not judge" "$dir/log" | cut -c1-110 || true)
    gap=$(grep -m1 -o 'Gap between faces [0-9]* and [0-9]*: [0-9.e+-]*' "$dir/log" || true)
    off=$(grep -m1 -o 'Brep off the mesh: face [0-9]* lies [0-9.e+-]*' "$dir/log" || true)
    check=$(awk -F'= ' '/^coverage check: elapsed milliseconds/ { s += $2 / 1000; n++ }
        /^coverage check: elapsed seconds/ { s += $2; n++ } END { if (n) printf "%.2f", s }' "$dir/log")
    verdict=$(sed -n 's|^.*job.vzs: failed: ||p' "$dir/log" | tail -1 | cut -c1-100)
    printf '%-28s exit %d areas %-3s cpu %6s s check %5s s | %s%s%s%s\n' "$spec" "$status" \
        "${areas:-?}" "$cpu" "${check:-?}" "${fault:+$fault; }" "${gap:+$gap; }" "${off:+$off; }" \
        "${verdict:-pass}"
}
export -f one
export out vzhost

printf '%s\n' "${cases[@]}" | xargs -d '\n' -n 1 -P "${COVERAGESWEEP_JOBS:-2}" bash -c 'one "$1"' one

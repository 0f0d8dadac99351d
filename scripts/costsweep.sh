#!/usr/bin/env bash
# Runs ordinary jobs one after another and prints for each its processor
# seconds (user and system), its peak resident memory, its exit code and its
# verdict (the cause the runner names last, or "pass"): what a change costs
# the jobs users run, side by side with another build's runner. Not part of
# the test command: the large plates take minutes.
#
#   bash scripts/costsweep.sh [CASE...]
#
# A case is one of
#   plate:FACETS:N[:NOISE[:SHARE]]
#                           the import job on a net of N x N cells over the
#                           middle 60 x 60 of a smooth plate 100 x 70 (one long
#                           wave of 2, scripts/gapnets.py's wave layout) of
#                           about FACETS facets (20k, 320k, 1280k), its
#                           heights moved by up to NOISE (0), the tolerance
#                           1/SHARE of the mesh's diagonal (500, as the job
#                           sets it; a net of 200 x 200 cells needs 5000, its
#                           cells 12 tolerances wide, else its regions are
#                           below the least a region may be)
#   main:MESH               the main job (examples/main-job.vzs) on MESH
#                           (examples/ or ../shared/realdata/)
#   overshoot:MESH:N:LOOK   the import job on a net of N x N cells whose
#                           strokes overshoot their junctions a little
#                           (tests/tools/NetDraw.cpp: --ends overshoot
#                           --distance 0.59 --points 10 --wobble 0.02) on MESH
#                           seen from LOOK (x,y,z towards the viewer)
# The default list: a 10 x 10 net on the plates of 20k, 320k and 1280k
# facets, a 200 x 200 net on the 1280k one (SHARE 5000), the main job on the
# bump, a 3 x 3
# net on the 20k plate with noise of 0.05 (0.2 tolerances) and an
# overshooting 3 x 3 net on the underside of the machined part of
# ../shared/realdata.
# COSTSWEEP_VZHOST runs another build's runner (the cost before a change);
# COSTSWEEP_TIMEOUT (1800) ends a job after that many seconds (a failure);
# COSTSWEEP_JOBS (1) runs that many at once. Meshes and nets stay in
# $build/costsweep/, with each case's record for scripts/baseline.sh
# (scripts/sweeprecord.sh) in record.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${MW_TOOLS_BUILD_DIR:-build/release}
[[ -f "$build/CMakeCache.txt" ]] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=ON -DMW_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 3 --target vzhost netdraw >/dev/null
out=$root/$build/costsweep
rm -rf "$out"
mkdir -p "$out"
vzhost=${COSTSWEEP_VZHOST:-$build/apps/vzhost}
realdata=$root/../shared/realdata
[[ -d "$realdata" ]] || realdata=$root/../../shared/realdata
source scripts/sweeprecord.sh
start_record "$out/record.txt"
cases=("$@")
[[ ${#cases[@]} -gt 0 ]] || cases=(plate:20k:10 plate:320k:10 plate:1280k:10 plate:1280k:200:0:5000 main:bump.stl
    plate:20k:3:0.05 overshoot:featuretype.STL:3:0,0,-1)

# The path of a mesh named by its file name.
mesh_of() {
    local found
    for found in "$root/examples/$1" "$realdata"/*/"$1"; do
        [[ -f "$found" ]] && echo "$found" && return
    done
}

one() {
    local spec=$1 kind dir mesh net= job=
    kind=${spec%%:*}
    dir=$out/${spec//:/_}
    mkdir -p "$dir/diag"
    case "$kind" in
    plate)
        local facets n noise share facet
        IFS=: read -r _ facets n noise share <<<"$spec"
        # 2 (100 / FACET) (70 / FACET) facets.
        facet=$(awk -v f="${facets%k}" 'BEGIN { printf "%.4f", sqrt(14000 / (f * 1000)) }')
        python3 scripts/gapnets.py wave "$dir/case" N="$n" CELL="$(awk -v n="$n" 'BEGIN { print 60 / n }')" \
            WAVE=200 AMP=2 FACET="$facet" NOISE="${noise:-0}"
        mesh=$dir/case.stl net=$dir/case.grid
        if [[ -n "$share" ]]; then
            job=$dir/job.vzs
            sed "s/^!diagonal TOLERANCE 500\$/!diagonal TOLERANCE $share/" examples/main-job-import.vzs >"$job"
        fi
        ;;
    main)
        mesh=$(mesh_of "${spec#*:}")
        ;;
    overshoot)
        local name n look
        IFS=: read -r _ name n look <<<"$spec"
        mesh=$(mesh_of "$name") net=$dir/net.grid
        "$build/tests/netdraw" --ends overshoot --distance 0.59 --points 10 --wobble 0.02 \
            "$mesh" "$n" strokes "$look" "$net" >/dev/null
        ;;
    esac
    local status=0
    [[ -n "$job" ]] || job=examples/main-job$([[ -z "$net" ]] || echo -import).vzs
    FENWO_DIAGNOSTICS_DIR=$dir/diag timed "$dir/time" timeout "${COSTSWEEP_TIMEOUT:-1800}" "$vzhost" \
        --script "$job" --define "MESH=$mesh" ${net:+--define "NET=$net"} --out "$dir" >"$dir/log" 2>&1 ||
        status=$?
    rm -rf "$dir/diag" "$dir"/*.png "$dir"/*.vzd
    local verdict cpu
    verdict=$(sed -n 's|^.*\.vzs: failed: ||p' "$dir/log" | tail -1 | cut -c1-150)
    [[ $status -ne 124 ]] || verdict="not done after ${COSTSWEEP_TIMEOUT:-1800} s"
    cpu=$(cpu_of "$dir/time")
    printf '%-28s cpu %8.2f s  rss %5d MB  exit %3d  %s\n' "$spec" "$cpu" "$(rss_of "$dir/time")" "$status" \
        "${verdict:-pass}"
    # shellcheck disable=SC2046
    record "$spec" "$([[ $status -eq 0 ]] && echo pass || echo fail)" $(figures_of "$dir/log") "$cpu" \
        "${verdict:-}"
}
export -f one mesh_of
export out build vzhost root realdata

printf '%s\n' "${cases[@]}" | xargs -d '\n' -n 1 -P "${COSTSWEEP_JOBS:-1}" bash -c 'one "$1"' one

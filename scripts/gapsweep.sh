#!/usr/bin/env bash
# Runs the import job (examples/main-job-import.vzs) on the sheets and nets of
# scripts/gapnets.py and sets side by side, for each, the figures of how far
# its faces' Breps part: the commit's largest "Gap between faces" (0 when it
# printed none), the runner's `!edge-gaps` before the save and after the
# document is opened again (with the shared edges it found) and the true
# opening measured from the saved Breps' edges along the sides the faces
# share; with the
# seconds the runner's check took (the job's time with it less without it),
# the largest distance `!face-fits` printed and the job's verdict. Not part of
# the test command.
#
#   bash scripts/gapsweep.sh [CASE...]
#
# A case is LAYOUT[:NAME=VALUE,...], e.g. band:W=0.3,H=1.2 or slot:S=2; the
# default list holds slots, bands over steps, 2 x 2 cells over a step, strips
# across a step, small faces at a step, a face beside a step and the mixed
# face sizes, at scale 1 and some at x0.01 and x1000. GAPSWEEP_JOBS (2) runs
# that many at once; GAPSWEEP_HEAL (Yes) heals or not; GAPSWEEP_VZHOST runs
# another build's runner (the figures before a change). Prints one line a
# case; transcripts stay in $build/gapsweep/, with each case's record for
# scripts/baseline.sh (scripts/sweeprecord.sh) in record.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${MW_BUILD_DIR:-build/release}
cmake --build "$build" -j 3 --target vzhost netdraw >/dev/null
out=$root/$build/gapsweep
rm -rf "$out"
mkdir -p "$out"
heal=${GAPSWEEP_HEAL:-Yes}
vzhost=${GAPSWEEP_VZHOST:-$build/apps/vzhost}
source scripts/sweeprecord.sh
start_record "$out/record.txt"
sed -e "s/Heal=Yes/Heal=$heal/" -e 's|^_Open .*|&\n!edge-gaps 1|' examples/main-job-import.vzs >"$out/job.vzs"
sed '/^!edge-gaps/d' "$out/job.vzs" >"$out/job-unjudged.vzs"
cases=("$@")
if [[ ${#cases[@]} -eq 0 ]]; then
    cases=(slot:S=0.3 slot:S=2 slot:S=3 slot:S=5 slot:S=2,SCALE=0.01 slot:S=2,SCALE=1000
        band:W=0.2,H=0.3 band:W=0.3,H=0.6 band:W=0.3,H=1.2 band:W=0.4,H=1.2
        band:W=0.3,H=1.2,FACET=2 band:W=0.3,H=1.2,NOISE=0.02 band:W=0.3,H=1.2,SCALE=0.01
        band:W=0.3,H=1.2,AT=14 band:W=0.3,H=1.2,AT=14.3 band:W=0.2,H=0.6,AT=14
        band:W=0.4,H=1.2,AT=13.9 band:W=0.3,H=0.3,AT=14 band:W=0.4,H=1.2,AT=13.9,FACET=2
        band:W=0.4,H=1.2,AT=13.9,SCALE=0.01 band:W=0.4,H=1.2,AT=13.9,SCALE=1000
        grid2:H=1.0,AT=10 grid2:H=1.0,AT=15 grid2:H=1.0,AT=10,FACET=0.25
        strips:H=1.2 strips:H=0.6 strips:H=2.4 strips:H=1.2,SCALE=1000 strips:H=1.2,NOISE=0.02
        strips:H=1.2,AT=11.9 strips:H=1.2,AT=12.1 strips:H=3,AT=12.1
        small:H=0.5 small:H=1.0 offset:H=1.0
        mixed:W=10 mixed:W=40 mixed:W=160
        corner corner:N=3 corner:N=3,AT=14.5,H=0.5
        island island:BEND=3 island:H=1.0,AT=15 island:H=0.5,AT=11.8 island:H=0.3,AT=15,BEND=3
        island:STROKES=2,H=0.5,AT=12.2 island:N=2,H=0.5,AT=12.2 island:N=3,STROKES=2
        island:H=1.0,AT=15,SCALE=0.01 island:RAISE=0.15,STROKES=2
        nested:N=3 nested:N=3,STROKES=2 nested:N=2,H=0.5,AT=12.2 nested:N=3,BEND=3)
fi
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a - b }'; }

one() {
    local spec=$1 layout values name dir
    layout=${spec%%:*}
    values=()
    [[ "$spec" == *:* ]] && IFS=, read -ra values <<<"${spec#*:}"
    name=$(echo "$spec" | tr ':,=' '_-_')
    dir=$out/$name
    mkdir -p "$dir/diag" "$dir/bare"
    python3 scripts/gapnets.py "$layout" "$dir/case" "${values[@]}"
    local start end status=0
    start=$(date +%s.%N)
    FENWO_DIAGNOSTICS_DIR=$dir/diag timed "$dir/time" "$vzhost" --script "$out/job.vzs" \
        --define "MESH=$dir/case.stl" --define "NET=$dir/case.grid" --out "$dir" >"$dir/log" 2>&1 || status=$?
    end=$(date +%s.%N)
    local bare0 bare1
    bare0=$(date +%s.%N)
    FENWO_DIAGNOSTICS_DIR=$dir/diag "$vzhost" --script "$out/job-unjudged.vzs" \
        --define "MESH=$dir/case.stl" --define "NET=$dir/case.grid" --out "$dir/bare" >/dev/null 2>&1 || true
    bare1=$(date +%s.%N)
    local commit judged truth fits tol verdict
    commit=$(grep -o 'Gap between faces [0-9]* and [0-9]*: [0-9.e+-]*' "$dir/log" | head -1 | sed 's/.*: //')
    local reopened
    judged=$(grep -o "Largest gap between neighbouring Breps' shared edges: [0-9.e+-]* ([0-9]*" "$dir/log" |
        sed 's/.*: //; s/ (/\//' | head -1)
    reopened=$(grep -o "Largest gap between neighbouring Breps' shared edges: [0-9.e+-]* ([0-9]*" "$dir/log" |
        sed 's/.*: //; s/ (/\//' | sed -n 2p)
    tol=$(grep -o 'document tolerance [0-9.e+-]*' "$dir/log" | head -1 | sed 's/.* //')
    fits=$(grep -o 'largest distance [0-9.e+-]* from the mesh' "$dir/log" | awk '{ if ($3 > m) m = $3 } END { print m + 0 }')
    truth=n/a
    if [[ -f "$dir/main-job.vzd" ]]; then
        "$build/tests/netdraw" --edges "$dir/main-job.vzd" 200 >"$dir/edges.txt"
        python3 scripts/gapnets.py measure "$dir/edges.txt" "$layout" - "${values[@]}" >"$dir/openings.txt"
        truth=$(sed -n 's/^largest opening \([^ ]*\) .*/\1/p' "$dir/openings.txt")
    fi
    verdict=$(grep -o 'job.vzs: failed: .*' "$dir/log" | head -1 | cut -c18-170)
    printf '%-34s exit %d tol %-9s commit %-9s judge %-11s reopened %-11s true %-9s fits %-9s judge-s %s %s\n' \
        "$spec" "$status" "${tol:-?}" "${commit:-0}" "${judged:-?}" "${reopened:-?}" "$truth" "$fits" \
        "$(seconds "$(seconds "$end" "$start")" "$(seconds "$bare1" "$bare0")")" "${verdict:-}"
    record "$spec" "$([[ $status -eq 0 ]] && echo pass || echo fail)" "$fits" "${judged%/*}" \
        "$(cpu_of "$dir/time")" "${verdict:-}"
}
export -f one seconds
export out build vzhost
printf '%s\n' "${cases[@]}" | xargs -P "${GAPSWEEP_JOBS:-2}" -I{} bash -c 'one "$@"' _ {}

#!/usr/bin/env bash
# Runs the import job (examples/main-job-import.vzs) on the meshes and nets of
# scripts/featurenets.py and prints, for each, the job's CPU seconds, its peak
# resident memory, its exit code and the verdict (the cause the runner names
# last, or "pass"): a probe of how the fit, the heal and the commit's checks
# spend their time on features no smooth face follows. Not part of the test
# command: the tall plateaus take seconds each.
#
#   bash scripts/featuresweep.sh [CASE...]
#
# A case is FEATURE:HEIGHT:NET:CELLS:HALF as featurenets.py takes them, and
# after them any of its NAME=VALUE settings, each behind a colon, e.g.
# plateau:40:cross:100:8 or spike:20:grid:100:3:SLOPE=0.2:SCALE=100; the
# default list holds plateaus 5 to 40 tolerances high of half side 3 and 8
# (and 5 at 40) on the four triangles meeting at the centre, on meshes of 100
# and 200 cells a side. The case `under` stands for the features a face must
# be measured over: spikes, pits, ribs, a Gaussian bump and a fold on tilted
# and bent sheets, within a few tolerances of a free side, a shared side, an
# outer node and the inner node, a separate piece lying on the sheet with a
# spike on it, and some of them at x100. Each line also prints the largest
# distance from the mesh the runner's `!face-fits` printed (in tolerances,
# and the face), against the feature's height and its distance from the
# nearest side of its region as featurenets.py gives them.
# FEATURESWEEP_JOBS (2) runs that many at once; FEATURESWEEP_VZHOST runs
# another build's runner (the figures before a change; the runner is then not
# built). Transcripts stay in $build/featuresweep/ (FEATURESWEEP_OUT), with
# each case's record for scripts/baseline.sh (scripts/sweeprecord.sh) in
# record.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${MW_BUILD_DIR:-build/release}
if [[ -z ${FEATURESWEEP_VZHOST:-} ]]; then
    [[ -f "$build/CMakeCache.txt" ]] ||
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=OFF -DMW_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" -j 3 --target vzhost >/dev/null
fi
out=${FEATURESWEEP_OUT:-$root/$build/featuresweep}
rm -rf "$out"
mkdir -p "$out"
vzhost=${FEATURESWEEP_VZHOST:-$build/apps/vzhost}
source scripts/sweeprecord.sh
start_record "$out/record.txt"
cases=()
for spec in "$@"; do
    if [[ $spec != under ]]; then
        cases+=("$spec")
        continue
    fi
    for tilt in SLOPE=0.1 SLOPE=0.2 SLOPE=0.3 BEND=0.05 BEND=0.5; do
        cases+=("spike:20:grid:100:3:$tilt")
    done
    cases+=("pit:20:grid:100:3:SLOPE=0.2" "rib:20:grid:100:3:BEND=0.05"
        "gauss:12.8:grid:100:3:SLOPE=0.1" "gauss:12.8:grid:100:3" "fold:5.2:grid:100:3"
        "fold:5.2:grid:100:3:SLOPE=0.2")
    # Beside a free side, a shared side, an outer node and the inner node,
    # the sides moved half a cell off the mesh's vertices (1.8 tolerances
    # from the feature), on a plane and a tilted one.
    for feature in spike pit rib; do
        cases+=("$feature:20:grid:100:3:AT=31,40:SHIFT=0.5,0" "$feature:20:grid:100:3:AT=49,40:SHIFT=-0.5,0")
    done
    cases+=("spike:20:grid:100:3:AT=31,31:SHIFT=0.5,0.5" "spike:20:grid:100:3:AT=49,49:SHIFT=-0.5,-0.5"
        "spike:20:grid:100:3:AT=31,40" "spike:20:grid:200:3:AT=30.5,40"
        "spike:20:grid:100:3:AT=49,40:SHIFT=-0.5,0:SLOPE=0.2" "pit:20:grid:100:3:AT=31,31:SHIFT=0.5,0.5")
    cases+=("piece:20:grid:100:3" "piece:20:grid:100:3:GAP=0" "piece:20:grid:100:3:SLOPE=0.2"
        "flat:0:grid:100:3" "flat:0:grid:100:3:SLOPE=0.2" "flat:0:grid:100:3:BEND=0.5")
    for scaled in spike:20:grid:100:3:SLOPE=0.2 spike:20:grid:100:3:AT=31,40:SHIFT=0.5,0 \
        rib:20:grid:100:3:AT=49,40:SHIFT=-0.5,0 gauss:12.8:grid:100:3 fold:5.2:grid:100:3 \
        piece:20:grid:100:3 flat:0:grid:100:3; do
        cases+=("$scaled:SCALE=100")
    done
done
if [[ ${#cases[@]} -eq 0 ]]; then
    for cells in 100 200; do
        for height in 5 10 20 40; do
            cases+=("plateau:$height:cross:$cells:3" "plateau:$height:cross:$cells:8")
        done
        cases+=("plateau:40:cross:$cells:5")
    done
fi

one() {
    local spec=$1 feature height net cells half settings dir status=0 made
    IFS=: read -r feature height net cells half settings <<<"$spec"
    dir=$out/${spec//[:=,]/_}
    mkdir -p "$dir/diag"
    made=$(python3 scripts/featurenets.py "$feature" "$height" "$net" "$dir" "$cells" "$half" \
        ${settings//:/ })
    FENWO_DIAGNOSTICS_DIR=$dir/diag /usr/bin/time -v -o "$dir/time" "$vzhost" \
        --script examples/main-job-import.vzs --define "MESH=$dir/mesh.stl" \
        --define "NET=$dir/net.grid" --out "$dir" >"$dir/log" 2>&1 || status=$?
    local user system rss verdict
    user=$(sed -n 's/.*User time (seconds): //p' "$dir/time")
    system=$(sed -n 's/.*System time (seconds): //p' "$dir/time")
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time")
    # The runner's judge of the faces' distances where it failed, else the
    # cause the job names last.
    verdict=$(sed -n 's|^examples/main-job-import.vzs:[0-9]*: \(!face-fits: .*\)|\1|p' "$dir/log" | tail -1)
    [[ -n $verdict ]] ||
        verdict=$(sed -n 's|^examples/main-job-import.vzs: failed: ||p' "$dir/log" | tail -1)
    verdict=$(cut -c1-150 <<<"$verdict")
    # The largest distance `!face-fits` printed, in tolerances, and its face.
    local printed
    printed=$(awk '/^Face [0-9]+ fit to [^:]*:.*largest distance [^ ]+ from the mesh/ {
            t = $5; sub(/:$/, "", t); d = $0; sub(/.*largest distance /, "", d); sub(/ .*/, "", d)
            if (t > 0 && d / t > best) { best = d / t; face = $2 } }
        END { if (face) printf "%.3g (face %s)", best, face; else printf "-" }' "$dir/log")
    printf '%-52s cpu %7.2f s  rss %4d MB  exit %d  printed %-16s feature %-5s side %-5s %s\n' \
        "$spec" "$(awk -v a="$user" -v b="$system" 'BEGIN { print a + b }')" "$((rss / 1024))" \
        "$status" "$printed" "$(sed -n 's/.*height \([^ ]*\) tolerances.*/\1/p' <<<"$made")" \
        "$(sed -n 's/.*, \([^ ]*\) from a side/\1/p' <<<"$made")" "${verdict:-pass}"
    # shellcheck disable=SC2046
    record "$spec" "$([[ $status -eq 0 ]] && echo pass || echo fail)" $(figures_of "$dir/log") \
        "$(awk -v a="$user" -v b="$system" 'BEGIN { printf "%.2f", a + b }')" "${verdict:-}"
}
export -f one
export out vzhost

printf '%s\n' "${cases[@]}" | xargs -d '\n' -n 1 -P "${FEATURESWEEP_JOBS:-2}" bash -c 'one "$1"' one

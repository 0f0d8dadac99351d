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
# A case is FEATURE:HEIGHT:NET:CELLS:HALF as featurenets.py takes them, e.g.
# plateau:40:cross:100:8; the default list holds plateaus 5 to 40 tolerances
# high of half side 3 and 8 (and 5 at 40) on the four triangles meeting at
# the centre, on meshes of 100 and 200 cells a side. FEATURESWEEP_JOBS (2) runs
# that many at once; FEATURESWEEP_VZHOST runs another build's runner (the
# figures before a change). Transcripts stay in $build/featuresweep/, with
# each case's record for scripts/baseline.sh (scripts/sweeprecord.sh) in
# record.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${MW_BUILD_DIR:-build/release}
[[ -f "$build/CMakeCache.txt" ]] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=OFF -DMW_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 3 --target vzhost >/dev/null
out=$root/$build/featuresweep
rm -rf "$out"
mkdir -p "$out"
vzhost=${FEATURESWEEP_VZHOST:-$build/apps/vzhost}
source scripts/sweeprecord.sh
start_record "$out/record.txt"
cases=("$@")
if [[ ${#cases[@]} -eq 0 ]]; then
    for cells in 100 200; do
        for height in 5 10 20 40; do
            cases+=("plateau:$height:cross:$cells:3" "plateau:$height:cross:$cells:8")
        done
        cases+=("plateau:40:cross:$cells:5")
    done
fi

one() {
    local spec=$1 feature height net cells half dir status=0
    IFS=: read -r feature height net cells half <<<"$spec"
    dir=$out/${spec//:/_}
    mkdir -p "$dir/diag"
    python3 scripts/featurenets.py "$feature" "$height" "$net" "$dir" "$cells" "$half" >/dev/null
    FENWO_DIAGNOSTICS_DIR=$dir/diag /usr/bin/time -v -o "$dir/time" "$vzhost" \
        --script examples/main-job-import.vzs --define "MESH=$dir/mesh.stl" \
        --define "NET=$dir/net.grid" --out "$dir" >"$dir/log" 2>&1 || status=$?
    local user system rss verdict
    user=$(sed -n 's/.*User time (seconds): //p' "$dir/time")
    system=$(sed -n 's/.*System time (seconds): //p' "$dir/time")
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time")
    verdict=$(sed -n 's|^examples/main-job-import.vzs: failed: ||p' "$dir/log" | tail -1 | cut -c1-150)
    printf '%-26s cpu %7.2f s  rss %4d MB  exit %d  %s\n' "$spec" \
        "$(awk -v a="$user" -v b="$system" 'BEGIN { print a + b }')" "$((rss / 1024))" "$status" \
        "${verdict:-pass}"
    # shellcheck disable=SC2046
    record "$spec" "$([[ $status -eq 0 ]] && echo pass || echo fail)" $(figures_of "$dir/log") \
        "$(awk -v a="$user" -v b="$system" 'BEGIN { printf "%.2f", a + b }')" "${verdict:-}"
}
export -f one
export out vzhost

printf '%s\n' "${cases[@]}" | xargs -d '\n' -n 1 -P "${FEATURESWEEP_JOBS:-2}" bash -c 'one "$1"' one

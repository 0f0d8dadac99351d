#!/usr/bin/env bash
# Runs the import job (examples/main-job-import.vzs) healed and unhealed on
# nets of square cells on wavy plates (scripts/gapnets.py, layout wave) and
# prints, for each case, the verdict of both runs, the largest gap between the
# Breps' shared edges before and after the heal (in document tolerances), how
# far the faces lie from the mesh unhealed (their fits) and healed (in fit
# tolerances, face by face), the largest growth, the heals the commit undid
# and how far the Breps' edges lie from their regions' sides unhealed and
# healed (in fit tolerances, as the commit's check measures them). Not part
# of the test command: it takes long.
#
#   bash scripts/wavesweep.sh [CASE...]
#
#   WAVESWEEP_CASES=plates bash scripts/wavesweep.sh
#
# A case is N:WAVE:AMP:FACET:SCALE[:SEG[:SHIFT[:NOISE[:SEED]]]], e.g.
# 2:20:2:0.5:1, a net of N x N cells (15 units for N = 2, 10 otherwise) on a
# plate waving AMP up and down every WAVE (AMP 0: a flat plate), in facets of
# FACET (the job fits at about 0.25), every length times SCALE, the
# poly-lines' points SEG apart (1; a cell's width gives them their junctions
# alone, and their curves cut through the waves between them), the waves'
# crests moved SHIFT across the rows and every height moved by up to NOISE
# document tolerances (0), seeded by SEED (1). The default list holds nets of
# 2 x 2 and 4 x 4 cells on plates of long (45) and short (20) waves, in
# facets of 0.5, 1 and 2 tolerances, at x0.01, x0.1, x1, x2, x10 and x100;
# and nets of junctions alone on the short waves, their middle row level or
# along the crests, in facets of 1 and 2 tolerances at x0.01, x1 and x100
# (WAVESWEEP_FACETS and WAVESWEEP_SCALES replace the facets and scales of
# the first). WAVESWEEP_CASES=plates runs instead the heal's plates: nets of
# 2 x 2 to 4 x 4 cells on flat plates and on long and short waves, their
# points 1 and a cell's width apart, at x0.01 to x1000 (where the fit's
# tolerance, held to the options' entries, lies far from the document's),
# and on flat plates and long waves with noise of 0.3 to 0.6 tolerances, two
# seeds each. WAVESWEEP_JOBS (2) runs that many at once; WAVESWEEP_VZHOST
# runs another build's runner (the figures before a change). Transcripts
# stay in $build/wavesweep/ (WAVESWEEP_OUT elsewhere), with the record of
# each case's healed and unhealed run (SPEC/healed, SPEC/unhealed) for
# scripts/baseline.sh (scripts/sweeprecord.sh) in record.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${MW_BUILD_DIR:-build/release}
[[ -f "$build/CMakeCache.txt" ]] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=OFF -DMW_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 3 --target vzhost >/dev/null
out=${WAVESWEEP_OUT:-$root/$build/wavesweep}
rm -rf "$out"
mkdir -p "$out"
vzhost=${WAVESWEEP_VZHOST:-$build/apps/vzhost}
source scripts/sweeprecord.sh
start_record "$out/record.txt"
sed 's/Heal=Yes/Heal=No/' examples/main-job-import.vzs >"$out/unhealed.vzs"
cases=("$@")
if [[ ${#cases[@]} -eq 0 && ${WAVESWEEP_CASES:-} == plates ]]; then
    for n in 2 3 4; do
        cell=$([[ $n -eq 2 ]] && echo 15 || echo 10)
        for plate in 45:0 45:4 20:2; do
            for scale in 0.01 0.1 1 10 100 1000; do
                cases+=("$n:$plate:0.5:$scale" "$n:$plate:0.5:$scale:$cell")
            done
        done
        for plate in 45:0 45:4; do
            for noise in 0.3 0.4 0.5 0.6; do
                cases+=("$n:$plate:0.5:1:1:0:$noise:1" "$n:$plate:0.5:1:1:0:$noise:2")
            done
        done
    done
elif [[ ${#cases[@]} -eq 0 ]]; then
    for n in 2 4; do
        for wave in 45:4 20:2; do
            for facet in ${WAVESWEEP_FACETS:-0.125 0.25 0.5}; do
                for scale in ${WAVESWEEP_SCALES:-0.01 0.1 1 2 10 100}; do
                    cases+=("$n:$wave:$facet:$scale")
                done
            done
        done
        for shift in 0 5; do
            for facet in 0.25 0.5; do
                for scale in 0.01 1 100; do
                    cases+=("$n:20:2:$facet:$scale:$([[ $n -eq 2 ]] && echo 15 || echo 10):$shift")
                done
            done
        done
    done
fi

one() {
    local spec=$1 n wave amp facet scale seg shift noise seed cell dir
    IFS=: read -r n wave amp facet scale seg shift noise seed <<<"$spec"
    cell=$([[ $n -eq 2 ]] && echo 15 || echo 10)
    dir=$out/${spec//:/_}
    mkdir -p "$dir"
    # The document's tolerance at x1: 1/500 of the plate's diagonal.
    noise=$(awk -v k="${noise:-0}" -v a="$amp" 'BEGIN { print k * sqrt(100^2 + 70^2 + 4 * a^2) / 500 }')
    python3 scripts/gapnets.py wave "$dir/case" N="$n" CELL="$cell" WAVE="$wave" AMP="$amp" \
        FACET="$facet" SCALE="$scale" SEG="${seg:-1}" SHIFT="${shift:-0}" NOISE="$noise" SEED="${seed:-1}"
    local healed=0 unhealed=0
    timed "$dir/healed.time" "$vzhost" --script examples/main-job-import.vzs --define "MESH=$dir/case.stl" \
        --define "NET=$dir/case.grid" --out "$dir/healed" >"$dir/healed.log" 2>&1 || healed=$?
    timed "$dir/unhealed.time" "$vzhost" --script "$out/unhealed.vzs" --define "MESH=$dir/case.stl" \
        --define "NET=$dir/case.grid" --out "$dir/unhealed" >"$dir/unhealed.log" 2>&1 || unhealed=$?
    rm -rf "$dir/healed" "$dir/unhealed" "$dir/case.stl"
    local run status
    for run in healed unhealed; do
        status=$([[ $run == healed ]] && echo "$healed" || echo "$unhealed")
        # shellcheck disable=SC2046
        record "$spec/$run" "$([[ $status -eq 0 ]] && echo pass || echo fail)" \
            $(figures_of "$dir/$run.log") "$(cpu_of "$dir/$run.time")" \
            "$(sed -n 's|^.*\.vzs: failed: ||p' "$dir/$run.log" | tail -1)"
    done
    python3 - "$spec" "$healed" "$unhealed" "$dir/healed.log" "$dir/unhealed.log" <<'EOF'
import re
import sys

spec, healed, unhealed = sys.argv[1:4]
logs = [open(path, errors="replace").read() for path in sys.argv[4:6]]


def figure(pattern, text, default=float("nan")):
    m = re.search(pattern, text)
    return float(m.group(1)) if m else default


tolerance = figure(r"fit to ([0-9.e+-]+)", logs[0])
document = figure(r"document tolerance ([0-9.e+-]+)", logs[0])
gaps = [figure(r"shared edges: ([0-9.e+-]+)", log) / document for log in logs]
distances = [[float(d) / tolerance for d in re.findall(r"largest distance ([0-9.e+-]+) from the mesh", log)]
             for log in logs]
grown = max((h - f for h, f in zip(distances[0], distances[1])), default=float("nan"))
sides = [figure(r"Brep edges from their regions' sides: ([0-9.e+-]+)", log) / tolerance for log in logs]
undone = len(re.findall("Heal undone", logs[0]))
failed = re.search(r"main-job-import.vzs: failed: (.*)", logs[0])
print("%-18s exit %s/%s gap %.2f -> %.2f  fits %s  healed %s  grown %+.2f  undone %d  sides %.2f -> %.2f%s" % (
    spec, healed, unhealed, gaps[1], gaps[0], " ".join("%.2f" % d for d in distances[1]),
    " ".join("%.2f" % d for d in distances[0]), grown, undone, sides[1], sides[0],
    "  " + failed.group(1)[:120] if failed else ""))
EOF
}
export -f one
export out vzhost
printf '%s\n' "${cases[@]}" | xargs -P "${WAVESWEEP_JOBS:-2}" -I{} bash -c 'one "$@"' _ {} | sort -V

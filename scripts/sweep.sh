#!/usr/bin/env bash
# Runs the main job (examples/main-job.vzs) on meshes with the net's square
# sought at several view directions and zooms, and checks each run: four
# faces committed, four edges on each Brep, no "Heal failed", no "failed to
# relocate", the largest gap between shared edges within the document's
# tolerance, and exit code 0. A run that finds no square to draw on (exit
# code 3), or a mesh file that gives no facet (exit code 1 on "No facets
# have been imported"), is counted apart. Not part of the test command: it
# takes long.
#
#   bash scripts/sweep.sh [MESH...]
#
# Without meshes: examples/bump.stl and every mesh file of ../shared/realdata.
# SWEEP_LOOKS and SWEEP_ZOOMS replace the view directions (x,y,z towards the
# camera; 0,0,0 is the view as the mesh is loaded) and zooms; SWEEP_SCALES
# (1) the factors each mesh is scaled by (0.1, or 0.001 for a model in
# millimetres given in metres: a scaled copy is written as binary STL into
# the sweep's folder by the netdraw tool of $MW_TOOLS_BUILD_DIR); SWEEP_JOBS
# runs that many jobs at once (2); SWEEP_VZHOST runs another build's runner
# (the verdicts before a change); SWEEP_CASES runs only the runs named (as
# the lines name them). Prints one line per run (a failing one ends with the
# cause the runner names) and a summary; exits 1 when a run failed. The
# transcripts stay in $build/sweep/, with each run's record for
# scripts/baseline.sh (scripts/sweeprecord.sh) in record.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
looks=${SWEEP_LOOKS:-"0,0,0 1,0,0 -1,0,0 0,1,0 0,-1,0 0,0,1 0,0,-1 1,1,1 -1,1,1 1,-1,1 -1,-1,1 1,1,-1 -1,1,-1 1,-1,-1 -1,-1,-1"}
zooms=${SWEEP_ZOOMS:-"1 3"}
scales=${SWEEP_SCALES:-1}
jobs=${SWEEP_JOBS:-2}
meshes=("$@")
if [[ ${#meshes[@]} -eq 0 ]]; then
    meshes=("$root/examples/bump.stl")
    realdata=$root/../shared/realdata
    [[ -d "$realdata" ]] || realdata=$root/../../shared/realdata
    for file in "$realdata"/{stl,vrml,nastran}/*; do
        [[ -f "$file" ]] && meshes+=("$(cd "$(dirname "$file")" && pwd)/$(basename "$file")")
    done
fi
bash scripts/deps.sh
build=${MW_BUILD_DIR:-build/release}
[[ -f "$build/CMakeCache.txt" ]] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=OFF -DMW_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target vzhost >/dev/null
vzhost=${SWEEP_VZHOST:-$build/apps/vzhost}
out=$root/$build/sweep
rm -rf "$out"
mkdir -p "$out"
source scripts/sweeprecord.sh
start_record "$out/record.txt"
# The scaled copies of the meshes.
if [[ "$scales" != 1 ]]; then
    tools=${MW_TOOLS_BUILD_DIR:-build/tools}
    [[ -f "$tools/CMakeCache.txt" ]] ||
        cmake -S . -B "$tools" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=ON -DMW_BUILD_BENCH=OFF >/dev/null
    cmake --build "$tools" -j "$(nproc)" --target netdraw >/dev/null
    mkdir -p "$out/meshes"
    scaled=()
    for mesh in "${meshes[@]}"; do
        for scale in $scales; do
            if [[ "$scale" == 1 ]]; then
                scaled+=("$mesh")
                continue
            fi
            copy=$out/meshes/$(basename "${mesh%.*}")_x$scale.stl
            # netdraw writes the scaled copy before it looks for a spot.
            "$tools/tests/netdraw" "$mesh" 2 lines 0,0,1 /dev/null "$scale" "$copy" >/dev/null 2>&1 || true
            if [[ -f "$copy" ]]; then
                scaled+=("$copy")
            else
                echo "$(basename "$mesh") x$scale: no facets read" >&2
            fi
        done
    done
    meshes=("${scaled[@]}")
fi

# One run: its verdict in one line.
run() {
    local mesh=$1 look=$2 zoom=$3
    local name
    name=$(basename "$mesh")_${look//,/_}_$zoom
    wanted "$name" || return 0
    local dir=$out/$name
    mkdir -p "$dir/diagnostics"
    case "${mesh,,}" in
    *.bdf | *.blk | *.dat)
        ln -s "$mesh" "$dir/$(basename "${mesh%.*}").nas"
        mesh=$dir/$(basename "${mesh%.*}").nas
        ;;
    esac
    local status=0
    FENWO_DIAGNOSTICS_DIR=$dir/diagnostics timed "$dir.time" "$vzhost" --script examples/main-job.vzs \
        --define "MESH=$mesh" --define "LOOK=$look" --define "ZOOM=$zoom" --out "$dir" \
        >"$dir.log" 2>&1 || status=$?
    rm -rf "$dir"
    local what=() cpu distance largest
    cpu=$(cpu_of "$dir.time")
    read -r distance largest < <(figures_of "$dir.log")
    if [[ $status -eq 3 ]]; then
        echo "$name: no region"
        record "$name" none - - "$cpu" no region
        return
    fi
    # A file that gives no facet fails the job on its first command, as it
    # should; it is no verdict on the system's surfaces.
    if [[ $status -eq 1 ]] && grep -q "No facets have been imported from" "$dir.log"; then
        echo "$name: no facets"
        record "$name" none - - "$cpu" no facets
        return
    fi
    grep -q "^Converted 4 Surfaces" "$dir.log" || what+=("not four faces")
    grep -q "^Edges per Brep: 4 4 4 4$" "$dir.log" || what+=("$(grep -m1 '^Edges per Brep' "$dir.log" || echo 'no Breps')")
    grep -q "Heal failed" "$dir.log" && what+=("Heal failed")
    grep -q "failed to relocate" "$dir.log" && what+=("failed to relocate")
    local gap tolerance
    gap=$(sed -n "s/^Largest gap between neighbouring Breps' shared edges: \([^ ]*\) .*/\1/p" "$dir.log" | head -1)
    tolerance=$(sed -n 's/.*document tolerance \([^)]*\)).*/\1/p' "$dir.log" | head -1)
    if [[ -n "$gap" && -n "$tolerance" ]] && awk "BEGIN { exit !($gap > $tolerance) }"; then
        what+=("gap $gap above $tolerance")
    fi
    [[ $status -eq 0 ]] || what+=("exit $status: $(grep -m1 -E '^examples/main-job.vzs:[0-9]+: ' "$dir.log" || true)")
    # The runner's last line: the face, heal or document that failed and
    # why, as printed before the checks failed.
    local cause
    cause=$(sed -n 's|^examples/main-job.vzs: failed: ||p' "$dir.log" | tail -1)
    [[ $status -eq 0 || -z "$cause" ]] || what+=("cause: $cause")
    if [[ ${#what[@]} -eq 0 ]]; then
        echo "$name: pass (gap $gap, tolerance $tolerance)"
        record "$name" pass "$distance" "$largest" "$cpu"
    else
        local IFS=';'
        echo "$name: FAIL ${what[*]}"
        record "$name" fail "$distance" "$largest" "$cpu" "${what[*]}"
    fi
}
export -f run
export out build vzhost

for mesh in "${meshes[@]}"; do
    for look in $looks; do
        for zoom in $zooms; do
            printf '%s\n%s\n%s\n' "$mesh" "$look" "$zoom"
        done
    done
done | xargs -d '\n' -n 3 -P "$jobs" bash -c 'run "$@"' run | tee "$out/verdicts.txt"
total=$(wc -l <"$out/verdicts.txt")
passed=$(grep -c ': pass' "$out/verdicts.txt" || true)
none=$(grep -c ': no region' "$out/verdicts.txt" || true)
empty=$(grep -c ': no facets' "$out/verdicts.txt" || true)
failed=$(grep -c ': FAIL' "$out/verdicts.txt" || true)
echo "$total runs: $passed pass, $none no region, $empty no facets, $failed fail (transcripts in $out)"
[[ $failed -eq 0 ]]

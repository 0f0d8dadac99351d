#!/usr/bin/env bash
# Runs the import job (examples/main-job-import.vzs) on nets as users draw
# them: for each mesh, net size and drawing style (tests/support/NetDrawings.h:
# one poly-line per row and column, strokes, reversed, a long row among
# strokes, a side or a row left out, a T-junction as lines and as strokes, a
# diagonal, a lasso and the lasso's points as separate poly-lines, a block of
# cells drawn as one region of many corners, and in the middle cell a spur, a
# spur with a branch, a ring drawn as one stroke and one drawn as two, a
# figure-eight, a ring at the end of a spur drawn as one stroke and as two, a
# ring touching the cell's side drawn as one stroke and as two, a net of 2 x 2
# cells, a ring across a line of the net and one through two of its nodes),
# with the heal and without it. Each run is checked: every
# region found as a face, each Brep with one edge a side of its face (the
# sides of the regions it leaves out included), no failed heal, every gap
# within the document's tolerance, exit code 0. Not part of the test
# command: it takes long.
#
#   bash scripts/netsweep.sh [MESH...]
#
# NETSWEEP_SHAPES adds generated meshes of one shape from coarse to fine
# (tests/support/TestMeshes.h: shapeSoup), as NAME:FACET entries, FACET the
# facets' size in the tolerance the job fits them at (0.25 on the bump, the
# ellipsoid, the wave and the steps, 0.05 on the arch, a sheet bent by 3):
# "bump:25 bump:10 bump:2 ellipsoid:10" draws the same nets on the bump in
# facets of 6.25, 2.5 and 0.5 and on the ellipsoid in facets of 2.5.
#
# NETSWEEP_SIZES (2 3 4 5), NETSWEEP_STYLES (all), NETSWEEP_LOOKS (0,0,1),
# NETSWEEP_HEALS (Yes No), NETSWEEP_SCALES (1: the mesh as it is; 0.001 adds
# the mesh in metres), NETSWEEP_JITTER (0: the net's points on a regular
# lattice; 0.25 moves each by up to a quarter step each way, as users place
# them), NETSWEEP_SEEDS (1: the seeds of the jittered nets, one net each),
# NETSWEEP_SPACINGS (even: the lattice evenly spaced; each other word is
# COLUMNS:ROWS, the places of the lattice's lines as fractions of the
# window, as netdraw takes them: 0,0.1,0.6:0,0.5,1 with size 2 and style
# missing-row is a strip beside a face five times as wide),
# NETSWEEP_DRAW (drawing options of tools/netdraw for the strokes, one set
# per ';': how strokes meet their junctions, e.g. "--ends overshoot
# --distance 0.59 --points 10 --wobble 0.02;--ends tail --distance 3
# --where border;--ends hook --distance 2 --points 3", or the net turned,
# "--turn 30"; empty by default) and
# NETSWEEP_JOBS (2) set the sweep; NETSWEEP_VZHOST runs another build's
# runner (the verdicts before a change) and SWEEP_CASES only the runs named
# (as the lines name them). Prints one line per run and a summary; exits 1
# when a run failed. Transcripts stay in $build/netsweep/, with each run's
# record for scripts/baseline.sh (scripts/sweeprecord.sh) in record.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
sizes=${NETSWEEP_SIZES:-"2 3 4 5"}
styles=${NETSWEEP_STYLES:-"lines strokes reversed mixed-row missing-side missing-row tee-lines tee-strokes diagonal lasso lasso-split big-region spur y-spur ring ring-strokes figure-eight lollipop lollipop-strokes island island-strokes grid-in-face ring-across ring-through"}
looks=${NETSWEEP_LOOKS:-"0,0,1"}
heals=${NETSWEEP_HEALS:-"Yes No"}
scales=${NETSWEEP_SCALES:-"1"}
jitter=${NETSWEEP_JITTER:-0}
seeds=${NETSWEEP_SEEDS:-"1"}
spacings=${NETSWEEP_SPACINGS:-even}
draws=${NETSWEEP_DRAW:-""}
awk "BEGIN { exit !($jitter > 0) }" || seeds=1
jobs=${NETSWEEP_JOBS:-2}
meshes=("$@")
shapes=${NETSWEEP_SHAPES:-}
[[ ${#meshes[@]} -gt 0 || -n "$shapes" ]] || meshes=("$root/examples/bump.stl")
bash scripts/deps.sh
build=${MW_TOOLS_BUILD_DIR:-build/tools}
[[ -f "$build/CMakeCache.txt" ]] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=ON -DMW_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${NETSWEEP_BUILD_JOBS:-$(nproc)}" --target vzhost netdraw >/dev/null
vzhost=${NETSWEEP_VZHOST:-$build/apps/vzhost}
out=$root/$build/netsweep
rm -rf "$out"
mkdir -p "$out"
source scripts/sweeprecord.sh
start_record "$out/record.txt"
for shape in $shapes; do
    name=${shape%%:*}
    facet=${shape#*:}
    file=$out/shape-$name-$facet.stl
    "$build/tests/netdraw" --shape "$name" "$(awk "BEGIN { print $facet * (\"$name\" == \"arch\" ? 0.05 : 0.25) }")" "$file" >/dev/null
    meshes+=("$file")
done
sed 's/Heal=Yes/Heal=No/' examples/main-job-import.vzs >"$out/main-job-import-no-heal.vzs"

# One run: its verdict in one line.
run() {
    local mesh=$1 scale=$2 look=$3 n=$4 style=$5 heal=$6 jitter=$7 seed=$8 spacing=$9 draw=${10}
    local name uneven=()
    name=$(basename "$mesh")_x${scale}_${look//,/_}_${n}_${style}
    if [[ "$spacing" != even ]]; then
        name+=_c${spacing%%:*}_r${spacing#*:}
        uneven+=(--columns "${spacing%%:*}" --rows "${spacing#*:}")
    fi
    if awk "BEGIN { exit !($jitter > 0) }"; then
        name+=_j${jitter}_s${seed}
        uneven+=(--jitter "$jitter" --seed "$seed")
    fi
    if [[ -n "$draw" ]]; then
        read -r -a shaped <<<"$draw"
        uneven+=("${shaped[@]}")
        name+=_$(tr -d ' -' <<<"$draw")
    fi
    name+=_heal${heal}
    wanted "$name" || return 0
    local dir=$out/$name
    mkdir -p "$dir/diagnostics"
    local drawn faces
    if [[ "$scale" == 1 ]]; then
        drawn=$("$build/tests/netdraw" "${uneven[@]}" "$mesh" "$n" "$style" "$look" "$dir/net.grid" 2>&1) || {
            echo "$name: no spot (${drawn})"
            record "$name" none - - - no spot
            return
        }
    else
        drawn=$("$build/tests/netdraw" "${uneven[@]}" "$mesh" "$n" "$style" "$look" "$dir/net.grid" "$scale" "$dir/mesh.stl" 2>&1) || {
            echo "$name: no spot (${drawn})"
            record "$name" none - - - no spot
            return
        }
        mesh=$dir/mesh.stl
    fi
    faces=$(sed -n 's/^faces \([0-9]*\).*/\1/p' <<<"$drawn")
    local script=examples/main-job-import.vzs
    [[ "$heal" == Yes ]] || script=$out/main-job-import-no-heal.vzs
    local status=0 TIMEFORMAT=%U+%S cpu
    # The job's processor time in seconds, user and system.
    cpu=$( { time FENWO_DIAGNOSTICS_DIR=$dir/diagnostics "$vzhost" --script "$script" \
        --define "MESH=$mesh" --define "NET=$dir/net.grid" --out "$dir" >"$dir.log" 2>&1; } 2>&1) ||
        status=$?
    [[ $status -eq 0 ]] || cpu=$(tail -1 <<<"$cpu")
    cpu=$(awk "BEGIN { printf \"%.1f\", $cpu }" 2>/dev/null || echo "?")
    cp "$dir/net.grid" "$dir.grid"
    rm -rf "$dir"
    local what=()
    grep -q "^model has $faces loops" "$dir.log" ||
        what+=("$(grep -m1 -o 'model has [0-9]* loops' "$dir.log" || echo 'no loops') of $faces regions")
    local edges sides
    edges=$(grep -m1 '^Edges per Brep:' "$dir.log" | sed 's/^Edges per Brep: *//' || true)
    sides=$(grep -m1 '^Sides per Brep:' "$dir.log" | sed 's/^Sides per Brep: *//' || true)
    [[ -n "$edges" && "$edges" == "$sides" ]] || what+=("edges [$edges] sides [$sides]")
    grep -q "has no surface" "$dir.log" && what+=("$(grep -c 'has no surface' "$dir.log") no surface")
    grep -q "Heal failed" "$dir.log" && what+=("Heal failed")
    grep -q "^Gap between faces" "$dir.log" && what+=("$(grep -m1 '^Gap between faces' "$dir.log")")
    local gap tolerance
    gap=$(sed -n "s/^Largest gap between neighbouring Breps' shared edges: \([^ ]*\) .*/\1/p" "$dir.log" | head -1)
    tolerance=$(sed -n 's/.*document tolerance \([^)]*\)).*/\1/p' "$dir.log" | head -1)
    if [[ -n "$gap" && -n "$tolerance" ]] && awk "BEGIN { exit !($gap > $tolerance) }"; then
        what+=("gap $gap above $tolerance")
    fi
    local cause
    cause=$(sed -n 's|^.*main-job-import[-a-z]*.vzs: failed: ||p' "$dir.log" | tail -1)
    [[ $status -eq 0 ]] || what+=("exit $status${cause:+: $cause}")
    # The largest distance of the fits' own error points (what the job
    # printed as a face's largest distance before it measured the Breps),
    # and the largest of the Breps as committed, measured both ways.
    local fits breps
    fits=$(sed -n 's/^Face [0-9]* fit to [^:]*: n=[0-9]* in \[[^,]*,\([^]]*\)\].*/\1/p' "$dir.log" |
        sort -g | tail -1)
    breps=$(sed -n 's/.*; largest distance \([^ ]*\) from the mesh.*/\1/p' "$dir.log" | sort -g | tail -1)
    local distances="fits ${fits:-?}, Breps ${breps:-?}"
    # Faces whose heal the commit's judge took back.
    local undone
    undone=$(grep -c '^Heal undone on face' "$dir.log" || true)
    distances+="; heals undone $undone"
    if [[ ${#what[@]} -eq 0 ]]; then
        echo "$name: pass (gap $gap, tolerance $tolerance, cpu ${cpu}s; largest distance from the mesh: $distances)"
        record "$name" pass "$breps" "$gap" "$cpu"
    else
        local IFS=';'
        echo "$name: FAIL ${what[*]} (cpu ${cpu}s; largest distance from the mesh: $distances)"
        record "$name" fail "$breps" "$gap" "$cpu" "${what[*]}"
    fi
}
export -f run
export out build vzhost

for mesh in "${meshes[@]}"; do
    mesh=$(cd "$(dirname "$mesh")" && pwd)/$(basename "$mesh")
    for scale in $scales; do
        for look in $looks; do
            for n in $sizes; do
                for style in $styles; do
                    for seed in $seeds; do
                        for spacing in $spacings; do
                            while IFS= read -r draw; do
                                for heal in $heals; do
                                    printf '%s\n%s\n%s\n%s\n%s\n%s\n%s\n%s\n%s\n%s\n' "$mesh" "$scale" \
                                        "$look" "$n" "$style" "$heal" "$jitter" "$seed" "$spacing" "$draw"
                                done
                            done < <(tr ';' '\n' <<<"$draws")
                        done
                    done
                done
            done
        done
    done
done | xargs -d '\n' -n 10 -P "$jobs" bash -c 'run "$@"' run | tee "$out/verdicts.txt"
total=$(wc -l <"$out/verdicts.txt")
passed=$(grep -c ': pass' "$out/verdicts.txt" || true)
none=$(grep -c ': no spot' "$out/verdicts.txt" || true)
failed=$(grep -c ': FAIL' "$out/verdicts.txt" || true)
echo "$total runs: $passed pass, $none no smooth spot, $failed fail (transcripts in $out)"
# The failures by kind (a run may fail several ways).
kind() { grep ': FAIL' "$out/verdicts.txt" | grep -c -- "$1" || true; }
echo "failed runs with: lost faces $(kind ' regions'), no surface $(kind ' no surface')," \
    "edges unlike sides $(kind 'edges \['), heal failed $(kind 'Heal failed')," \
    "gaps above the tolerance $(kind 'Gap between faces\|gap [0-9.e-]* above'), exit only" \
    "$(grep ': FAIL exit' "$out/verdicts.txt" | grep -c . || true)"
[[ $failed -eq 0 ]]

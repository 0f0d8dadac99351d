#!/usr/bin/env bash
# Builds the optimised system and runs its main job on a mesh: a net of
# 2 x 2 four-sided regions is drawn on it with the mouse (or, with a second
# argument, read from that net text file), the faces are fitted, committed
# as Breps and healed where they meet, and the document is saved, reopened
# and captured. The mesh is the bundled examples/bump.stl or the file given
# (STL, POL, VRML, Nastran, AutoForm).
#
#   bash scripts/run.sh [MESH [NET]]
#
# MW_LOOK (a direction towards the camera, x,y,z) and MW_ZOOM (a factor) set
# the view the net's square is sought in, as scripts/sweep.sh does.
#
# Exit codes: those of the script runner (0 done, 1 a step failed, 2 an
# unreadable script or file, 3 no region found to draw on).
set -euo pipefail
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
mesh=${1:-}
net=${2:-}
for file in "$mesh" "$net"; do
    if [[ -n "$file" && ! -f "$file" ]]; then
        echo "run.sh: no file $file" >&2
        exit 2
    fi
done
[[ -n "$mesh" ]] && mesh=$(absolute "$mesh")
[[ -n "$net" ]] && net=$(absolute "$net")
cd "$(dirname "$0")/.."
root=$(pwd)
mesh=${mesh:-$root/examples/bump.stl}
bash scripts/deps.sh

build=${MW_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=OFF -DMW_BUILD_BENCH=OFF
cmake --build "$build" -j "$(nproc)" --target vzhost

out=$root/$build/main-job
rm -rf "$out"
mkdir -p "$out/diagnostics"
export FENWO_DIAGNOSTICS_DIR=$out/diagnostics
# Nastran files also end in .bdf, .blk or .dat; the loader knows them by
# .nas, so such a file is handed over through a link of that name.
case "${mesh,,}" in
*.bdf | *.blk | *.dat)
    ln -s "$mesh" "$out/$(basename "${mesh%.*}").nas"
    mesh=$out/$(basename "${mesh%.*}").nas
    ;;
esac
script=examples/main-job.vzs
defines=(--define "MESH=$mesh")
[[ -n "${MW_LOOK:-}" ]] && defines+=(--define "LOOK=$MW_LOOK")
[[ -n "${MW_ZOOM:-}" ]] && defines+=(--define "ZOOM=$MW_ZOOM")
if [[ -n "$net" ]]; then
    script=examples/main-job-import.vzs
    defines+=(--define "NET=$net")
fi

echo "Main job on $mesh${net:+ with the net $net}"
log=$out/main-job.log
status=0
"$build/apps/vzhost" --script "$script" "${defines[@]}" --out "$out" >"$log" 2>&1 || status=$?

# The fits, the heal and the pictures, from the runner's transcript.
fifth=$(sed -n 's/^TOLERANCE = //p' "$log" | head -1)
tolerance=$(sed -n 's/^Face [0-9]* fit to \([^:]*\):.*/\1/p' "$log" | head -1)
if [[ -n "$fifth" ]]; then
    echo "Tolerance:  ${tolerance:-?} (the options dialog's entry nearest 1/500 of the mesh's" \
         "diagonal, $fifth, which is the document's tolerance)"
fi
grep -m1 '^Net square:' "$log" || true
grep '^Face [0-9]* fit' "$log" || true
grep -m1 "^Largest gap between neighbouring Breps' shared edges" "$log" || true
if [[ $status -ne 0 ]]; then
    # The failure that stopped the job (no region), else the first the
    # runner names, in one line; with the cause the runner found printed
    # before it (the face and why it failed, the heal and its face, the gap
    # and its faces), in the same line, which comes last.
    reason=$({ [[ $status -eq 3 ]] && grep -m1 -E "^$script:[0-9]+: no region: " "$log"; } ||
             grep -m1 -E "^$script:[0-9]+: |^vzhost: " "$log") || true
    reason=$(sed "s|^$script:[0-9]*: ||" <<<"$reason")
    cause=$(sed -n "s|^$script: failed: ||p" "$log" | tail -1)
    case "$reason" in
    "no region: "*) what="no region found (${reason#no region: })" ;;
    *"printed: No facets have been imported from "*) what="${reason#*printed: }" ;;
    *"printed: Gap between faces "*) what="${reason#*printed: }" ;;
    *"printed: Face "*" has no surface"*) what="${reason#*printed: }" ;;
    *"printed: Heal failed"*)
        what="a face could not be healed to its neighbours (${reason#*printed: })" ;;
    *"!edge-gaps: the largest gap "*)
        what="the largest gap between the Breps' shared edges exceeds the document's tolerance (${reason#*!edge-gaps: })" ;;
    *"!expect-same-print: printed Edges per Brep:"*)
        read -r brep edges sides < <(sed -n 's/.*which part at word \([0-9]*\) (\([^ ]*\) and \([^)]*\)).*/\1 \2 \3/p' <<<"$reason") || true
        what="Brep ${brep:-?} has ${edges:-?} edges in its trim loop where its region has ${sides:-?} sides ($(grep -m1 '^Edges per Brep:' "$log" || true))" ;;
    *"Edges per Brep: 4 4 4 4"*)
        what="a Brep's trim loop does not have its region's four sides ($(grep -m1 '^Edges per Brep:' "$log" || echo 'no Breps'))" ;;
    *"printed: failed to relocate"*)
        what="the reopened document lost a face (a stored loop found no face of the net read back)" ;;
    *"model has 4 loops"* | *"Converted 4 Surfaces"* | *"brep normal 4"*)
        what="a face was refused ($reason)" ;;
    *"Converted "* | *"brep normal"*) what="the commit was empty ($reason)" ;;
    *) what=${reason:-vzhost exit code $status} ;;
    esac
    echo "Transcript: $log" >&2
    # A cause that the line above already says, or that is the failed check
    # itself, is not said twice; one that says more takes its place.
    [[ "$what" == *"$cause"* || "$cause" == "line "*": $reason" ]] && cause=
    [[ -n "$cause" && "$cause" == *"$what"* ]] && { what=$cause; cause=; }
    echo "The main job failed: $what${cause:+; cause: $cause}." >&2
    exit "$status"
fi
echo "Document:   $out/main-job.vzd"
echo "Pictures:   $out/fit.png (the fits while editing), $out/main-job.png (the Breps)"
echo "Transcript: $log"

#!/usr/bin/env bash
# Builds the optimised system and runs its main job: a mesh is loaded, a net
# of four poly-lines is drawn on it, the fitted face is committed as a Brep,
# the document is saved, reopened and captured. The mesh is the bundled
# examples/bump.stl or the mesh file given as the argument.
#
#   bash scripts/run.sh [mesh.stl]
set -euo pipefail
mesh=${1:-}
if [[ -n "$mesh" ]]; then
    if [[ ! -f "$mesh" ]]; then
        echo "run.sh: no mesh file $mesh" >&2
        exit 2
    fi
    mesh=$(cd "$(dirname "$mesh")" && pwd)/$(basename "$mesh")
fi
cd "$(dirname "$0")/.."
root=$(pwd)
mesh=${mesh:-$root/examples/bump.stl}
bash scripts/deps.sh

build=${MW_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=OFF -DMW_BUILD_BENCH=OFF
cmake --build "$build" -j "$(nproc)" --target vzhost

out=$root/$build/main-job
mkdir -p "$out"
export FENWO_DIAGNOSTICS_DIR=$out/diagnostics
mkdir -p "$FENWO_DIAGNOSTICS_DIR"
echo "Main job on $mesh"
status=0
"$build/apps/vzhost" --script examples/main-job.vzs --define "MESH=$mesh" --out "$out" || status=$?
if [[ $status -ne 0 ]]; then
    echo "The main job failed (vzhost exit code $status)." >&2
    exit "$status"
fi
echo "Document: $out/main-job.vzd"
echo "Picture:  $out/main-job.png"

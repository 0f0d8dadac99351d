#!/usr/bin/env bash
# Builds the optimised system and runs its main job on the bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

build=${MW_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=OFF -DMW_BUILD_BENCH=OFF
cmake --build "$build" -j "$(nproc)" --target meshwright
"$build/apps/meshwright" "$@"

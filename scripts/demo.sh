#!/usr/bin/env bash
# Builds Tolmar and runs its main job on the bundled demo recording.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target tolmar-batch demo
./build/src/tolmar-batch --info build/demo/demo_side.wav

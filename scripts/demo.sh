#!/usr/bin/env bash
# Builds Tolmar and runs its main job on the bundled demo recording: a whole-side restoration
# (rumble filter, clicks found and repaired, level normalised, saved) of a copy of the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target tolmar-batch demo
cp build/demo/demo_side.wav build/demo/demo_restored.wav
config=$(mktemp -d)
./build/src/tolmar-batch --info build/demo/demo_side.wav
./build/src/tolmar-batch --config-dir "$config" --continue-on-error \
  --step "Other Effects | Filter (With Undo) [Rumble]" \
  --step "Declicking | Find All Clicks" \
  --step "Declicking | Remove All Clicks" \
  --step "Other Effects | Normalise (With Undo)" \
  --step "File | Save" \
  build/demo/demo_restored.wav
echo "Restored copy: build/demo/demo_restored.wav"

#!/usr/bin/env bash
# Builds Tolmar and opens the editor window on the bundled demo recording. Without a display it
# runs the main job instead: a whole-side restoration (rumble filter, clicks found and repaired,
# level normalised, saved) of a copy of the demo, and writes a picture of the window showing the
# restored side to build/demo/demo_window.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target tolmar-batch tolmar_app demo
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/src/tolmar build/demo/demo_side.wav
fi
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running the batch restoration instead."
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
runtime=$(mktemp -d)
XDG_RUNTIME_DIR="$runtime" TOLMAR_CONFIG_DIR="$config" ./build/src/tolmar \
  --screenshot build/demo/demo_window.png --size 1280x720 --select 00:20.000-00:25.000 \
  build/demo/demo_restored.wav
rm -rf "$runtime"
echo "Picture of the window: build/demo/demo_window.png"

#!/usr/bin/env bash
# Builds everything and starts the tool. Without a display (neither DISPLAY
# nor WAYLAND_DISPLAY set) the tool runs under xvfb-run, so the command still
# works there (the window is then not visible; Ctrl-C ends it).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)"
tool=build/release/app/corvanta-ipc-tool
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running the tool under xvfb-run -a;"
  echo "its window is not visible there. Stop it with Ctrl-C."
  exec xvfb-run -a "$tool"
fi
exec "$tool"

#!/usr/bin/env bash
# Builds the tool and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)"
# The main window comes with the application; until then this runs the
# library's self-check.
echo "The tool's window is not built yet; running the library self-check."
exec build/release/tools/onvif_selfcheck

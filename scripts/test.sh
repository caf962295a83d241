#!/usr/bin/env bash
# Builds everything and runs all tests twice: a warnings-as-errors build and
# an AddressSanitizer + UndefinedBehaviorSanitizer build. Also checks formatting.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
export QT_QPA_PLATFORM=offscreen

echo "== layer check"
python3 scripts/check-layers.py

echo "== generated records are current"
python3 tools/onvifgen/gen_records.py --check

echo "== test size (tests / code, printed only)"
bash scripts/test-ratio.sh || true

echo "== format check"
git ls-files '*.c' '*.cpp' '*.h' '*.hpp' | xargs -r clang-format --dry-run --Werror

run_suite() { # name, extra cmake args...
  local dir=build/$1; shift
  echo "== build $dir"
  cmake -S . -B "$dir" -G Ninja -DONVIF_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== test $dir"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
}

run_suite release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONVIF_BENCH=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite asan -DCMAKE_BUILD_TYPE=Debug -DONVIF_SANITIZE=ON
bash scripts/fuzz.sh
echo "== all suites passed"

#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehavior-
# Sanitizer) in build/fuzz and runs each one for a fixed time on a copy of
# its seed corpus. Any crash, leak, sanitizer report or broken check fails.
#
#   FUZZ_SECONDS   seconds per target (default 20)
#   FUZZ_TARGETS   blank-separated subset of the targets (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-20}
targets=${FUZZ_TARGETS:-"xml http_msg http_rx probe soap http_auth name_value xaddr mime"}
dir=build/fuzz
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}

# The dictionary of each target.
dict_of() {
  case "$1" in
    xml) echo xml ;;
    http_msg | http_rx) echo http ;;
    probe) echo probe ;;
    soap) echo soap ;;
    http_auth | name_value) echo auth ;;
    xaddr) echo xaddr ;;
    mime) echo mime ;;
  esac
}

echo "== build $dir"
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DONVIF_FUZZ=ON >/dev/null
cmake --build "$dir" -j "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for t in $targets; do
  echo "== fuzz $t (${seconds} s)"
  corpus=$work/$t
  artifacts=$dir/artifacts/$t # kept: a failing input stays for reproduction
  rm -rf "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  cp fuzz/corpus/"$t"/* "$corpus"/
  if ! "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -dict="fuzz/dict/$(dict_of "$t").dict" -artifact_prefix="$artifacts/" \
    -print_final_stats=1 "$corpus" >"$work/$t.log" 2>&1; then
    tail -n 60 "$work/$t.log"
    for a in "$artifacts"/*; do
      [[ -f "$a" ]] || continue
      echo "input kept in $a ($(wc -c <"$a") bytes); reproduce with: $dir/fuzz/fuzz_$t $a"
    done
    failed+=("$t")
  else
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units)' "$work/$t.log" || true
  fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "== fuzzing found problems in: ${failed[*]}" >&2
  exit 1
fi
echo "== fuzzing passed"

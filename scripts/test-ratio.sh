#!/usr/bin/env bash
# Reports how large the tests are against the code they test: non-blank lines
# of .c/.cpp/.h/.hpp files per folder, test lines / code lines. The aim is a
# quarter to a third; this only prints, it never fails the build.
# Code: platform xml http discovery onvif app tools (onvif/gen, the generated
# records, counted apart). Tests: tests/* and fuzz.
set -uo pipefail
cd "$(dirname "$0")/.."

# Non-blank source lines under the given paths (missing paths count 0).
lines() {
  local n=0 f
  while IFS= read -r -d '' f; do
    n=$((n + $(grep -cv '^[[:space:]]*$' "$f")))
  done < <(find "$@" -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) \
             "${prune[@]}" -print0 2>/dev/null)
  echo "$n"
}

ratio() { # tests code
  if [ "$2" -gt 0 ]; then awk -v t="$1" -v c="$2" 'BEGIN { printf "%.2f", t / c }'; else echo "-"; fi
}

prune=()
code_total=0
test_total=0
printf '%-12s %8s %8s %7s\n' folder code tests ratio
for d in platform xml http discovery onvif app tools; do
  if [ "$d" = onvif ]; then
    prune=(-not -path 'onvif/gen/*')
  else
    prune=()
  fi
  c=$(lines "$d")
  prune=()
  t=$(lines "tests/$d")
  code_total=$((code_total + c))
  test_total=$((test_total + t))
  printf '%-12s %8d %8d %7s\n' "$d" "$c" "$t" "$(ratio "$t" "$c")"
done
for d in tests/hostile tests/c_api tests/support fuzz; do
  t=$(lines "$d")
  test_total=$((test_total + t))
  printf '%-12s %8s %8d\n' "${d#tests/}" - "$t"
done
gen=$(lines onvif/gen)
printf '%-12s %8d %8d %7s\n' total "$code_total" "$test_total" "$(ratio "$test_total" "$code_total")"
printf '%-12s %8d %8s %7s\n' onvif/gen "$gen" - "$(ratio "$test_total" $((code_total + gen)))"
echo "(tests / hand-written code; the last ratio counts the generated records as code too)"

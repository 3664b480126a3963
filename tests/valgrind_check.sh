#!/usr/bin/env bash
# Every end-to-end case under tests/cases/ once more, with the planner under
# valgrind's memcheck: no invalid access, no uninitialised value deciding
# anything, no leak, and the exit status the case expects.
#   tests/valgrind_check.sh PLANNER_EXE
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
planner=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
if ! command -v valgrind >/dev/null; then
  echo "valgrind_check: SKIPPED: valgrind is not installed"
  exit 0
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0 ran=0
for case_dir in "$root"/tests/cases/*/; do
  name=$(basename "$case_dir")
  work="$scratch/$name"
  mapfile -d '' -t plan < <("$root/tests/cases/lay_out.sh" "$case_dir" "$work")
  expected=${plan[0]}
  status=0
  (cd "$work" && valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=all \
    --errors-for-leak-kinds=all --track-origins=yes "$planner" "${plan[@]:1}" \
    >/dev/null 2>"$scratch/$name.valgrind") || status=$?
  ran=$((ran + 1))
  if [ "$status" != "$expected" ]; then
    echo "valgrind_check: $name: exit status $status, expected $expected"
    cat "$scratch/$name.valgrind"
    failed=$((failed + 1))
  fi
done
echo "valgrind_check: $((ran - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]

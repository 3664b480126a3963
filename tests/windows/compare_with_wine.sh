#!/usr/bin/env bash
# Runs every case under tests/cases/ twice, with the Linux planner and with
# planner.exe under wine, each in a scratch directory set up the same way,
# and compares standard output, standard error, exit status and "todo.bat"
# byte for byte. The one expected difference is the usage line's path, which
# must be the Windows form of planner.exe's path.
#
# usage: tests/windows/compare_with_wine.sh LINUX_PLANNER PLANNER_EXE
set -euo pipefail
export LC_ALL=C # outputs are code page 866 bytes, not text in the locale
root=$(cd "$(dirname "$0")/../.." && pwd)
linux=$(realpath "$1")
windows=$(realpath "$2")

# Debian's /usr/bin/wine wrapper warns about a missing wine32 on every start.
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no .NET or browser engine to set up
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/planner-wine-XXXXXX")
export WINEPREFIX
scratch=$(mktemp -d "${TMPDIR:-/tmp}/planner-cases-XXXXXX")
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$scratch" "$WINEPREFIX"
}
trap cleanup EXIT
trap 'exit 143' TERM INT # so that a timeout still stops the server

# One server stays up for all runs; the first start builds the prefix, which
# takes a while.
start=$SECONDS
"$wineserver" -p
timeout 300 "$wine" wineboot -i >/dev/null 2>&1 || true
echo "wine: prefix ready in $((SECONDS - start)) s"
windows_path=$("$wine" winepath -w "$windows" | tr -d '\r')

# Lays out case directory $1 in $2/work and reads its arguments into args.
setup_case() {
  mapfile -d '' -t args < <("$root/tests/cases/lay_out.sh" "$1" "$2/work")
  args=("${args[@]:1}") # the first field is the expected status
}

# Runs $2... in $1/work, keeping its output, error, status and "todo.bat".
run_case() {
  local out=$1 status=0
  shift
  (cd "$out/work" && "$@" >"$out/stdout" 2>"$out/stderr" </dev/null) || status=$?
  echo "$status" >"$out/status"
}

same() { cmp -s "$1" "$2"; }

passed=0
failed=0
skipped=0
for case_dir in "$root"/tests/cases/*/; do
  case_dir=${case_dir%/}
  name=$(basename "$case_dir")
  if grep -q '^posix' "$case_dir/case"; then
    skipped=$((skipped + 1))
    echo "wine: skipped     $name: it needs a POSIX system"
    continue
  fi
  setup_case "$case_dir" "$scratch/$name/linux"
  run_case "$scratch/$name/linux" "$linux" "${args[@]}"
  setup_case "$case_dir" "$scratch/$name/windows"
  run_case "$scratch/$name/windows" "$wine" "$windows" "${args[@]}"

  l=$scratch/$name/linux
  w=$scratch/$name/windows
  # The usage line names each executable; the Linux one stands for the other.
  expected=$(
    cat "$l/stdout"
    printf x
  )
  expected=${expected%x}
  printf '%s' "${expected//"$linux"/"$windows_path"}" >"$l/stdout.windows"

  diffs=()
  same "$l/stdout.windows" "$w/stdout" || diffs+=(stdout)
  same "$l/stderr" "$w/stderr" || diffs+=(stderr)
  same "$l/status" "$w/status" || diffs+=("status $(<"$l/status")/$(<"$w/status")")
  if [ -f "$l/work/todo.bat" ] || [ -f "$w/work/todo.bat" ]; then
    same "$l/work/todo.bat" "$w/work/todo.bat" || diffs+=(todo.bat)
    todo="todo.bat $(wc -c <"$w/work/todo.bat" 2>/dev/null || echo none) B"
  else
    todo="no todo.bat"
  fi
  if [ ${#diffs[@]} -eq 0 ]; then
    passed=$((passed + 1))
    echo "wine: same bytes  $name: stdout $(wc -c <"$w/stdout") B, stderr $(wc -c <"$w/stderr") B," \
      "status $(<"$w/status"), $todo"
  else
    failed=$((failed + 1))
    echo "wine: DIFFERENT   $name: ${diffs[*]}"
  fi
done
echo "wine: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]

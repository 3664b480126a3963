#!/usr/bin/env bash
# Builds the planner, sets up a scratch copy of one example with its files at
# the times its `files` list gives, plans it there, and shows the decoded
# trace and the resulting "todo.bat".
#   examples/demo.sh [c-program|diamond|stale|fresh]   (default: c-program)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
example=${1:-c-program}
source_dir="$root/examples/$example"
[ -f "$source_dir/files" ] || { echo "demo: no example named '$example'" >&2; exit 2; }

planner="$root/build/default/planner"
# The first run configures and compiles, which takes a while; say so rather
# than sit silent. On standard error, so that standard output stays the demo.
[ -x "$planner" ] ||
  echo "demo: first configuring and compiling build/default/planner (20 seconds to a minute)..." >&2
# CMake reads the presets from the current directory, so it runs from the
# root, wherever the demo was started.
(cd "$root" && cmake --preset default >/dev/null &&
  cmake --build --preset default --target planner >/dev/null)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$root/examples/lay_out.sh" "$source_dir" "$scratch"
cd "$scratch"
makefile=$(ls *.mk)

echo "== $example: planner $makefile =="
echo "== trace, decoded: iconv -f CP866 -t UTF-8 | tr -d '\\r' =="
status=0
"$planner" "$makefile" >trace.out || status=$?
iconv -f CP866 -t UTF-8 <trace.out | tr -d '\r'
echo "== exit status $status; todo.bat =="
if [ -f todo.bat ]; then tr -d '\r' <todo.bat; else echo "(not written)"; fi

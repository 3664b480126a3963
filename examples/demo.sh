#!/usr/bin/env bash
# Builds the planner, sets up a scratch project whose files have chosen
# modification times, plans it, and shows the decoded trace and "todo.bat".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --preset default >/dev/null
cmake --build --preset default --target planner >/dev/null
planner="$root/build/default/planner"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$root/examples/app.mk" "$scratch/"
cd "$scratch"
# Everything was built at 10:00; then util.h was edited at 11:00.
for f in app main.obj util.obj main.c util.c; do touch -d '2026-01-01 10:00' "$f"; done
touch -d '2026-01-01 09:00' main.c util.c
touch -d '2026-01-01 11:00' util.h

echo "== trace (CP866 decoded, CR LF shown as line ends) =="
"$planner" app.mk | iconv -f CP866 -t UTF-8 | tr -d '\r'
echo "== todo.bat =="
tr -d '\r' < todo.bat

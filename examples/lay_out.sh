#!/usr/bin/env bash
# Lays out an example in a directory: its makefiles, and an empty file for
# each line "NAME DAY CLOCK" of its files list, modified at that time (UTC,
# so that every machine sets the same times).
#   examples/lay_out.sh EXAMPLE_DIR WORK_DIR
set -euo pipefail
example=$1 work=$2
cp "$example"/*.mk "$work/"
while read -r name day clock; do
  case $name in '' | '#'*) continue ;; esac
  : >"$work/$name"
  touch -d "$day $clock UTC" "$work/$name"
done <"$example/files"

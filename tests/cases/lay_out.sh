#!/usr/bin/env bash
# Lays out one end-to-end case in WORK_DIR and prints how to run it: the
# expected exit status, then each argument, every one ended by a NUL byte.
#
# A case directory holds a "case" file, optionally in/ (files to start with),
# and what the run must leave: "stdout" (decoded, with @EXE@ for the
# executable's full path), "stderr", and "todo.bat" (without it, no such file
# may exist afterwards). The case file's lines, applied in order:
#   args A B ...        the command line (none: no argument); \n, \t, \033
#                       and the like stand for control bytes
#   link NAME TARGET    make a symbolic link
#   example NAME        lay out examples/NAME
#   dir NAME            make a directory
#   time NAME SECONDS   set a file's modification time, creating it empty
#   status N            the expected exit status (0 if absent)
#   posix               the case needs a POSIX system (the wine comparison
#                       skips it)
#
#   tests/cases/lay_out.sh CASE_DIR WORK_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
case_dir=$1 work=$2
mkdir -p "$work"
if [ -d "$case_dir/in" ]; then cp -a "$case_dir/in/." "$work/"; fi
status=0
args=()
while read -r word rest; do
  case $word in
    '' | '#'*) ;;
    args)
      read -ra args <<<"$rest"
      for i in "${!args[@]}"; do args[i]=$(printf '%b' "${args[i]}"); done
      ;;
    example) "$root/examples/lay_out.sh" "$root/examples/$rest" "$work" ;;
    dir) mkdir "$work/$rest" ;;
    link)
      read -r name target <<<"$rest"
      ln -s "$target" "$work/$name"
      ;;
    time)
      read -r name when <<<"$rest"
      touch -d "@$when" "$work/$name"
      ;;
    status) status=$rest ;;
    posix) ;;
    *) echo "lay_out: $case_dir/case: unknown line '$word'" >&2 && exit 2 ;;
  esac
done <"$case_dir/case"
printf '%s\0' "$status" "${args[@]}"

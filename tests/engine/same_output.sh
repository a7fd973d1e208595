#!/usr/bin/env bash
# Runs two programs with the same arguments and fails unless they print the
# same bytes, each enough of them.
#   same_output.sh PROGRAM_A PROGRAM_B MIN_BYTES ARGS...
set -euo pipefail
a=$1 b=$2 min=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$a" "$@" > "$work/a"
"$b" "$@" > "$work/b"
size=$(wc -c < "$work/a")
if [ "$size" -lt "$min" ]; then
  echo "only $size bytes of output"
  exit 1
fi
if ! cmp "$work/a" "$work/b"; then
  diff "$work/a" "$work/b" | head -n 20
  exit 1
fi
echo "same $size bytes"

#!/usr/bin/env bash
# Each program's trace starts with the same lines as the recorded runs:
# the sha256 of its first lines against the recorded one.
set -u  # no pipefail: head ends the program early on purpose
bin=$1
table=$2
failed=0
while read -r program args steps lines want; do
  case $program in '#'*|'') continue ;; esac
  IFS=, read -r -a argv <<< "$args"
  got=$("$bin/$program" "${argv[@]}" --steps "$steps" 2>/dev/null | head -n "$lines" | sha256sum | cut -d' ' -f1)
  if [ "$got" = "$want" ]; then
    echo "same: $program, first $lines lines"
  else
    echo "DIFFERENT: $program, first $lines lines"
    failed=1
  fi
done < "$table"
exit $failed

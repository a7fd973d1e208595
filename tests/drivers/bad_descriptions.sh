#!/usr/bin/env bash
# Every bad description is refused before anything runs: exit status 2,
# nothing on standard output, one line on standard error naming the file
# and saying what its first line ("# refused: ...") says.
set -uo pipefail
net1=$1
dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
for file in "$dir"/*.toml; do
  name=$(basename "$file")
  want=$(sed -n '1s/^# refused: //p' "$file")
  (cd "$dir" && "$net1" "$name" --seed 1) > "$work/out" 2> "$work/err"
  status=$?
  message=$(cat "$work/err")
  if [ "$status" != 2 ] || [ -s "$work/out" ] || [ "$(wc -l < "$work/err")" != 1 ] ||
     [[ $message != *"$want"* ]] || { [[ $message != *"$name"* ]] && [[ $message != *"memory here"* ]]; }; then
    echo "FAIL: $name: exit status $status, $(wc -c < "$work/out") bytes out, said: $message"
    failures=$((failures + 1))
  else
    echo "ok: $name: $message"
  fi
done
echo "$failures failed"
[ "$failures" = 0 ]

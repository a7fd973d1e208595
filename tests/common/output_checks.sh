# What the output tests share, sourced: a fresh folder to work in (the
# current one, removed at the end), expect, and a full device.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
expect() {  # expect DESCRIPTION CONDITION...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}
# A full device of our own where we may make one: as root, a faulty writer
# would replace /dev/full itself, which everyone on the machine uses.
full=/dev/full
if [ "$(id -u)" = 0 ] && mknod full c 1 7 2> /dev/null; then full=$work/full; fi

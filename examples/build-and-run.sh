#!/usr/bin/env bash
# Installs the engine from a build folder into a fresh prefix, builds the
# example against it with find_package(net1), runs it and compares its
# output with the expected one.
#   examples/build-and-run.sh BUILD_DIR EXPECTED_OUTPUT [CMAKE_ARGUMENT...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1 expected=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > /dev/null
cmake -S "$here" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" "$@" > /dev/null
cmake --build "$work/build" > /dev/null
"$work/build/small-network" > "$work/output"
diff "$expected" "$work/output"
echo "the example built against the installed package and printed $(wc -l < "$work/output") lines as expected"

#!/usr/bin/env bash
# Sets up this Debian machine, builds Quenvar and starts it; any arguments go
# to the program (so the same command runs a command-line operation).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/tools/bootstrap.sh"
build="$here/build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -G Ninja -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENVAR_BUILD_TESTS=OFF -DQUENVAR_BUILD_BENCH=OFF >&2
fi
cmake --build "$build" --target quenvar -j"$(nproc)" >&2
exec "$build/quenvar" "$@"

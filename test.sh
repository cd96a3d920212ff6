#!/usr/bin/env bash
# Sets up this Debian machine, builds Quenvar and its tests with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs the whole suite.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/tools/bootstrap.sh" --test
build="$here/build-tests"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -G Ninja -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUENVAR_SANITIZE=ON -DQUENVAR_BUILD_BENCH=OFF
fi
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"

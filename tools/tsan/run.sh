#!/usr/bin/env bash
# Builds the suites where threads meet (engine, fileops, ui) with
# ThreadSanitizer into build-tsan/ and runs them; any report fails the run.
# Extra arguments go to ctest (for example -R progressdialog).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$here/build-tsan"
jobs="${JOBS:-$(nproc)}"
# Configured every time: the suites are found by a glob.
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUENVAR_TSAN=ON -DQUENVAR_BUILD_BENCH=OFF >/dev/null
mapfile -t targets < <(cd "$here/tests" && ls engine/tst_*.cpp fileops/tst_*.cpp ui/tst_*.cpp | xargs -n1 basename | sed 's/\.cpp$//')
cmake --build "$build" -j"$jobs" --target "${targets[@]}"
cd "$build"
ctest --output-on-failure -j"$jobs" -L '^(engine|fileops|ui)$' "$@"

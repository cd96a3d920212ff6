#!/usr/bin/env bash
# Builds the fuzzer of the own container's reader with clang's libFuzzer (a
# CMake build of its own, fuzz/out/build, configured with QUENVAR_FUZZ=ON)
# and runs it, then merges what it found into the committed corpus
# fuzz/corpus/qv, which tests/BuiltInZipApi/tst_qvformat replays in every
# test run.
#
#   fuzz/run_qv_fuzzer.sh [seconds]     (default 600)
#
# Fuzzing takes a whole core: run it when no build is going on.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
seconds="${1:-600}"

"$root/tools/bootstrap.sh" --fuzz

out="$here/out"
build="$out/build"
mkdir -p "$out/corpus" "$here/corpus/qv"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUENVAR_FUZZ=ON \
  -DQUENVAR_BUILD_TESTS=OFF -DQUENVAR_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target qv_reader_fuzzer qv_seed_generator
fuzzer="$build/fuzz/qv_reader_fuzzer"

rm -rf "$out/seeds"
"$build/fuzz/qv_seed_generator" "$out/seeds"

cd "$out"
"$fuzzer" -jobs=1 -workers=1 -max_total_time="$seconds" -max_len=4096 -timeout=30 \
  -rss_limit_mb=2048 -print_final_stats=1 "$out/corpus" "$here/corpus/qv" "$out/seeds" || status=$?
cat "$out"/fuzz-0.log 2>/dev/null | tail -n 25
if [ "${status:-0}" -ne 0 ]; then
  echo "the fuzzer stopped with status $status; crash inputs are in $out" >&2
  exit "$status"
fi

# Keep the smallest set of inputs that covers everything found so far.
mkdir -p "$out/merged"
rm -f "$out/merged"/*
"$fuzzer" -merge=1 "$out/merged" "$here/corpus/qv" "$out/corpus" "$out/seeds" 2>&1 | tail -n 3
# Inputs kept under a name of their own (regressions) stay; the rest is
# replaced by the merged set, named by content hash.
find "$here/corpus/qv" -type f -regextype posix-extended -regex '.*/[0-9a-f]{40}' -delete
cp -n "$out/merged"/* "$here/corpus/qv/"
echo "corpus: $(ls "$here/corpus/qv" | wc -l) files in fuzz/corpus/qv"

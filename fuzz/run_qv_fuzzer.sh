#!/usr/bin/env bash
# Builds the fuzzer of the own container's reader with clang's libFuzzer
# (outside the CMake build) and runs it, then merges what it found into the
# committed corpus fuzz/corpus/qv, which tests/BuiltInZipApi/tst_qvcorpus
# replays in every test run.
#
#   fuzz/run_qv_fuzzer.sh [seconds]     (default 600)
#
# Fuzzing takes a whole core: run it when no build is going on.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
seconds="${1:-600}"

packages=(clang libclang-rt-14-dev qtbase5-dev zlib1g-dev pkg-config)
missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

out="$here/out"
mkdir -p "$out/corpus" "$here/corpus/qv"
read -r -a qt <<<"$(pkg-config --cflags --libs Qt5Core zlib)"
common=(-std=c++17 -g -O1 -fPIC -fno-omit-frame-pointer -I"$root" -I"$here")
sources=("$root/BuiltInZipApi/zip.cpp" "$here/qv_reader_harness.cpp")

clang++ "${common[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  "${sources[@]}" "$here/qv_reader_fuzzer.cpp" "${qt[@]}" -o "$out/qv_reader_fuzzer"
clang++ "${common[@]}" -fsanitize=address,undefined \
  "${sources[@]}" "$here/qv_seed_generator.cpp" "${qt[@]}" -o "$out/qv_seed_generator"

rm -rf "$out/seeds"
"$out/qv_seed_generator" "$out/seeds"

cd "$out"
"$out/qv_reader_fuzzer" -jobs=1 -workers=1 -max_total_time="$seconds" -max_len=4096 -timeout=30 \
  -rss_limit_mb=2048 -print_final_stats=1 "$out/corpus" "$here/corpus/qv" "$out/seeds" || status=$?
cat "$out"/fuzz-0.log 2>/dev/null | tail -n 25
if [ "${status:-0}" -ne 0 ]; then
  echo "the fuzzer stopped with status $status; crash inputs are in $out" >&2
  exit "$status"
fi

# Keep the smallest set of inputs that covers everything found so far.
mkdir -p "$out/merged"
rm -f "$out/merged"/*
"$out/qv_reader_fuzzer" -merge=1 "$out/merged" "$here/corpus/qv" "$out/corpus" "$out/seeds" 2>&1 | tail -n 3
# Inputs kept under a name of their own (regressions) stay; the rest is
# replaced by the merged set, named by content hash.
find "$here/corpus/qv" -type f -regextype posix-extended -regex '.*/[0-9a-f]{40}' -delete
cp -n "$out/merged"/* "$here/corpus/qv/"
echo "corpus: $(ls "$here/corpus/qv" | wc -l) files in fuzz/corpus/qv"

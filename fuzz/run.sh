#!/usr/bin/env bash
# Builds the INI reader's fuzz target with clang and runs it for SECONDS (default 30) on a copy
# of the seed corpus. Exits non-zero when the target crashes or finds a broken invariant; the
# input that did it is left in build/fuzz/ as crash-* (replay it with build/fuzz/ini_fuzz FILE).
set -euo pipefail

seconds=${1:-30}
# libFuzzer reads 0 as "no limit": insist on a real duration.
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || ((seconds == 0)); then
  echo "usage: $0 [SECONDS > 0]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/fuzz"
target="$out/ini_fuzz"
sources=("$root/fuzz/ini_fuzz.cpp" "$root/src/settings/ini.cpp")
mkdir -p "$out"

stale=0
[[ -x "$target" ]] || stale=1
for source in "${sources[@]}" "$root/src/settings/ini.h"; do
  [[ "$source" -nt "$target" ]] && stale=1
done
if ((stale)); then
  # -O1 keeps the sanitizers fast and the stack traces readable; no recovery, so undefined
  # behaviour stops the run like a crash does.
  clang++ -std=c++20 -O1 -g -Wall -Wextra -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I "$root/src" "${sources[@]}" -o "$target"
fi

# A smaller quarantine lets the allocator reuse memory instead of faulting in fresh pages on
# every run, which otherwise costs more time than the reader itself.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}

rm -rf "$out/corpus"
cp -r "$root/fuzz/corpus" "$out/corpus"
"$target" -max_total_time="$seconds" -timeout=10 -max_len=8192 -dict="$root/fuzz/ini.dict" \
  -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus"

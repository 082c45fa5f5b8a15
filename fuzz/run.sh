#!/usr/bin/env bash
# Builds a fuzz target with clang and runs it for SECONDS (default 30) on a copy of its seed
# corpus: TARGET is ini (the INI reader, the default) or recording (the reader of the diagnostic
# build's recordings). Exits non-zero when the target crashes or finds a broken invariant; the
# input that did it is left in build/fuzz/ as crash-* (replay it with build/fuzz/TARGET_fuzz FILE).
set -euo pipefail

seconds=${1:-30}
which=${2:-ini}
# libFuzzer reads 0 as "no limit": insist on a real duration.
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || ((seconds == 0)) || [[ ! "$which" =~ ^(ini|recording)$ ]]; then
  echo "usage: $0 [SECONDS > 0] [ini|recording]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
# The LLVM of the rest of the build (tools/toolchain.sh), whose libFuzzer runtime is installed.
llvm=$("$root/tools/toolchain.sh" --value LLVM_BIN)
[[ -x "$llvm/clang++" ]] || { echo "no clang++ in '$llvm': make fuzz installs it" >&2; exit 2; }
out="$root/build/fuzz"
target="$out/${which}_fuzz"
if [[ $which == ini ]]; then
  sources=("$root/fuzz/ini_fuzz.cpp" "$root/src/settings/ini.cpp")
  headers=("$root/src/settings/ini.h")
  corpus="$root/fuzz/corpus"
  dict="$root/fuzz/ini.dict"
  libraries=()
else
  # The reader, the run and the analysis it feeds, and the simulated hook behind them.
  sources=("$root/fuzz/recording_fuzz.cpp" "$root"/tools/demo/{recording,run,scenario,atlas,analysis,report}.cpp "$root/src/settings/ini.cpp"
    "$root"/sim/{world,hook,host_posix,fiber_posix}.cpp)
  headers=("$root"/tools/demo/{recording,run,scenario,analysis,atlas,report}.h "$root"/src/diag/*.h
    "$root"/src/host/natives.h "$root"/src/brawl/saloons.h "$root"/sim/*.h)
  corpus="$root/fuzz/recordings"
  dict="$root/fuzz/recording.dict"
  libraries=(-ldl)
fi
mkdir -p "$out"
# The reader refuses recordings of a newer plug-in than this version: the project's own.
version=$(sed -n 's/^project(Fraywick VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

stale=0
[[ -x "$target" ]] || stale=1
for source in "${sources[@]}" "${headers[@]}" "$root/CMakeLists.txt" "$llvm/clang++"; do
  [[ "$source" -nt "$target" ]] && stale=1
done
if ((stale)); then
  # -O1 keeps the sanitizers fast and the stack traces readable; no recovery, so undefined
  # behaviour stops the run like a crash does.
  "$llvm/clang++" -std=c++20 -O1 -g -Wall -Wextra -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -DFRAYWICK_SIM_BUILDING -DFRAYWICK_SIM_VERSION="\"$version\"" \
    -I "$root/src" -I "$root" -I "$root/tools" "${sources[@]}" "${libraries[@]}" -o "$target"
fi

# A smaller quarantine lets the allocator reuse memory instead of faulting in fresh pages on
# every run, which otherwise costs more time than the reader itself.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}

rm -rf "$out/${which}_corpus"
cp -r "$corpus" "$out/${which}_corpus"
"$target" -max_total_time="$seconds" -timeout=10 -max_len=8192 -dict="$dict" \
  -print_final_stats=1 -artifact_prefix="$out/" "$out/${which}_corpus"

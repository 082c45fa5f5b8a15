#!/usr/bin/env bash
# cmake/ToolchainFacts.cmake in one build folder configured twice, with a stand-in toolchain.sh
# beside it: first while a tool is not installed (its fact empty), which must stop the configure
# and name the command that installs the tools, then once it is, which must configure and take
# the fact, not an empty one kept from the first time.
set -uo pipefail

here=$(cd "$(dirname "$0")/../.." && pwd -P)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/cmake" "$work/tools" "$work/project"
cp "$here/cmake/ToolchainFacts.cmake" "$work/cmake/"
cat >"$work/tools/toolchain.sh" <<EOF
#!/bin/sh
echo "LLVM_BIN=\$(cat "$work/llvm-bin")"
EOF
cat >"$work/project/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(facts NONE)
include($work/cmake/ToolchainFacts.cmake)
fraywick_toolchain_facts(LLVM_BIN)
message(STATUS "LLVM_BIN is [\${FRAYWICK_LLVM_BIN}]")
EOF

failures=0
configure() {
  cmake -S "$work/project" -B "$work/build" >"$work/out" 2>&1
}

: >"$work/llvm-bin"
if configure; then
  echo "FAILED: configured without LLVM_BIN"
  failures=$((failures + 1))
elif ! tr -s ' \n' '  ' <"$work/out" | grep -qF '`make packages`'; then
  echo "FAILED: the message names no command that installs the tools:"
  cat "$work/out"
  failures=$((failures + 1))
fi

echo /usr/lib/llvm-99/bin >"$work/llvm-bin"
if ! configure || ! grep -qF "LLVM_BIN is [/usr/lib/llvm-99/bin]" "$work/out"; then
  echo "FAILED: once the tool is there, the same build folder does not configure with it:"
  cat "$work/out"
  failures=$((failures + 1))
fi

echo "toolchain facts: $((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))

#!/usr/bin/env bash
# tools/toolchain.sh against what apt and mingw-w64's g++ answer on the machines it meets, with
# stand-ins for apt-cache and the compiler on the PATH: the LLVM is the distribution's default
# when it is 16 or newer, else the oldest versioned one of 16 or newer; none is none; the runtime
# folder is the one the compiler names for both libraries, and a compiler that splits them fails.
set -uo pipefail

toolchain=$(cd "$(dirname "$0")/../.." && pwd)/tools/toolchain.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/apt-cache" <<'EOF'
#!/bin/sh
case $1 in
  policy) printf 'clang:\n  Installed: (none)\n  Candidate: %s\n' "$CANDIDATE" ;;
  search) for v in $VERSIONED; do echo "clang-$v - C, C++ and Objective-C compiler"; done ;;
esac
EOF
cat >"$work/x86_64-w64-mingw32-g++-win32" <<'EOF'
#!/bin/sh
case $1 in
  -print-libgcc-file-name) echo "$LIBGCC" ;;
  -print-file-name=libstdc++.a) echo "$LIBSTDCXX" ;;
esac
EOF
chmod +x "$work/apt-cache" "$work/x86_64-w64-mingw32-g++-win32"

failures=0
passed=0
# machine | default clang's candidate | versioned clang-N apt knows | LLVM_VERSION wanted
while IFS='|' read -r machine candidate versioned wanted; do
  got=$(PATH="$work:$PATH" CANDIDATE=$candidate VERSIONED=$versioned "$toolchain" --value LLVM_VERSION)
  if [ "$got" = "$wanted" ]; then
    passed=$((passed + 1))
  else
    echo "FAILED: $machine: LLVM '$got', wanted '$wanted'"
    failures=$((failures + 1))
  fi
done <<'EOF'
Debian 12|1:14.0-55.7~deb12u1|13 14 15 16|16
Debian 12 with its security suite|1:14.0-55.7~deb12u1|13 14 15 16 19 22|16
Debian 13|1:19.0-63|17 18 19 22|19
package lists never fetched, LLVM 18 installed|(none)|18|18
no LLVM of 16 or newer|1:14.0-55.7~deb12u1|13 14|
EOF

# The folder and packages follow the version chosen.
facts=$(PATH="$work:$PATH" CANDIDATE=1:19.0-63 VERSIONED="17 19" "$toolchain" LLVM_BIN LLVM_PACKAGES)
wanted=$'LLVM_BIN=/usr/lib/llvm-19/bin\nLLVM_PACKAGES=clang-19 lld-19 llvm-19 clang-tidy-19 clang-format-19 libclang-rt-19-dev'
if [ "$facts" = "$wanted" ]; then
  passed=$((passed + 1))
else
  echo "FAILED: LLVM 19's facts are [$facts], wanted [$wanted]"
  failures=$((failures + 1))
fi

runtime=$(PATH="$work:$PATH" LIBGCC=/gcc/14-win32/libgcc.a LIBSTDCXX=/gcc/14-win32/libstdc++.a \
  "$toolchain" --value MINGW_WIN32_RUNTIME)
if [ "$runtime" = /gcc/14-win32 ]; then
  passed=$((passed + 1))
else
  echo "FAILED: the win32 runtime folder is '$runtime', wanted /gcc/14-win32"
  failures=$((failures + 1))
fi
if PATH="$work:$PATH" LIBGCC=/gcc/14-win32/libgcc.a LIBSTDCXX=libstdc++.a \
  "$toolchain" --value MINGW_WIN32_RUNTIME >/dev/null 2>&1; then
  echo "FAILED: a compiler that finds no libstdc++.a beside libgcc.a gave a runtime folder"
  failures=$((failures + 1))
else
  passed=$((passed + 1))
fi

echo "toolchain: $passed passed, $failures failed"
exit $((failures > 0))

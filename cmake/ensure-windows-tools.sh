#!/bin/sh
# Makes sure the Windows cross build and its Wine test run have their tools: installs the Debian
# packages that are missing (as root, or through sudo when it needs no password), or stops with
# one line that names them.
set -eu

packages=""
need() {  # need PACKAGE PATH...: PACKAGE is wanted unless every PATH exists
  package=$1
  shift
  for path in "$@"; do
    if [ ! -e "$path" ]; then
      packages="$packages $package"
      return
    fi
  done
}
# Of mingw-w64 only the 64-bit compilers are used (the whole mingw-w64 package would add the
# 32-bit ones): the posix thread model's for the test programs and the second compiler's build,
# the win32 thread model's runtime for the plug-in, which leaves nothing behind per load.
need g++-mingw-w64-x86-64-posix /usr/bin/x86_64-w64-mingw32-g++-posix \
  /usr/bin/x86_64-w64-mingw32-gcc-posix
need g++-mingw-w64-x86-64-win32 /usr/lib/gcc/x86_64-w64-mingw32/12-win32/libstdc++.a \
  /usr/lib/gcc/x86_64-w64-mingw32/12-win32/include/c++/string
# clang and lld 16 build the shipped module and its PDB; LLVM's tools read the PDB back.
need clang-16 /usr/lib/llvm-16/bin/clang
need lld-16 /usr/lib/llvm-16/bin/ld.lld
need llvm-16 /usr/lib/llvm-16/bin/llvm-pdbutil /usr/lib/llvm-16/bin/llvm-symbolizer \
  /usr/lib/llvm-16/bin/llvm-undname
need binutils-mingw-w64-x86-64 /usr/bin/x86_64-w64-mingw32-dlltool \
  /usr/bin/x86_64-w64-mingw32-objdump /usr/bin/x86_64-w64-mingw32-windres
need wine64 /usr/lib/wine/wine64
# The launcher scripts (wine, wineboot, wineserver) come with the wine package, which wine64 only
# recommends.
need wine /usr/bin/wine /usr/bin/wineboot /usr/bin/wineserver
# The release zip is packed by Info-ZIP's zip (tools/release/pack.cmake).
need zip /usr/bin/zip
# GoogleTest's sources, built with the cross compiler for the Windows test program.
need googletest /usr/src/googletest/googletest/CMakeLists.txt

if [ -z "$packages" ]; then exit 0; fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=""
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  as_root="sudo -n"
else
  echo "The Windows build needs these Debian packages; install them as root:" \
    "apt-get install$packages" >&2
  exit 1
fi

echo "Installing$packages ..."
$as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
# shellcheck disable=SC2086 # the package list is meant to split into words
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq$packages >/dev/null

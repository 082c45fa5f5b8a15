#!/bin/sh
# Installs the Debian packages the project needs beyond git, make, CMake and g++, those that are
# missing: GoogleTest, Google Benchmark, the chosen LLVM (tools/toolchain.sh), mingw-w64, Wine, zip
# and the tools the map tests use. It does so as root, or through sudo when sudo needs no password;
# otherwise it stops with one line that names the packages. Nothing else runs apt-get: the
# Makefile's targets call this first (all but `make demo`, which needs none of it).
#
#   tools/install-tools.sh              what make test, bench, fuzz and release need
#   tools/install-tools.sh debootstrap  that and debootstrap, for make test-fresh
set -eu

here=$(cd "$(dirname "$0")" && pwd)

wanted() {
  # GoogleTest: the library for the native tests, its sources for the Windows test program, which
  # is built with the cross compiler.
  echo libgtest-dev googletest
  # The benchmarks: Google Benchmark, and valgrind, whose client requests (callgrind.h) label the
  # frames that `make bench` counts instructions of.
  echo libbenchmark-dev valgrind
  # Of mingw-w64 only the 64-bit compilers and their binutils (the whole mingw-w64 package would add
  # the 32-bit ones): the posix thread model's for the test programs and the second compiler's
  # build, the win32 thread model's runtime for the plug-in, which leaves nothing behind per load.
  echo g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
  # wine64 runs the Windows programs; the launchers (wine, wineboot, wineserver) come with wine.
  echo wine wine64
  # The release zip is packed by Info-ZIP's zip (tools/release/pack.cmake); the map tests render
  # the SVG (rsvg-convert) and check that it is well-formed XML (xmllint).
  echo zip librsvg2-bin libxml2-utils
  # The LLVM of tools/toolchain.sh, when apt knows one.
  echo "$llvm_packages"
  echo "$extra"
}

missing_of() {
  for package in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || printf ' %s' "$package"
  done
}

. "$here/retry.sh"

extra=""
for argument in "$@"; do
  case $argument in
    debootstrap) extra="$extra debootstrap" ;;
    *) echo "usage: $0 [debootstrap]" >&2; exit 2 ;;
  esac
done

llvm_packages=$("$here/toolchain.sh" --value LLVM_PACKAGES)
# shellcheck disable=SC2046 # the package names are meant to split into words
missing=$(missing_of $(wanted))
[ -n "$missing" ] || [ -z "$llvm_packages" ] || exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=""
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  as_root="sudo -n"
else
  llvm_note=""
  [ -n "$llvm_packages" ] ||
    llvm_note=" clang-N lld-N llvm-N clang-tidy-N clang-format-N libclang-rt-N-dev (N: the distribution's LLVM of 16 or newer)"
  echo "These Debian packages are missing; install them as root: apt-get update &&" \
    "apt-get install --no-install-recommends$missing$llvm_note" >&2
  exit 1
fi

apt_get() {
  # Another apt on the machine holds the lock for a while: wait for it rather than fail.
  $as_root env DEBIAN_FRONTEND=noninteractive apt-get -q -o DPkg::Lock::Timeout=600 \
    -o Acquire::Retries=3 "$@"
}

# The package lists may be old (their files move on the mirror) or never fetched (then apt knows
# no LLVM yet): fetch them before installing anything.
retry apt_get update >/dev/null
if [ -z "$llvm_packages" ]; then
  llvm_packages=$("$here/toolchain.sh" --value LLVM_PACKAGES)
  if [ -z "$llvm_packages" ]; then
    echo "install-tools.sh: this distribution offers no LLVM of 16 or newer (clang-16 or later);" \
      "the Windows build needs one" >&2
    exit 1
  fi
  # shellcheck disable=SC2046
  missing=$(missing_of $(wanted))
  [ -n "$missing" ] || exit 0
fi

echo "Installing$missing ..."
# shellcheck disable=SC2086 # the package list is meant to split into words
retry apt_get install -y --no-install-recommends $missing >/dev/null

#!/bin/sh
# The toolchain of this machine, as KEY=value lines. This is the one place that decides which LLVM
# builds the shipped module and its PDB and serves the symbolizer, the fuzzers and the lint, and
# where mingw-w64 keeps each thread model's runtime: the install script, the Makefile, the CMake
# toolchain files and the scripts of tools/ and fuzz/ ask here and name no version or folder.
#
#   tools/toolchain.sh              every fact
#   tools/toolchain.sh KEY...       only those, in the order asked
#   tools/toolchain.sh --value KEY  only the value of one
#
#   DIST                 the distribution, as /etc/os-release names it
#   LLVM_VERSION         the LLVM chosen: the distribution's default when it is 16 or newer, else
#                        the oldest versioned one of 16 or newer that apt knows (installed or not)
#   LLVM_BIN             its programs' folder
#   LLVM_PACKAGES        the Debian packages that bring what the project uses of it
#   MINGW_POSIX_RUNTIME  the folder of libgcc and libstdc++ of mingw-w64's posix thread model,
#                        as its g++ reports it
#   MINGW_WIN32_RUNTIME  the same for the win32 thread model
#
# A fact that cannot be known yet prints empty: LLVM_* while apt knows no LLVM of 16 or newer (its
# package lists were never fetched), MINGW_* while that compiler is not installed.
set -eu

# 16 is the first LLVM whose clang can leave its command line, absolute paths and all, out of the
# PDB (-gno-codeview-command-line): older ones would make the PDB differ between checkouts.
# Without a default that new, the oldest one that is, not the newest: Debian 12's security suite
# carries newer LLVMs (19, 22) for building browser updates, and the newest would change under a
# release whenever another one arrives there.
llvm_oldest=16

# "1:19.0-63" is LLVM 19: the version without its epoch, up to the first dot.
major() {
  sed -n 's/^\([0-9]*:\)\{0,1\}\([0-9][0-9]*\)[.~+-].*/\2/p'
}

llvm_version() {
  default=$(apt-cache policy clang 2>/dev/null | sed -n 's/^ *Candidate: //p' | major)
  if [ -n "$default" ] && [ "$default" -ge $llvm_oldest ]; then
    echo "$default"
  else
    apt-cache search --names-only '^clang-[0-9]+$' 2>/dev/null |
      sed -n 's/^clang-\([0-9][0-9]*\) .*/\1/p' | sort -n |
      awk -v oldest=$llvm_oldest '$1 >= oldest' | head -n 1
  fi
}

mingw_runtime() {  # THREAD_MODEL: posix or win32
  compiler=x86_64-w64-mingw32-g++-$1
  command -v "$compiler" >/dev/null 2>&1 || return 0
  libgcc=$("$compiler" -print-libgcc-file-name)
  libstdcxx=$("$compiler" -print-file-name=libstdc++.a)
  folder=$(dirname "$libgcc")
  # The runtime is put in front of each module's link as one folder (cmake/mingw-w64-runtime.cmake).
  if [ "$(dirname "$libstdcxx")" != "$folder" ]; then
    echo "toolchain.sh: $compiler keeps libgcc in $folder but libstdc++ at $libstdcxx;" \
      "the build expects them in one folder" >&2
    exit 1
  fi
  echo "$folder"
}

fact() {
  case $1 in
    DIST) (. /etc/os-release && echo "${PRETTY_NAME:-$ID $VERSION_ID}") ;;
    LLVM_VERSION) echo "$llvm" ;;
    LLVM_BIN) [ -z "$llvm" ] || echo "/usr/lib/llvm-$llvm/bin" ;;
    # clang, lld and the llvm tools (llvm-pdbutil, llvm-symbolizer, llvm-objcopy, ...) for the
    # Windows build and its PDB; clang-tidy and clang-format for the lint; libFuzzer's runtime.
    LLVM_PACKAGES)
      [ -z "$llvm" ] ||
        echo "clang-$llvm lld-$llvm llvm-$llvm clang-tidy-$llvm clang-format-$llvm libclang-rt-$llvm-dev"
      ;;
    MINGW_POSIX_RUNTIME) mingw_runtime posix ;;
    MINGW_WIN32_RUNTIME) mingw_runtime win32 ;;
    *)
      echo "toolchain.sh: no fact named $1" >&2
      exit 2
      ;;
  esac
}

value_only=0
if [ "${1:-}" = --value ]; then
  [ $# -eq 2 ] || { echo "usage: $0 --value KEY" >&2; exit 2; }
  value_only=1
  shift
fi
if [ $# -eq 0 ]; then
  set -- DIST LLVM_VERSION LLVM_BIN LLVM_PACKAGES MINGW_POSIX_RUNTIME MINGW_WIN32_RUNTIME
fi
# apt-cache reads its package lists anew on every call, which takes seconds where its cache file is
# switched off: the LLVM is looked up once, and only when asked about.
llvm=""
case " $* " in *" LLVM_"*) llvm=$(llvm_version) ;; esac
for key in "$@"; do
  value=$(fact "$key")
  if [ $value_only -eq 1 ]; then echo "$value"; else echo "$key=$value"; fi
done

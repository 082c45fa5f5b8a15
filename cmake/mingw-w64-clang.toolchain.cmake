# Cross-compiles the plug-in and its Windows tests on Linux with clang and lld for mingw-w64: the
# build that ships. GNU ld writes no PDB, and the PDB (CodeView) is the symbol format that
# Windows debuggers and the game's crash loggers read; lld writes one beside the module.
#
# The LLVM is the one tools/toolchain.sh chooses, 16 or newer: clang 14 records its whole command
# line, absolute paths included, in the PDB, so two checkouts at different paths would never give
# the same bytes; 16 can leave it out (-gno-codeview-command-line).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-runtime.cmake)

fraywick_toolchain_facts(LLVM_BIN)
set(CMAKE_C_COMPILER ${FRAYWICK_LLVM_BIN}/clang)
set(CMAKE_CXX_COMPILER ${FRAYWICK_LLVM_BIN}/clang++)
set(CMAKE_C_COMPILER_TARGET ${FRAYWICK_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${FRAYWICK_MINGW_TRIPLE})
# clang brings no C++ runtime of its own for this target: mingw-w64-runtime.cmake names g++'s
# static libstdc++ and libgcc for every target, by thread model.
set(FRAYWICK_DRIVER_HAS_POSIX_RUNTIME OFF)
# So CMake's own compiler checks compile without linking: they run before any target exists to
# carry those runtime flags.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# The same resource compiler and import-library tool as the g++ build: one way of making each.
set(CMAKE_RC_COMPILER ${FRAYWICK_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${FRAYWICK_MINGW_TRIPLE}-dlltool)
# The import check and the release check read objdump's own listing of a module's tables.
set(CMAKE_OBJDUMP ${FRAYWICK_MINGW_TRIPLE}-objdump)
# LLVM's own tools for what lld made: stripping the module, reading it and its PDB back.
set(FRAYWICK_OBJCOPY ${FRAYWICK_LLVM_BIN}/llvm-objcopy)

# The mingw-w64 headers and import libraries of Debian's packages, never the Linux host's.
set(CMAKE_SYSROOT /usr)
set(CMAKE_FIND_ROOT_PATH /usr/${FRAYWICK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# That LLVM's lld, named by path: the clang driver would otherwise take the first ld.lld on the
# PATH, which may be an older one. Everything is linked statically, as in the g++ build.
set(_fraywick_link_init "-static --ld-path=${FRAYWICK_LLVM_BIN}/ld.lld")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_fraywick_link_init}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_fraywick_link_init}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_fraywick_link_init}")

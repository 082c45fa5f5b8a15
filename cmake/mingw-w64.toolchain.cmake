# Cross-compiles the plug-in and its Windows tests on Linux with mingw-w64 (64-bit only: the game
# and its script hook are 64-bit).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FRAYWICK_MINGW_TRIPLE x86_64-w64-mingw32)

# The posix thread model, because the win32 one of this g++ has no std::thread or std::mutex,
# which the tests use. Its cost, a dependency on winpthread, goes away with the static link below.
set(CMAKE_C_COMPILER ${FRAYWICK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FRAYWICK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FRAYWICK_MINGW_TRIPLE}-windres)
# Generates the import library of the script hook from our own .def file.
set(CMAKE_DLLTOOL ${FRAYWICK_MINGW_TRIPLE}-dlltool)

# Headers and libraries come from the mingw sysroot only, never from the Linux host; programs
# (the compilers' helpers, the shell) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${FRAYWICK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked into every module: the game folder has no mingw
# runtime DLLs, so the plug-in may import from nothing but the hook, KERNEL32 and msvcrt.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# g++ 12 at -O2 reports a -Wrestrict overlap inside libstdc++'s own string concatenation
# ("x" + std::string) that cannot happen (GCC bug 105329); it would bury real warnings.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")

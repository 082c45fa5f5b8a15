# Cross-compiles the plug-in and its Windows tests on Linux with mingw-w64's g++ (64-bit only: the
# game and its script hook are 64-bit). This is the second Windows compiler: the shipped module
# comes from clang (mingw-w64-clang.toolchain.cmake), which can write the symbol file crash
# loggers read; this build keeps the code honest on g++ and runs the same Wine suite.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-runtime.cmake)

# The posix thread model's driver, whose own runtime the test programs need (std::thread,
# std::mutex). The plug-in is pointed at the win32 model's runtime (mingw-w64-runtime.cmake).
set(CMAKE_C_COMPILER ${FRAYWICK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FRAYWICK_MINGW_TRIPLE}-g++-posix)
set(FRAYWICK_DRIVER_HAS_POSIX_RUNTIME ON)
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

# libgcc, libstdc++ and the thread library linked into every module: the game folder has no mingw
# runtime DLLs, so the plug-in may import from nothing but the hook, KERNEL32 and msvcrt.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# g++ 12 at -O2 reports a -Wrestrict overlap inside libstdc++'s own string concatenation
# ("x" + std::string) that cannot happen (GCC bug 105329); it would bury real warnings.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")

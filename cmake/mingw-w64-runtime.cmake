# Which mingw-w64 runtime each Windows module links statically, shared by both Windows
# toolchains.
#
# The plug-in is a guest in the game process and must leave nothing behind per load. The posix
# thread model's runtime (winpthread, and libstdc++ built on it) takes a TLS index on first use
# that its unload never gives back, so after about a thousand loads in one process the next load
# aborts; it also installs a process-wide vectored exception handler while loaded. The win32
# thread model's runtime does neither, so the plug-in links that one. It has no std::thread or
# std::mutex, which the test programs and GoogleTest need, so everything else keeps the posix one.
#
# A target opts into the win32 runtime with the target property FRAYWICK_WIN32_RUNTIME; the
# flags below pick each target's headers and libraries by that property.
set(FRAYWICK_MINGW_TRIPLE x86_64-w64-mingw32)
# Each thread model's folder of libgcc, libstdc++ and their headers, as its g++ reports it (the
# folder is named after the GCC release).
include(${CMAKE_CURRENT_LIST_DIR}/ToolchainFacts.cmake)
fraywick_toolchain_facts(MINGW_POSIX_RUNTIME MINGW_WIN32_RUNTIME)

define_property(TARGET PROPERTY FRAYWICK_WIN32_RUNTIME
  BRIEF_DOCS "Link the win32 thread model's runtime (the plug-in) instead of the posix one")

set(_fraywick_win32 "$<BOOL:$<TARGET_PROPERTY:FRAYWICK_WIN32_RUNTIME>>")

# The C++ headers of one runtime: libstdc++'s configuration header differs between the two, so a
# target must be compiled against the headers of the library it links. Each flag is one word
# (-isystemDIR): CMake drops repeated words from a target's options.
function(_fraywick_runtime_headers out dir)
  set(${out}
      -nostdinc++
      -isystem${dir}/include/c++
      -isystem${dir}/include/c++/${FRAYWICK_MINGW_TRIPLE}
      -isystem${dir}/include/c++/backward
      PARENT_SCOPE)
endfunction()

# Compiler options and link options for every target of the build, chosen per target. A driver
# that brings its own runtime (g++ of the posix model) needs only the win32 override; one that
# brings none (clang) needs both. Called once, at the top of the build.
function(fraywick_use_mingw_runtimes driver_has_posix_runtime)
  _fraywick_runtime_headers(win32_headers ${FRAYWICK_MINGW_WIN32_RUNTIME})
  _fraywick_runtime_headers(posix_headers ${FRAYWICK_MINGW_POSIX_RUNTIME})
  # -B finds the runtime's start-up objects (crtbegin.o), -L its libraries; both come before the
  # driver's own, so they win.
  set(win32_link -B${FRAYWICK_MINGW_WIN32_RUNTIME}/ -L${FRAYWICK_MINGW_WIN32_RUNTIME})
  set(posix_link -B${FRAYWICK_MINGW_POSIX_RUNTIME}/ -L${FRAYWICK_MINGW_POSIX_RUNTIME} -lwinpthread)
  if(driver_has_posix_runtime)
    set(posix_headers "")
    set(posix_link "")
  endif()
  # One generator expression per flag: a list inside a single one would be split apart.
  set(not_win32 "$<NOT:${_fraywick_win32}>")
  list(TRANSFORM win32_headers REPLACE "(.+)" "$<$<AND:$<COMPILE_LANGUAGE:CXX>,${_fraywick_win32}>:\\1>")
  list(TRANSFORM posix_headers REPLACE "(.+)" "$<$<AND:$<COMPILE_LANGUAGE:CXX>,${not_win32}>:\\1>")
  list(TRANSFORM win32_link REPLACE "(.+)" "$<${_fraywick_win32}:\\1>")
  list(TRANSFORM posix_link REPLACE "(.+)" "$<${not_win32}:\\1>")
  add_compile_options(${win32_headers} ${posix_headers})
  add_link_options(${win32_link} ${posix_link})
endfunction()

# Cross-compiling for 64-bit Windows with Debian's MinGW-w64, the flavour
# with POSIX threads (std::thread and pthread come from winpthreads):
#
#   cmake -S . -B build-windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DMARLO_BUILD_IDE=OFF
#
# The programs are linked statically, so that they run (under Wine too)
# without the compiler's DLLs beside them. With Wine present, ctest runs
# the tests through cmake/wine_run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MARLO_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MARLO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MARLO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${MARLO_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MARLO_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthread go into each .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(MARLO_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(MARLO_WINE)
    # The Wine prefix lies in the build folder.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh ${CMAKE_BINARY_DIR}/wine)
  endif()
endif()

# CMake toolchain file for the Windows build (build/windows): cross-compiles with mingw-w64 (posix
# threads model) on Linux. Used by scripts/test.sh and scripts/run.sh via -DCMAKE_TOOLCHAIN_FILE.
# Everything is linked statically so the .exe files need no mingw DLLs beside them, under wine or not.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NIGHTJAR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${NIGHTJAR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NIGHTJAR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${NIGHTJAR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NIGHTJAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static pulls in static libgcc, libstdc++ and winpthread as well; the explicit flags keep that so
# even if a target adds its own link options.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# ctest (and add_test with a target name) runs Windows executables through wine.
find_program(NIGHTJAR_WINE wine)
if(NIGHTJAR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NIGHTJAR_WINE})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()

# Third-party dependencies for both builds, included by the top-level CMakeLists.txt.
# Every target links the same names on either build: nightjar::sqlite, nightjar::cli11, GTest::gtest,
# GTest::gtest_main, GTest::gmock, Threads::Threads, and natively benchmark::benchmark when
# NIGHTJAR_HAVE_BENCHMARK is ON.

find_package(Threads REQUIRED)

# CLI11 (libcli11-dev) reads nightjar.com's options. It is headers only, so the one package serves
# both builds. The Windows build must not search the host's /usr/include as a whole (its C library's
# headers would stand in for mingw's), so it gets a folder of its own that holds only CLI11's.
find_path(NIGHTJAR_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
if(NOT NIGHTJAR_CLI11_INCLUDE)
  message(FATAL_ERROR "CLI11 not found (package libcli11-dev)")
endif()
add_library(nightjar_cli11 INTERFACE)
if(WIN32)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/_deps/cli11)
  file(CREATE_LINK ${NIGHTJAR_CLI11_INCLUDE}/CLI ${CMAKE_BINARY_DIR}/_deps/cli11/CLI SYMBOLIC)
  target_include_directories(nightjar_cli11 SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/_deps/cli11)
else()
  target_include_directories(nightjar_cli11 SYSTEM INTERFACE ${NIGHTJAR_CLI11_INCLUDE})
endif()
add_library(nightjar::cli11 ALIAS nightjar_cli11)

if(NOT WIN32)
  # Native build: everything comes from the system's packages (libgtest-dev, libbenchmark-dev,
  # libsqlite3-dev).
  find_package(GTest REQUIRED)

  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    set(NIGHTJAR_HAVE_BENCHMARK ON)
    message(STATUS "google benchmark ${benchmark_VERSION}: benchmarks are built")
  else()
    set(NIGHTJAR_HAVE_BENCHMARK OFF)
    message(STATUS "google benchmark not found (package libbenchmark-dev): benchmarks are not built")
  endif()

  find_package(SQLite3 REQUIRED)
  add_library(nightjar_sqlite INTERFACE)
  target_link_libraries(nightjar_sqlite INTERFACE SQLite::SQLite3)
  add_library(nightjar::sqlite ALIAS nightjar_sqlite)
  return()
endif()

# ---- Windows build (mingw-w64) --------------------------------------------------------------

# No benchmarks on Windows: they run natively only.
set(NIGHTJAR_HAVE_BENCHMARK OFF)

# googletest, built from the sources Debian installs with the googletest package. Its targets
# (gtest, gtest_main, gmock, gmock_main) carry the same GTest:: names the native build uses; older
# googletest releases did not define those, so they are added when missing.
set(NIGHTJAR_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "googletest sources for the Windows build")
if(NOT EXISTS ${NIGHTJAR_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "googletest sources not found in ${NIGHTJAR_GOOGLETEST_SOURCE_DIR} (package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${NIGHTJAR_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
foreach(gtest_lib gtest gtest_main gmock gmock_main)
  # googletest's own sources do not build warning-free under our -Wall -Wextra; they are not ours.
  target_compile_options(${gtest_lib} PRIVATE -w)
  if(NOT TARGET GTest::${gtest_lib})
    add_library(GTest::${gtest_lib} ALIAS ${gtest_lib})
  endif()
endforeach()

# SQLite: the amalgamation, produced from Debian's source package at configure time (about 10 s
# the first time, then cached in the build folder).
set(NIGHTJAR_SQLITE_DIR ${CMAKE_BINARY_DIR}/_deps/sqlite CACHE PATH "where the SQLite amalgamation is fetched to")
if(NOT EXISTS ${NIGHTJAR_SQLITE_DIR}/sqlite3.c OR NOT EXISTS ${NIGHTJAR_SQLITE_DIR}/sqlite3.h)
  message(STATUS "Fetching the SQLite amalgamation into ${NIGHTJAR_SQLITE_DIR}")
  execute_process(
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/fetch_sqlite.sh ${NIGHTJAR_SQLITE_DIR}
    RESULT_VARIABLE fetch_result)
  if(NOT fetch_result EQUAL 0)
    message(FATAL_ERROR "cmake/fetch_sqlite.sh failed (${fetch_result}); cannot build SQLite for Windows")
  endif()
endif()
file(STRINGS ${NIGHTJAR_SQLITE_DIR}/sqlite3.h sqlite_version_line REGEX "^#define SQLITE_VERSION +\"")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" NIGHTJAR_SQLITE_VERSION "${sqlite_version_line}")
message(STATUS "SQLite amalgamation ${NIGHTJAR_SQLITE_VERSION} from ${NIGHTJAR_SQLITE_DIR}")

add_library(nightjar_sqlite STATIC ${NIGHTJAR_SQLITE_DIR}/sqlite3.c)
target_include_directories(nightjar_sqlite SYSTEM PUBLIC ${NIGHTJAR_SQLITE_DIR})
# Serialized threading, as in the system library the native build links, so both builds behave
# alike; no extension loading, which we never use.
target_compile_definitions(nightjar_sqlite PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION=1)
# Upstream code: no warnings, and no debug info (it is large and slows every link for nothing).
target_compile_options(nightjar_sqlite PRIVATE -w -g0)
target_link_libraries(nightjar_sqlite PUBLIC Threads::Threads)
add_library(nightjar::sqlite ALIAS nightjar_sqlite)

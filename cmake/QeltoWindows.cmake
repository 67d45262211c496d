# The Windows build: the portable core, plus qelto_win32 with the Win32 implementations of its
# interfaces. Included by the top-level CMakeLists.txt when the target is Windows.

# Windows 7 SP1 is the oldest system the shops run; newer API would fail to load there.
# Wide-character Win32 API throughout: the recorder's texts are Persian.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX)

add_library(qelto_win32 STATIC)
add_library(qelto::win32 ALIAS qelto_win32)
target_link_libraries(qelto_win32 PUBLIC qelto_core advapi32 gdi32 user32 shell32 comctl32 odbc32)
qelto_target_options(qelto_win32)
target_sources(qelto_win32 PRIVATE
  ${PROJECT_SOURCE_DIR}/common/win32/system_error_text.cpp
  ${PROJECT_SOURCE_DIR}/common/win32/wide_text.cpp
)

# The version in the recorder's resources (resources/qelto.rc).
set(QELTO_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/resources/qelto_version.h.in
               ${QELTO_GENERATED_DIR}/qelto_version.h @ONLY)

# SQLite, compiled into the recorder. Debian has no SQLite for MinGW, so its source is made from
# Debian's source package once per machine and kept in a cache folder outside the build.
set(QELTO_SQLITE_SOURCE_DIR "$ENV{HOME}/.cache/qelto/sqlite3" CACHE PATH
    "Folder holding SQLite's sqlite3.c and sqlite3.h; filled from Debian's source package when empty")
if(NOT EXISTS ${QELTO_SQLITE_SOURCE_DIR}/sqlite3.c)
  message(STATUS "Making SQLite's source from Debian's source package into ${QELTO_SQLITE_SOURCE_DIR}")
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/cmake/fetch-sqlite-source ${QELTO_SQLITE_SOURCE_DIR}
                  RESULT_VARIABLE fetch_result)
  if(NOT fetch_result EQUAL 0)
    message(FATAL_ERROR "SQLite's source could not be made (see above). Run tools/install-deps, "
                        "or put sqlite3.c and sqlite3.h in QELTO_SQLITE_SOURCE_DIR.")
  endif()
endif()
enable_language(C)
add_library(qelto_sqlite3 STATIC ${QELTO_SQLITE_SOURCE_DIR}/sqlite3.c)
target_include_directories(qelto_sqlite3 SYSTEM PUBLIC ${QELTO_SQLITE_SOURCE_DIR})
target_compile_definitions(qelto_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION)
# SQLite's own code: optimised for size, whatever the build type, and without our warnings.
target_compile_options(qelto_sqlite3 PRIVATE -Os -w)
target_link_libraries(qelto_win32 PUBLIC qelto_sqlite3)

if(QELTO_BUILD_TESTS)
  # The tests run under Wine, through ctest, in a Wine prefix of this build's own (see
  # cmake/wine-run). GoogleTest is built for Windows from Debian's source of it.
  set(QELTO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH
      "The Wine prefix the Windows tests run in; made on first use")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run ${QELTO_WINE_PREFIX})
  set(QELTO_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's source (Debian: googletest)")
  # It makes the targets GTest::gtest, GTest::gtest_main and GTest::gmock itself.
  add_subdirectory(${QELTO_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

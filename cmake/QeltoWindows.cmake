# The Windows build: the portable core, plus qelto_win32 with the Win32 implementations of its
# interfaces. Included by the top-level CMakeLists.txt when the target is Windows.

# Windows 7 SP1 is the oldest system the shops run; newer API would fail to load there.
# Wide-character Win32 API throughout: the recorder's texts are Persian.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX)

add_library(qelto_win32 STATIC)
add_library(qelto::win32 ALIAS qelto_win32)
target_link_libraries(qelto_win32 PUBLIC qelto_core gdi32 user32 shell32 comctl32 odbc32)
qelto_target_options(qelto_win32)
target_sources(qelto_win32 PRIVATE ${PROJECT_SOURCE_DIR}/common/win32/wide_text.cpp)

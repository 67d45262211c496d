// qelto-hold-file.exe PATH SECONDS: holds PATH open with no sharing for SECONDS, as another
// user's recorder holds its working folder's journal lock. Prints "held" once it holds it.
// Exit code: 0 after the time, 1 when the file could not be opened.

#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::puts("held");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
  CloseHandle(file);
  return 0;
}

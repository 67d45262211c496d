#pragma once

#include <windows.h>

namespace qelto {

// Ctrl+C, Ctrl+Break and the closing of the console the recorder was started from: each asks the
// main window for the orderly shutdown (MainWindow::kCloseFromOutsideMessage), as a termination
// signal does on Linux. When the console goes away for good (closed, log-off, shutdown), Windows
// ends the process as soon as the handler returns, so the handler waits for the shutdown first.
// One per process, for the life of the main window.
class ConsoleCloseRelay {
 public:
  // `closed`: signalled by the main window once its shutdown has run.
  ConsoleCloseRelay(HWND window, HANDLE closed);
  ~ConsoleCloseRelay();
  ConsoleCloseRelay(const ConsoleCloseRelay&) = delete;
  ConsoleCloseRelay& operator=(const ConsoleCloseRelay&) = delete;
};

}  // namespace qelto

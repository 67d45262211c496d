#pragma once

namespace qelto {

class Clock;
class DriverBinding;
class FormHost;
class JournalStore;
class LogFiles;

// The outside things the main window object works with, handed in by the program entry (real
// ones) or by a test (fakes).
struct FormServices {
  FormHost& host;
  DriverBinding& driver;
  const Clock& clock;
  LogFiles& logFiles;
  JournalStore& journal;
};

}  // namespace qelto

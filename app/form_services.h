#pragma once

#include <string>

namespace qelto {

class Clock;
class DatabaseFactory;
class DriverBinding;
class DurableFile;
class FormHost;
class LogFiles;
class MessageDialog;
class SettingsSource;
class StatusLabels;
class TrayIcon;

// The outside things the main window object works with, handed in by the program entry (real
// ones) or by a test (fakes).
struct FormServices {
  FormHost& host;
  DriverBinding& driver;
  const Clock& clock;
  LogFiles& logFiles;
  DurableFile& journal;         // the call journal
  DurableFile& damagedJournal;  // where unreadable journal records are kept
  DurableFile& rejected;        // calls the database refused for good
  SettingsSource& settings;
  DatabaseFactory& databases;
  TrayIcon& tray;
  StatusLabels& labels;  // LabelDB and LabelUSB
  MessageDialog& dialog;
  // The database writer runs on a thread of its own; tests may run it inside the tick instead.
  bool writerThread = true;
  // rejected-calls.txt's full path, as the status window names it; its bare name when empty.
  std::string rejectedPlace = std::string();
};

}  // namespace qelto

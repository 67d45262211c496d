#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "recording/recent_calls.h"
#include "ui/status_snapshot.h"

namespace qelto {

// How a row is painted: plain, or green / red for a state that is good / bad.
enum class RowTone { kPlain, kGood, kBad };

// One line of a section: a label and its value, both UTF-8 (Persian, laid out right to left).
struct StatusRow {
  std::string label;
  std::string value;
  RowTone tone = RowTone::kPlain;
};

// One line of the table of recent calls.
struct CallRow {
  std::string time;  // Solar date and time, as the row is written: "05/09/19 11:29:22"
  std::string line;
  std::string number;
  std::string state;  // Persian: written, waiting for the database, set aside; recovered marked
  RowTone tone = RowTone::kPlain;
};

// The window's content, ready to be shown; the platform windows add nothing but layout.
struct StatusView {
  std::string title;
  std::string databaseHeading;
  std::vector<StatusRow> database;
  std::string devicesHeading;
  std::vector<StatusRow> devices;
  std::string callsHeading;
  std::vector<std::string> callColumns;  // time, line, number, state
  std::vector<CallRow> calls;            // newest first
  std::string noCallsText;               // shown in place of the table while it is empty
  std::string reportButton;              // the support report's button
};

StatusView BuildStatusView(const StatusSnapshot& snapshot);

// One device line of a driver's information text (from its fifth line on).
struct DeviceLine {
  std::string label;  // the line without its state, e.g. "Line 1"
  bool connected = false;
};
// The version line's version ("2.1"), and the device lines, of an information text.
std::string DriverVersionText(std::string_view infoText);
std::vector<DeviceLine> DeviceLinesOf(std::string_view infoText);

// "YY/MM/DD HH:mm:ss" in the Solar calendar, as the call rows are stamped.
std::string SolarMomentText(const LocalDateTime& moment);

// The window's texts after an attempt at the support report: where it was written, or why not;
// the path on a line of its own, the reason on the next.
std::string ReportWrittenText(const std::string& path);
std::string ReportFailedText(const std::string& path, const std::string& reason);
// Written, but the clipboard would not take it (another program held it): the technician opens
// the file instead. `reason` may be empty when the platform gives none.
std::string ReportNotCopiedText(const std::string& path, const std::string& reason);

}  // namespace qelto

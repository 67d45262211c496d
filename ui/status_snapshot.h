#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "recording/database_target.h"
#include "recording/recent_calls.h"
#include "recording/writer_control.h"

namespace qelto {

// Where the calls go, as the settings file names it: never the password.
struct DatabaseSettings {
  bool read = false;  // the settings file was read; nothing below is set otherwise
  std::string settingsPath;
  DatabaseKind kind = DatabaseKind::SqlServer;
  std::string place;      // the SQLite file, the ODBC data source or the SQL Server
  std::string catalogue;  // SQL Server: the Initial Catalog; empty otherwise
  bool integratedSecurity = true;
  std::string user;  // empty with integrated security
  std::string branchCode;
};

// What the writer knows of the database, taken without waiting for it.
struct DatabaseStatus {
  DatabaseSettings settings;
  bool connected = false;
  // When the connection last came up or went down; none before the first attempt.
  std::optional<LocalDateTime> since;
  std::string lastError;  // the latest failure's message, one line; empty when none this run
  std::optional<LocalDateTime> lastErrorAt;
  CallsWaiting waiting;            // in the queue, with the longest wait
  std::size_t journalPending = 0;  // calls the journal holds as not yet written
  std::size_t setAside = 0;        // records in the file of calls set aside
  std::string setAsideFile;        // its full path
};

// What the driver last said: its information text and its latest status event.
struct DeviceStatus {
  std::string infoText;        // UTF-8, CR LF line ends, as the driver last gave it
  std::int32_t connected = 0;  // the device counters: at the last status event
  std::int32_t highest = 0;    // and the highest seen since start
  std::string lastStatus;      // the latest status event's text without its "S"; empty when none
  std::optional<LocalDateTime> lastStatusAt;
};

// Everything the status window shows, copied at one moment from the writer's state, the journal's
// count, the device counters and texts, and the ring of recent calls.
struct StatusSnapshot {
  LocalDateTime taken;
  DatabaseStatus database;
  DeviceStatus devices;
  std::vector<RecentCall> recent;  // newest first, at most RecentCalls::kCapacity
};

}  // namespace qelto

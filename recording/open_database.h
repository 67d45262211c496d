#pragma once

#include <memory>
#include <string>

#include "recording/database.h"
#include "recording/server_config.h"

namespace qelto {

// The database that the settings name (see DatabaseTargetFor), not yet connected: Open() on the
// result connects. A relative SQLite path is taken from `baseFolder`, the settings file's folder,
// so the recorder finds its file whatever folder it was started from. Each platform has its own
// (posix/, win32/): they differ in how paths are spelled and which driver reaches SQL Server.
std::unique_ptr<Database> OpenDatabaseFor(const ServerConfig& config, const std::string& baseFolder,
                                          DatabaseTimeouts timeouts = {});

}  // namespace qelto

#include "recording/open_database.h"

#include <filesystem>

#include "recording/database_target.h"
#include "recording/odbc/odbc_database.h"
#include "recording/sqlite/sqlite_database.h"

namespace qelto {
namespace {

std::string ResolvedPath(const std::string& path, const std::string& baseFolder) {
  const std::filesystem::path file(path);
  if (path.empty() || file.is_absolute()) return path;
  return (std::filesystem::path(baseFolder) / file).string();
}

}  // namespace

std::unique_ptr<Database> OpenDatabaseFor(const ServerConfig& config, const std::string& baseFolder,
                                          DatabaseTimeouts timeouts) {
  const DatabaseTarget target = DatabaseTargetFor(config);
  if (target.kind == DatabaseKind::Sqlite) {
    return std::make_unique<SqliteDatabase>(ResolvedPath(target.path, baseFolder), timeouts);
  }
  return std::make_unique<OdbcDatabase>(OdbcConnectionString(target), DialectOf(target.kind),
                                        timeouts);
}

}  // namespace qelto

#include "recording/open_database.h"

#include <filesystem>

#include "common/win32/wide_text.h"
#include "recording/database_target.h"
#include "recording/odbc/odbc_database.h"
#include "recording/sqlite/sqlite_database.h"
#include "recording/win32/odbc_drivers.h"

namespace qelto {
namespace {

// Paths are UTF-8 in the recorder and UTF-16 to Windows; std::filesystem on MinGW takes a
// narrow string in the ANSI code page, so it is given the wide one.
std::string ResolvedPath(const std::string& path, const std::string& baseFolder) {
  const std::filesystem::path file(WideFromUtf8(path));
  if (path.empty() || file.is_absolute()) return path;
  return Utf8FromWide((std::filesystem::path(WideFromUtf8(baseFolder)) / file).wstring());
}

}  // namespace

std::unique_ptr<Database> OpenDatabaseFor(const ServerConfig& config, const std::string& baseFolder,
                                          DatabaseTimeouts timeouts) {
  const DatabaseTarget target = DatabaseTargetFor(config);
  if (target.kind == DatabaseKind::Sqlite) {
    return std::make_unique<SqliteDatabase>(ResolvedPath(target.path, baseFolder), timeouts);
  }
  const std::string driver = target.kind == DatabaseKind::SqlServer
                                 ? PreferredSqlServerDriver(InstalledOdbcDrivers())
                                 : std::string();
  return std::make_unique<OdbcDatabase>(OdbcConnectionString(target, driver),
                                        DialectOf(target.kind), timeouts);
}

}  // namespace qelto

#include "app/posix/working_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace qelto {
namespace {

constexpr mode_t kPrivateFolderMode = 0700;

// mkdir -p with every folder it makes private: the XDG folders are meant to be the user's own.
bool MakeFolders(const std::string& folder, std::string& error) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST) {
      error = part + ": " + std::strerror(errno);
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

}  // namespace

bool HasStateFolderOption(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == kStateFolderOption) return true;
  }
  return false;
}

std::string StateFolder(const char* xdgStateHome, const char* home) {
  if (xdgStateHome != nullptr && xdgStateHome[0] == '/') {
    return std::string(xdgStateHome) + "/qelto-callerid";
  }
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/state/qelto-callerid";
  return {};
}

bool EnterStateFolder(const std::string& folder, std::string& error) {
  if (folder.empty() || folder[0] != '/') {
    error = "neither XDG_STATE_HOME nor HOME names a folder";
    return false;
  }
  if (!MakeFolders(folder, error)) return false;
  if (::chdir(folder.c_str()) != 0) {
    error = folder + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace qelto

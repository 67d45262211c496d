#include "app/posix/executable_path.h"

#include <filesystem>
#include <system_error>

namespace qelto {

std::string ExecutableDirectory() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return exe.parent_path().string();
}

}  // namespace qelto

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

#include "drivers/driver_setup.h"
#include "drivers/posix/unique_fd.h"

namespace qelto::sim {

ConfigFileText ReadConfigFile(const std::string& path) {
  ConfigFileText file;
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    file.exists = errno != ENOENT && errno != ENOTDIR;
    file.problem = std::generic_category().message(errno);
    return file;
  }
  file.exists = true;
  std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t received = ::read(fd.get(), buffer.data(), buffer.size());
    if (received < 0 && errno == EINTR) continue;
    if (received < 0) {
      file.problem = std::generic_category().message(errno);
      return file;
    }
    if (received == 0) return file;
    file.text.append(buffer.data(), static_cast<std::size_t>(received));
    if (file.text.size() > kMaxConfigBytes) {
      file.problem = "larger than 1 MB";
      return file;
    }
  }
}

}  // namespace qelto::sim

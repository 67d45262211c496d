#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

#include "drivers/driver_setup.h"
#include "drivers/posix/plain_file.h"
#include "drivers/posix/unique_fd.h"

namespace qelto::cidr {

ConfigFileText ReadConfigFile(const std::string& path) {
  ConfigFileText file;
  // A FIFO put at its name would hold the recorder's start until someone writes into it.
  const UniqueFd fd(OpenRegularFile(path, O_RDONLY));
  if (!fd.valid()) {
    const int error = errno;
    file.exists = error != ENOENT && error != ENOTDIR;
    file.problem = NotARegularFile(path, error);
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

}  // namespace qelto::cidr

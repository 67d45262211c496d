#include "drivers/posix/driver_setup.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>
#include <system_error>

#include "drivers/driver_config.h"
#include "drivers/posix/unique_fd.h"

namespace qelto::sim {
namespace {

// A configuration file is a few dozen lines; anything near this size is not one.
constexpr std::size_t kMaxConfigBytes = 1 << 20;

struct FileText {
  bool exists = false;
  std::string text;
  std::string problem;  // why an existing file could not be read
};

FileText ReadConfigFile(const std::string& path) {
  FileText file;
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

}  // namespace

DriverSetup LoadDriverSetup(const std::vector<std::string>& candidates, int simulated_count) {
  for (const std::string& path : candidates) {
    const FileText file = ReadConfigFile(path);
    if (!file.exists) continue;
    DriverConfig config;
    if (file.problem.empty()) {
      config = ParseDriverConfig(file.text);
    } else {
      config.errors.push_back("cannot read it: " + file.problem);
    }
    return {DeviceRoster::Configured(config, path), PathBesideConfig(path, config.raw_log)};
  }
  return {DeviceRoster::Simulated(simulated_count), {}};
}

}  // namespace qelto::sim

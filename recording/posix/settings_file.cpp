#include "recording/posix/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "recording/open_database.h"

namespace qelto {
namespace {

enum class Outcome { kRead, kAbsent, kFailed };

// Closes the descriptor it was given, whatever way the reading ends.
class OpenedFile {
 public:
  // Without waiting: a FIFO at the settings' name would hold the start for ever in open(2).
  explicit OpenedFile(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
  ~OpenedFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// What a settings file may not be, in the words of strerror(3) for the log: a folder, or anything
// else that is no regular file (a FIFO, a device, a socket), which could block or never end.
const char* NotAFileReason(mode_t mode) {
  if (S_ISREG(mode)) return nullptr;
  return S_ISDIR(mode) ? std::strerror(EISDIR) : "Not a regular file";
}

// Reads the whole file.
Outcome ReadWhole(const std::string& path, std::string& content, std::string& osError,
                  bool& readableByOthers) {
  const OpenedFile file(path);
  if (file.fd() < 0) {
    const int error = errno;
    osError = std::strerror(error);
    return error == ENOENT || error == ENOTDIR ? Outcome::kAbsent : Outcome::kFailed;
  }
  struct stat info {};
  if (::fstat(file.fd(), &info) != 0) {
    osError = std::strerror(errno);
    return Outcome::kFailed;
  }
  if (const char* reason = NotAFileReason(info.st_mode)) {
    osError = reason;
    return Outcome::kFailed;
  }
  readableByOthers = (info.st_mode & S_IROTH) != 0;
  std::string bytes;
  std::array<char, 4096> buffer{};
  ssize_t received = 0;
  while ((received = ::read(file.fd(), buffer.data(), buffer.size())) != 0) {
    if (received < 0 && errno == EINTR) continue;
    if (received < 0) {
      osError = std::strerror(errno);
      return Outcome::kFailed;
    }
    bytes.append(buffer.data(), static_cast<std::size_t>(received));
  }
  content = std::move(bytes);
  return Outcome::kRead;
}

std::string InFolder(const std::string& folder, const char* name) {
  return folder + "/" + name;
}

}  // namespace

std::vector<SettingsPlace> SettingsPlaces(const std::string& executableDirectory,
                                          const char* xdgConfigHome, const char* home,
                                          const std::string& systemDirectory) {
  std::vector<SettingsPlace> places;
  if (!executableDirectory.empty()) {
    places.push_back({InFolder(executableDirectory, kSettingsFileName), true});
  }
  std::string config;
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
    config = xdgConfigHome;
  } else if (home != nullptr && home[0] == '/') {
    config = std::string(home) + "/.config";
  }
  if (!config.empty()) {
    places.push_back({InFolder(config + "/qelto-callerid", kSettingsFileName), false});
  }
  if (!systemDirectory.empty()) {
    places.push_back({InFolder(systemDirectory, kSettingsFileName), false});
  }
  return places;
}

SettingsFile::SettingsFile(std::vector<SettingsPlace> places, std::ostream& notes)
    : places_(std::move(places)), notes_(notes) {
  if (!places_.empty()) chosen_ = places_.front();
}

std::string SettingsFile::Path() const {
  return chosen_.path;
}

bool SettingsFile::Read(std::string& content, std::string& osError) {
  for (const SettingsPlace& place : places_) {
    const Outcome outcome = ReadWhole(place.path, content, osError, readableByOthers_);
    if (outcome == Outcome::kAbsent) continue;
    chosen_ = place;
    if (outcome == Outcome::kRead) {
      notes_ << "qelto-callerid: settings read from " << place.path << "\n";
      return true;
    }
    notes_ << "qelto-callerid: settings file " << place.path << " cannot be read: " << osError
           << "\n";
    return false;
  }
  if (!places_.empty()) chosen_ = places_.front();
  osError = std::strerror(ENOENT);
  notes_ << "qelto-callerid: no settings file " << kSettingsFileName << "; looked for:\n";
  for (const SettingsPlace& place : places_) notes_ << "  " << place.path << "\n";
  notes_.flush();
  return false;
}

bool SettingsFile::ReadableByOthers() const {
  return readableByOthers_;
}

std::string SettingsFile::DataFolder() const {
  if (chosen_.dataBesideFile) return std::filesystem::path(chosen_.path).parent_path().string();
  std::error_code error;
  return std::filesystem::current_path(error).string();
}

PlatformDatabaseFactory::PlatformDatabaseFactory(const SettingsFile& settings)
    : settings_(settings) {}

std::unique_ptr<Database> PlatformDatabaseFactory::Create(const ServerConfig& config) {
  return OpenDatabaseFor(config, settings_.DataFolder());
}

}  // namespace qelto

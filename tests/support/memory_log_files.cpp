#include "support/memory_log_files.h"

#include <sstream>

namespace qelto::testing_support {
namespace {

class MemoryLogFile : public LogFile {
 public:
  MemoryLogFile(std::mutex& lock, std::string& content) : lock_(lock), content_(content) {}
  bool Append(std::string_view bytes) override {
    std::lock_guard guard(lock_);
    content_.append(bytes);
    return true;
  }

 private:
  std::mutex& lock_;
  std::string& content_;
};

}  // namespace

std::unique_ptr<LogFile> MemoryLogFiles::OpenForAppend(const std::string&) {
  return std::make_unique<MemoryLogFile>(lock_, content_);
}

std::vector<std::string> MemoryLogFiles::Messages() const {
  constexpr std::size_t kStampLength = sizeof("YYYY-MM-DD HH:mm:ss - ") - 1;
  std::lock_guard guard(lock_);
  std::vector<std::string> messages;
  std::istringstream lines(content_);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    messages.push_back(line.substr(std::min(kStampLength, line.size())));
  }
  return messages;
}

}  // namespace qelto::testing_support

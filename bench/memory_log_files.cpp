#include "bench/memory_log_files.h"

#include <utility>

namespace qelto::bench {

class MemoryLogFiles::File : public LogFile {
 public:
  explicit File(MemoryLogFiles& owner) : owner_(owner) {}
  bool Append(std::string_view bytes) override {
    owner_.Add(std::string(bytes));
    return true;
  }

 private:
  MemoryLogFiles& owner_;
};

std::int64_t MemoryLogFiles::FileSizeOf(const std::string&) {
  return -1;
}

bool MemoryLogFiles::CreateEmpty(const std::string&) {
  return true;
}

std::unique_ptr<LogFile> MemoryLogFiles::OpenForAppend(const std::string&) {
  return std::make_unique<File>(*this);
}

std::vector<std::string> MemoryLogFiles::Lines() const {
  std::lock_guard guard(lock_);
  return lines_;
}

void MemoryLogFiles::Add(std::string line) {
  std::lock_guard guard(lock_);
  lines_.push_back(std::move(line));
}

}  // namespace qelto::bench

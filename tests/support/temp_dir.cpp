#include "support/temp_dir.h"

#include <random>
#include <stdexcept>
#include <system_error>

namespace qelto::testing_support {

TempDir::TempDir() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate = base / ("qelto-test-" + std::to_string(random()));
    // create_directory is false when the name is taken: try another.
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no fresh temporary folder could be made");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace qelto::testing_support

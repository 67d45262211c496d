#include "bench/statistics.h"

#include <algorithm>
#include <cmath>

namespace qelto::bench {

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  const auto rank =
      static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
  const std::size_t index = std::clamp<std::size_t>(rank, 1, values.size()) - 1;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                   values.end());
  return values[index];
}

double Maximum(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

}  // namespace qelto::bench

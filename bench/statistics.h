#pragma once

#include <vector>

namespace qelto::bench {

// The nearest-rank percentile: the smallest value with at least `fraction` of the values at or
// below it (fraction 0.5 gives the median, 0.99 the 99th percentile). 0 for no values.
double Percentile(std::vector<double> values, double fraction);

double Maximum(const std::vector<double>& values);

}  // namespace qelto::bench

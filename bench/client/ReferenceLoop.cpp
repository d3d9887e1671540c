#include "ReferenceLoop.h"

#include "model/StrictFloatingPoint.h"

#include <cmath>

namespace bench {

double referenceSum(std::int64_t steps) {
    double sum = 0.0;
    for (std::int64_t i = 0; i < steps; ++i) {
        sum += std::sqrt(double(i));
    }
    return sum;
}

} // namespace bench

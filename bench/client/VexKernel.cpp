#include "VexKernel.h"

#include "model/StrictFloatingPoint.h"

#include <cmath>

namespace bench {

// The kernel's loop again, compiled to VEX encodings (vsqrtsd, vaddsd), which carry no
// dependency on the upper halves whatever their state: the mend not chosen, kept to compare.
__attribute__((target("avx"))) double vexSum(std::int64_t steps) {
    double sum = 0.0;
    for (std::int64_t i = 0; i < steps; ++i) {
        sum += std::sqrt(double(i));
    }
    return sum;
}

} // namespace bench

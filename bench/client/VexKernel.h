#pragma once

#include <cstdint>

namespace bench {

// The kernel with VEX encodings; call only where the CPU has AVX.
double vexSum(std::int64_t steps);

} // namespace bench

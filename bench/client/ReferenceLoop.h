#pragma once

#include <cstdint>

namespace bench {

// The kernel written out plainly, in a translation unit of its own so it is
// compiled alone at the project's -O2 and never inlined into a timing loop.
double referenceSum(std::int64_t steps);

} // namespace bench

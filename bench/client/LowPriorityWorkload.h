#pragma once

#include "model/StressWorkload.h"

namespace bench {

// A candidate for keeping the event loop answering during a run: the same
// task group, but every thread that works in it runs at a lower scheduling
// priority (nice), so a waking main thread preempts it at once. Returns the
// seconds of the group alone, like the product's run.
double lowPriorityWorkload(const model::WorkloadSize& size);

} // namespace bench

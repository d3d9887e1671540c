#pragma once

#include "model/BenchmarkViewModel.h"

namespace ui {

// Queues work items on the Qt application's event loop, in posting order.
// Items posted when no application exists are dropped: there is no window
// left to show their outcome.
model::MainThreadPoster qtMainThreadPoster();

} // namespace ui

#pragma once

#include <string>

namespace cli {

// One line of progress: a bar of 24 cells, the finished children out of all,
// and the seconds so far, e.g. "[████░░…] 4/24  0.8 sn". Plain text; the
// caller adds whatever returns the cursor on a terminal.
std::string progressLine(int finished, int total, double elapsedSeconds);

} // namespace cli

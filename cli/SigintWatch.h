#pragma once

#include <chrono>

namespace cli {

// Ctrl-C as something to wait for rather than a handler to run: SIGINT is
// blocked and read from a signalfd, so no global flag and nothing
// async-signal-unsafe is involved. Threads inherit the blocked mask, so
// construct this on the main thread before any other thread starts.
class SigintWatch {
public:
    SigintWatch();
    ~SigintWatch();
    SigintWatch(const SigintWatch&) = delete;
    SigintWatch& operator=(const SigintWatch&) = delete;

    // Waits up to `timeout`; true when a Ctrl-C arrived.
    bool wait(std::chrono::milliseconds timeout);

    // Stops watching: from now on Ctrl-C ends the process as usual. A Ctrl-C
    // still pending is taken first and reported, so it cannot end the process
    // in the middle of what the caller does next.
    bool release();

private:
    int fd_ = -1;
    bool released_ = false;
};

} // namespace cli

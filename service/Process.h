#pragma once
// The service's one door to the operating system's process-wide state and
// its raw descriptors: what main sets up once, how it waits to stop, and how
// the log writes. Everything else goes through Asio, SQLite or libpq; a call
// that fits none of them is added here, not where it is needed.

#include <csignal>
#include <string_view>

namespace service {

// Blocks SIGTERM and SIGINT in this thread and every thread started after
// it, so that only waitForStop sees them; makes a write to a closed pipe or
// socket an error (EPIPE) rather than the end of the process, here and in
// every thread; raises the soft limit on open descriptors to the hard one,
// since every open connection holds one. Call first, before any thread starts.
sigset_t prepareProcess();

// For a thread that writes to descriptors it does not own, in a process that
// may not have called prepareProcess (a test's): a reader that went away
// must not end the process from this thread.
void shieldThreadFromPipeSignal();

// Waits until one of `signals`, blocked by prepareProcess, arrives.
void waitForStop(const sigset_t& signals);

// Writes all of `text` to `fd`, past short writes and interruptions. What
// could not be written, when it fails: nothing when all was.
std::size_t writeAll(int fd, std::string_view text);

} // namespace service

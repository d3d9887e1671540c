#include "service/Process.h"

#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace service {

sigset_t prepareProcess() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    return stopSignals;
}

void shieldThreadFromPipeSignal() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

void waitForStop(const sigset_t& signals) {
    int signal = 0;
    sigwait(&signals, &signal);
}

std::size_t writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const auto n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return text.size();
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

} // namespace service

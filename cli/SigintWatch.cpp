#include "cli/SigintWatch.h"

#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace cli {
namespace {

sigset_t sigintOnly() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    return set;
}

} // namespace

SigintWatch::SigintWatch() {
    const sigset_t set = sigintOnly();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) {
        // Unwatchable: leave Ctrl-C its default, which still stops the run.
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
}

SigintWatch::~SigintWatch() {
    release();
}

bool SigintWatch::wait(std::chrono::milliseconds timeout) {
    if (fd_ < 0) {
        ::poll(nullptr, 0, static_cast<int>(timeout.count()));
        return false;
    }
    pollfd entry{fd_, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(timeout.count())) <= 0) {
        return false;
    }
    signalfd_siginfo info{};
    return ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
}

bool SigintWatch::release() {
    if (released_) {
        return false;
    }
    released_ = true;
    const bool pending = wait(std::chrono::milliseconds(0));
    if (fd_ >= 0) {
        ::close(fd_);
    }
    const sigset_t set = sigintOnly();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return pending;
}

} // namespace cli

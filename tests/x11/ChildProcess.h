#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace xwindow {

// The program under test, started without arguments. Whatever happens to the test, the
// process is gone when the object goes: killed if it still runs, and always reaped.
class ChildProcess {
public:
    // `overrides` are "NAME=value" entries that replace or extend the inherited environment.
    ChildProcess(const std::string& path, const std::vector<std::string>& overrides);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const noexcept { return pid_; }

    // The wait status once the process has ended within `timeout`; nothing while it runs.
    std::optional<int> waitFor(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// "exited with status 3", "killed by signal 9": for failure messages.
std::string describeWaitStatus(int status);

} // namespace xwindow

#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace service {

// The real score-service binary, started with `args`. The constructor waits
// (bounded) for its first line and throws if it does not say where it listens.
// The destructor kills the process if it still runs and always reaps it.
class ServiceProcess {
public:
    explicit ServiceProcess(const std::vector<std::string>& args);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    const std::string& baseUrl() const { return baseUrl_; }
    // Sends `signal` and returns the wait status, or -1 if it runs on past 15 s.
    int stop(int signal);

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string baseUrl_;
};

} // namespace service

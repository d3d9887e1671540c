#include "service/ServiceProcess.h"

#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace service {
namespace {

std::string readFirstLine(int fd, int timeoutMs) {
    std::string line;
    char c = 0;
    pollfd entry{fd, POLLIN, 0};
    while (poll(&entry, 1, timeoutMs) == 1 && read(fd, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

} // namespace

ServiceProcess::ServiceProcess(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        throw std::runtime_error("pipe");
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        std::vector<char*> argv{const_cast<char*>(SCORE_SERVICE_BINARY)};
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    output_ = pipeFds[0];
    const std::string line = readFirstLine(output_, 10000);
    const std::string prefix = "listening on ";
    if (line.rfind(prefix, 0) != 0) {
        stop(SIGKILL);
        throw std::runtime_error("score-service did not start: '" + line + "'");
    }
    baseUrl_ = line.substr(prefix.size());
}

int ServiceProcess::stop(int signal) {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, signal);
    int status = 0;
    for (int i = 0; i < 1500; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return status;
        }
        usleep(10000);
    }
    return -1;
}

ServiceProcess::~ServiceProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) {
        close(output_);
    }
}

} // namespace service

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

struct Finished {
    int status = -1; // the exit status, or -1 when it did not exit on its own
    std::string out, err;
};

// Runs the real executable, stdout on a pipe and stderr on a pipe or a
// terminal. `onErr` sees stderr so far and returns true to send one SIGINT.
// Killed after 60 s at the latest.
Finished runExecutable(std::vector<std::string> args, bool errTerminal,
                       const std::function<bool(const std::string&)>& onErr = {}) {
    int out[2], err[2];
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(errTerminal ? openpty(&err[0], &err[1], nullptr, nullptr, nullptr) : pipe(err), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    args.insert(args.begin(), CLI_EXECUTABLE);
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, CLI_EXECUTABLE, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    Finished finished;
    if (pid <= 0) { // never signal a pid that is not our child's
        close(out[0]);
        close(err[0]);
        return finished;
    }
    bool interrupted = false;
    pollfd fds[] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while ((fds[0].fd >= 0 || fds[1].fd >= 0) && std::chrono::steady_clock::now() < deadline) {
        poll(fds, 2, 100);
        for (int i = 0; i < 2; ++i) {
            char buffer[4096];
            const ssize_t n = fds[i].revents ? read(fds[i].fd, buffer, sizeof buffer) : 1;
            if (n <= 0) { // a pty reports the end as EIO
                close(fds[i].fd);
                fds[i].fd = -1;
            } else if (fds[i].revents) {
                (i == 0 ? finished.out : finished.err).append(buffer, std::size_t(n));
            }
        }
        if (onErr && !interrupted && onErr(finished.err)) {
            interrupted = kill(pid, SIGINT) == 0;
        }
    }
    kill(pid, SIGKILL); // no effect once it has exited: it is not reaped yet
    int status = 0;
    waitpid(pid, &status, 0);
    finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return finished;
}

TEST(ExecutableTest, AUsageErrorExits64AndSaysWhy) {
    const Finished run = runExecutable({"--no-submit", "--frobnicate"}, false);
    EXPECT_EQ(run.status, 64);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("--frobnicate"), std::string::npos);
}

// The product's own workload, measured only: a few seconds.
TEST(ExecutableTest, MeasuresOnlyAndPrintsOneJsonObjectWithoutControlCodes) {
    const Finished run = runExecutable({"--no-submit", "--json"}, false);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["outcome"], "not_submitted");
    EXPECT_TRUE(json["text"].is_null());
    EXPECT_DOUBLE_EQ(json["score"].get<double>(), json["elapsed_sec"].get<double>() * 3.5);
}

// The count of finished children the bar showed last; -1 before the first.
int lastCount(const std::string& err) {
    const auto at = err.rfind("] ");
    return at == std::string::npos ? -1 : std::atoi(err.c_str() + at + 2);
}

// Ctrl-C once the bar shows a finished child: the last count drawn is short of
// 24, and no outcome line follows, so nothing was submitted.
TEST(ExecutableTest, CtrlCStopsBetweenChildrenAndExits130WithoutSubmitting) {
    std::chrono::steady_clock::time_point sent;
    const Finished run = runExecutable({}, true, [&](const std::string& err) {
        sent = std::chrono::steady_clock::now();
        return lastCount(err) > 0;
    });
    EXPECT_EQ(run.status, 130);
    EXPECT_LT(lastCount(run.err), 24) << run.err;
    EXPECT_NE(run.err.find("durduruldu"), std::string::npos);
    EXPECT_EQ(run.out.find("Derleme Skoru"), std::string::npos) << run.out;
    const std::chrono::duration<double, std::milli> stopping =
        std::chrono::steady_clock::now() - sent;
    RecordProperty("ms_from_sigint_to_exit", int(stopping.count()));
}

} // namespace

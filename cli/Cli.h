#pragma once

#include "hardware/SystemProbe.h"
#include "model/StressWorkload.h"
#include "submission/Endpoint.h"
#include "submission/Submission.h"

#include <chrono>
#include <functional>
#include <future>
#include <iosfwd>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace cli {

// How a command ends; each has its own exit status.
enum class Ending {
    Accepted,
    Refused,
    Unreachable,
    MeasuredOnly,
    Informed,
    UsageError,
    Interrupted,
    Failed
};

int exitStatus(Ending ending);
Ending endingFor(submission::Outcome outcome);

// Everything the command touches in the outside world.
struct CliSeams {
    hardware::SystemProbe system;
    submission::Endpoint endpoint = submission::Endpoint::system();
    model::WorkloadSize workload;
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    bool errIsTerminal = false; // the progress bar is drawn there only
    // Waits up to the timeout for Ctrl-C; true once it came.
    std::function<bool(std::chrono::milliseconds)> waitForInterrupt = [](auto timeout) {
        std::this_thread::sleep_for(timeout);
        return false;
    };
    // Before submitting: ends the watch, true when a Ctrl-C was still pending.
    std::function<bool()> releaseInterrupts = [] { return false; };
    std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now;
    // Starts the run on a thread of its own; throws std::system_error when there is none.
    std::function<std::future<std::optional<double>>(std::function<std::optional<double>()>)>
        startRun = [](auto run) { return std::async(std::launch::async, std::move(run)); };
};

// The whole command for `arguments` (without the program's name); returns the
// exit status.
int runCli(const std::vector<std::string>& arguments, const CliSeams& seams);

} // namespace cli

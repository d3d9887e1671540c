#include "cli/Cli.h"

#include "cli/Arguments.h"
#include "cli/Progress.h"
#include "cli/Report.h"
#include "hardware/HardwareUtils.h"
#include "model/BenchmarkViewModel.h"
#include "model/RunRecord.h"

#include <atomic>
#include <future>
#include <optional>
#include <ostream>
#include <system_error>

namespace cli {
namespace {

using hardware::HardwareUtils;

constexpr auto kTick = std::chrono::milliseconds(100);

Facts readFacts(const hardware::SystemProbe& system) {
    return Facts{HardwareUtils::getSysctl("hw.model", system),
                 HardwareUtils::getSysctl("machdep.cpu.brand_string", system),
                 HardwareUtils::getRAM(system)};
}

// The run on a thread of its own while this thread draws the progress and
// watches for Ctrl-C. nullopt when Ctrl-C stopped it: the children not yet
// begun are skipped, and a partial run is no score.
std::optional<double> measure(const CliSeams& seams) {
    std::atomic<int> finished{0};
    std::atomic<bool> stop{false};
    const model::RunHooks hooks{[&finished] { finished.fetch_add(1, std::memory_order_relaxed); },
                                [&stop] { return stop.load(std::memory_order_relaxed); }};
    const auto start = seams.now();
    auto run = seams.startRun([&] { return model::runStressWorkload(seams.workload, hooks); });
    const auto draw = [&] {
        if (seams.errIsTerminal) {
            const std::chrono::duration<double> elapsed = seams.now() - start;
            *seams.err << '\r'
                       << progressLine(finished.load(), seams.workload.tasks, elapsed.count())
                       << "\x1b[K" << std::flush;
        }
    };
    while (run.wait_for(std::chrono::seconds(0)) != std::future_status::ready && !stop) {
        stop = seams.waitForInterrupt(kTick);
        draw();
    }
    const std::optional<double> elapsed = run.get();
    draw();
    if (seams.errIsTerminal) {
        *seams.err << '\n';
    }
    return stop ? std::nullopt : elapsed;
}

Ending informOrRefuse(const ParsedArguments& parsed, const CliSeams& seams) {
    if (const auto* refused = std::get_if<Refused>(&parsed)) {
        *seams.err << "benchmark-companion-cli: " << printable(refused->reason)
                   << "\nYardım için: benchmark-companion-cli --help\n";
        return Ending::UsageError;
    }
    *seams.out << std::get<Shown>(parsed).text;
    return Ending::Informed;
}

Ending runAndReport(const Options& options, const CliSeams& seams) {
    RunReport report;
    report.facts = readFacts(seams.system);
    if (!options.json) {
        *seams.out << factsText(report.facts) << '\n'
                   << model::kRunningStatus << '\n'
                   << std::flush;
    }
    const std::optional<double> elapsed = measure(seams);
    if (!elapsed || seams.releaseInterrupts()) {
        *seams.err << kStoppedText << '\n';
        report.stopped = true;
        *seams.out << (options.json ? jsonReport(report) : "");
        return Ending::Interrupted;
    }
    const submission::Payload payload = model::makePayload(
        report.facts.deviceName, report.facts.chipName, report.facts.ramGB, *elapsed);
    report.elapsedSeconds = *elapsed;
    report.score = payload.xcode_build_sec; // the shown score is the record's own
    if (!options.json) {
        *seams.out << scoreLine(report.score) << std::flush;
    }
    if (options.submit) {
        report.submission = submission::submitPayload(seams.endpoint, payload);
    }
    if (options.json) {
        *seams.out << jsonReport(report);
    } else if (report.submission) {
        *seams.out << printable(report.submission->statusText) << '\n';
    }
    return report.submission ? endingFor(report.submission->outcome) : Ending::MeasuredOnly;
}

} // namespace

int exitStatus(Ending ending) {
    switch (ending) {
    case Ending::Accepted:
    case Ending::MeasuredOnly:
    case Ending::Informed:
        return 0;
    case Ending::Refused:
        return 1;
    case Ending::Unreachable:
        return 2;
    case Ending::UsageError:
        return 64; // EX_USAGE
    case Ending::Interrupted:
        return 130; // 128 + SIGINT, as a shell reports a Ctrl-C
    case Ending::Failed:
        break;
    }
    return 70; // EX_SOFTWARE
}

Ending endingFor(submission::Outcome outcome) {
    switch (outcome) {
    case submission::Outcome::Accepted:
        return Ending::Accepted;
    case submission::Outcome::Refused:
        return Ending::Refused;
    case submission::Outcome::ConnectionFailure:
        break;
    }
    return Ending::Unreachable;
}

int runCli(const std::vector<std::string>& arguments, const CliSeams& seams) {
    const ParsedArguments parsed = parseArguments(arguments);
    const auto* options = std::get_if<Options>(&parsed);
    if (!options) {
        return exitStatus(informOrRefuse(parsed, seams));
    }
    try {
        return exitStatus(runAndReport(*options, seams));
    } catch (const std::system_error&) { // no thread for the run; its text is the platform's
        *seams.err << "benchmark-companion-cli: " << model::kNotStartedStatus << '\n';
        return exitStatus(Ending::Failed);
    }
}

} // namespace cli

// The fault matrix: the whole submission, submitPayload(), against real peers
// on loopback that fail in one way each. Every case must end in exactly the
// expected outcome with its exact status text, without a crash and within a
// time bound; every TLS failure must end as the connection failure.

#include "faults/FaultScenes.h"
#include "submission/Submission.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <exception>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <thread>

namespace faults {
namespace {

using submission::Endpoint;
using submission::Outcome;
using submission::Payload;
using submission::SubmissionResult;

// A call that has not ended after this long is reported as a hang.
constexpr std::chrono::seconds kHangLimit{30};
// Peak RSS growth allowed where a case streams a huge reply: well under its 64 MiB.
constexpr long kMaxRssGrowthKiB = 16 * 1024;

Payload samplePayload() {
    return Payload{"Mac99,1", "Ryzen \"9\" 7950X", 24, 36.75, 15.75, 84, 0};
}

// ---- Running one case ------------------------------------------------------

// Runs the submission on its own thread; nullopt when it has not ended within
// `limit`, in which case the thread is left behind, holding only its copies.
std::optional<SubmissionResult> submitWithin(const Endpoint& endpoint, std::chrono::seconds limit) {
    auto promise = std::make_shared<std::promise<SubmissionResult>>();
    std::future<SubmissionResult> result = promise->get_future();
    std::thread worker([promise, endpoint] {
        promise->set_value(submission::submitPayload(endpoint, samplePayload()));
    });
    if (result.wait_for(limit) != std::future_status::ready) {
        worker.detach();
        return std::nullopt;
    }
    worker.join();
    return result.get();
}

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Accepted:
        return "Accepted";
    case Outcome::Refused:
        return "Refused";
    case Outcome::ConnectionFailure:
        return "ConnectionFailure";
    }
    return "(not an outcome)";
}

bool isValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned long point = 0;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2;
            point = byte & 0x1F;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3;
            point = byte & 0x0F;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4;
            point = byte & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            point = (point << 6) | (next & 0x3F);
        }
        const unsigned long minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < minimum[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

// One field of /proc/self/status in KiB, or -1.
long statusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

long maxRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss; // KiB on Linux
}

// The process's peak RSS growth across a call, measured two ways: ru_maxrss,
// which cannot be reset and so may hide growth below an earlier peak, and
// VmHWM after resetting it through /proc/self/clear_refs, which is exact.
class PeakRssProbe {
public:
    PeakRssProbe() {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5" << std::flush;
        rssBefore_ = statusKiB("VmRSS");
        hwmReset_ = clear.good() && rssBefore_ > 0 && statusKiB("VmHWM") <= rssBefore_ + 1024;
        maxRssBefore_ = maxRssKiB();
    }
    long rusageGrowthKiB() const { return maxRssKiB() - maxRssBefore_; }
    std::optional<long> exactGrowthKiB() const {
        if (!hwmReset_) {
            return std::nullopt;
        }
        return statusKiB("VmHWM") - rssBefore_;
    }

private:
    long rssBefore_ = -1;
    long maxRssBefore_ = 0;
    bool hwmReset_ = false;
};

// The outcome and its text, and the time the call took.
void checkResult(const FaultCase& c, const SubmissionResult& result,
                 std::chrono::milliseconds elapsed) {
    if (result.outcome != c.outcome || result.statusText != c.text) {
        ADD_FAILURE() << "ended as " << outcomeName(result.outcome) << " \"" << result.statusText
                      << "\", expected " << outcomeName(c.outcome) << " \"" << c.text << "\"";
    }
    if (!isValidUtf8(result.statusText)) {
        ADD_FAILURE() << "the status text is not valid UTF-8";
    }
    if (elapsed < c.atLeast || elapsed > c.atMost) {
        ADD_FAILURE() << "took " << elapsed.count() << " ms, outside [" << c.atLeast.count() << ", "
                      << c.atMost.count() << "] ms";
    }
}

// The peak RSS growth across the call, against kMaxRssGrowthKiB.
// A sanitizer's shadow memory grows with what the process touches, so the
// bound on memory growth only means something in a plain build.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryBoundHolds = false;
#else
constexpr bool kMemoryBoundHolds = true;
#endif

void checkPeakRss(const PeakRssProbe& probe) {
    if (!kMemoryBoundHolds) {
        return;
    }
    const long rusageGrowth = probe.rusageGrowthKiB();
    testing::Test::RecordProperty("ru_maxrss_growth_kib", std::to_string(rusageGrowth));
    if (rusageGrowth >= kMaxRssGrowthKiB) {
        ADD_FAILURE() << "ru_maxrss grew by " << rusageGrowth << " KiB";
    }
    if (const auto exact = probe.exactGrowthKiB()) {
        testing::Test::RecordProperty("peak_rss_growth_kib", std::to_string(*exact));
        if (*exact >= kMaxRssGrowthKiB) {
            ADD_FAILURE() << "peak RSS (VmHWM) grew by " << *exact << " KiB";
        }
    }
}

class FaultMatrix : public testing::TestWithParam<FaultCase> {};

TEST_P(FaultMatrix, EndsInExactlyOneOutcomeWithItsText) {
    const FaultCase& c = GetParam();
    Scene scene;
    try {
        c.stage(scene);
    } catch (const std::exception& error) {
        FAIL() << "the peers could not be staged: " << error.what();
    }

    std::optional<PeakRssProbe> probe;
    if (c.boundedMemory) {
        probe.emplace();
    }
    const auto start = std::chrono::steady_clock::now();
    const std::optional<SubmissionResult> result = submitWithin(scene.endpoint, kHangLimit);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    if (!result) {
        FAIL() << "hang: no outcome after " << kHangLimit.count() << " s";
    }

    checkResult(c, *result, elapsed);
    if (probe) {
        checkPeakRss(*probe);
    }

    scene.stopPeers();
    if (c.verify) {
        c.verify(scene);
    }
}

std::string caseTestName(const testing::TestParamInfo<FaultCase>& info) {
    std::string name = info.param.name;
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) {
            ch = '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, testing::ValuesIn(faultCases()), caseTestName);

} // namespace
} // namespace faults
// Prints one line per case, "[fault] <case>: ok" or "[fault] <case>: FAILED (…)",
// and, when the program ends, the summary "N passed, N failed" alone on its line.
// A case that crashes the process still gets its line and the summary, written
// from the signal handler before the signal takes its course.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace faults {
namespace {

// Shared with the signal handler, so plain storage only.
char gCurrentCase[256] = "(none)";
volatile sig_atomic_t gPassed = 0;
volatile sig_atomic_t gFailed = 0;

void writeText(const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, text, left);
        if (n <= 0) {
            return;
        }
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}

void writeNumber(long value) {
    char digits[24];
    int at = sizeof digits - 1;
    digits[at] = '\0';
    do {
        digits[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0 && at > 0);
    writeText(digits + at);
}

void writeSummary(long passed, long failed) {
    writeNumber(passed);
    writeText(" passed, ");
    writeNumber(failed);
    writeText(" failed\n");
}

extern "C" void onCrash(int signal) {
    writeText("\n[fault] ");
    writeText(gCurrentCase);
    writeText(": FAILED (crashed with signal ");
    writeNumber(signal);
    writeText(")\n");
    writeSummary(gPassed, gFailed + 1);
    // SA_RESETHAND restored the default action; let it end the process.
    ::raise(signal);
}

// The name a case is reported under: its parameter, printed as the case's name.
std::string caseName(const testing::TestInfo& info) {
    if (info.value_param() != nullptr) {
        return info.value_param();
    }
    return std::string(info.test_suite_name()) + "." + info.name();
}

// The first telling line of a failure: ADD_FAILURE() and FAIL() open with a bare "Failed".
std::string reason(const std::string& summary) {
    std::size_t start = 0;
    while (start < summary.size()) {
        std::size_t end = summary.find('\n', start);
        if (end == std::string::npos) {
            end = summary.size();
        }
        const std::string line = summary.substr(start, end - start);
        if (!line.empty() && line != "Failed") {
            return line;
        }
        start = end + 1;
    }
    return "Failed";
}

class FaultReport : public testing::EmptyTestEventListener {
    void OnTestProgramStart(const testing::UnitTest&) override {
        struct sigaction action {};
        action.sa_handler = &onCrash;
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
            sigaction(signal, &action, nullptr);
        }
    }

    void OnTestStart(const testing::TestInfo& info) override {
        const std::string name = caseName(info);
        std::snprintf(gCurrentCase, sizeof gCurrentCase, "%s", name.c_str());
        firstFailure_.clear();
    }

    void OnTestPartResult(const testing::TestPartResult& result) override {
        if (result.failed() && firstFailure_.empty()) {
            firstFailure_ = reason(result.summary());
        }
    }

    void OnTestEnd(const testing::TestInfo& info) override {
        const testing::TestResult& result = *info.result();
        std::string line = "[fault] " + caseName(info) + ": ";
        if (result.Skipped()) {
            line += "skipped";
        } else if (result.Passed()) {
            line += "ok";
            gPassed = gPassed + 1;
        } else {
            line += "FAILED (" + firstFailure_ + ")";
            gFailed = gFailed + 1;
        }
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        std::snprintf(gCurrentCase, sizeof gCurrentCase, "%s", "(between cases)");
    }

    void OnTestProgramEnd(const testing::UnitTest&) override {
        std::fflush(stdout);
        writeSummary(gPassed, gFailed);
    }

    std::string firstFailure_;
};

// Registered before main: gtest_main only initialises and runs.
const bool kRegistered = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new FaultReport);
    return true;
}();

} // namespace
} // namespace faults

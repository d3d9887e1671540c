#pragma once

#include "service/edge/Http.h"

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace service {

// One line, without the newline. Control and invisible characters from the
// client become '?', so a request can neither forge log lines nor reach the
// terminal that shows them.
std::string formatLogLine(const LogEntry& entry);

// Decides which of the service's own messages are written: each on one
// timestamped line, the first of each kind within a second, and the repeats
// counted into one line when that second is over.
class Coalescer {
public:
    using Time = std::chrono::system_clock::time_point;
    static constexpr std::size_t kMaxKinds = 16; // kinds written per second

    std::vector<std::string> add(std::string_view message, Time now);
    // The count of a second that has passed without a newer message.
    std::vector<std::string> due(Time now);

private:
    Time windowStart_{};
    std::set<std::string, std::less<>> seen_;
    long long repeats_ = 0;
};

struct LogSettings {
    std::size_t capacity = 4096; // lines waiting for the writer; more are dropped and counted
    std::chrono::milliseconds shutdownWait{2000}; // for a reader that stopped reading
};

// Lines to a descriptor written by a thread of its own, so that a stalled
// reader (a suspended terminal, journald pushing back) never holds up the
// threads that log, nor the shutdown. Lines dropped meanwhile are counted, and
// the count is written as soon as the reader takes lines again.
class LineLog {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    LineLog(int fd, Clock clock, LogSettings settings = {});
    ~LineLog();
    LineLog(const LineLog&) = delete;
    LineLog& operator=(const LineLog&) = delete;

    // A line as it is: a request's, or the start line.
    void write(std::string line);
    // A message of the service itself or of its HTTP layer (database failures,
    // running out of descriptors): timestamped, on one line, repeats coalesced.
    void report(std::string_view message);
    // A message the operator must see whole (records that may be stored
    // though answered as not): timestamped, never coalesced nor dropped.
    void reportWhole(std::string_view message);

    struct State;

private:
    std::shared_ptr<State> state_;
    std::chrono::milliseconds shutdownWait_;
};

} // namespace service

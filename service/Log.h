#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace service {

// What one request leaves in the log: never the record's contents, only its id.
struct LogEntry {
    std::chrono::system_clock::time_point time;
    std::string address;
    std::string method;
    std::string path;
    int status = 0; // 0 when the client went away before an answer
    std::chrono::microseconds duration{0};
    long long recordId = 0;
};

// One line, without the newline. Control bytes from the client become '?',
// so a request cannot forge log lines.
std::string formatLogLine(const LogEntry& entry);

// Writes whole lines to a stream shared by all server threads, flushed at once.
class LineLog {
public:
    explicit LineLog(std::FILE* out) : out_(out) {}
    void write(const std::string& line);

private:
    std::FILE* out_;
    std::mutex mutex_;
};

} // namespace service

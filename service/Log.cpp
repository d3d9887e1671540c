#include "service/Log.h"

#include "service/Handler.h"

#include <array>

namespace service {
namespace {

std::string printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == ' ') {
            c = '?';
        }
    }
    return out.empty() ? "-" : out;
}

} // namespace

std::string formatLogLine(const LogEntry& entry) {
    std::array<char, 32> duration{};
    std::snprintf(duration.data(), duration.size(), "%.1fms",
                  static_cast<double>(entry.duration.count()) / 1000.0);
    std::string line = isoUtc(entry.time) + " " + printable(entry.address) + " " +
                       printable(entry.method) + " " + printable(entry.path) + " " +
                       (entry.status == 0 ? "-" : std::to_string(entry.status)) + " " +
                       duration.data();
    if (entry.recordId != 0) {
        line += " id=" + std::to_string(entry.recordId);
    }
    return line;
}

void LineLog::write(const std::string& line) {
    const std::lock_guard lock(mutex_);
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

} // namespace service

#include "service/Log.h"

#include "service/Process.h"
#include "service/rules/Format.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace service {
namespace {

constexpr auto kWindow = std::chrono::seconds(1);

// Keeps printable text; anything else, including broken UTF-8, becomes '?'.
std::string printable(std::string_view text, bool keepSpaces = false) {
    std::string out;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < length;) {
        const auto start = static_cast<std::size_t>(i);
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (unsafeCharacter(c) != UnsafeCharacter::none || (c == ' ' && !keepSpaces)) {
            out += '?';
        } else {
            out.append(text.substr(start, static_cast<std::size_t>(i) - start));
        }
    }
    return out.empty() ? "-" : out;
}

// A message of several lines (libpq's are) as one, its parts joined by a space.
std::string oneLine(std::string_view message) {
    std::string joined;
    bool gap = false;
    for (const char c : message) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            gap = true;
            continue;
        }
        if (gap && !joined.empty()) {
            joined += ' ';
        }
        gap = false;
        joined += c;
    }
    return printable(joined, true);
}

} // namespace

std::string formatLogLine(const LogEntry& entry) {
    const std::string duration =
        formatFixed(static_cast<double>(entry.duration.count()) / 1000.0, 1) + "ms";
    std::string line = isoUtc(entry.time) + " " + printable(entry.address) + " " +
                       printable(entry.method) + " " + printable(entry.path) + " " +
                       (entry.status == 0 ? "-" : std::to_string(entry.status)) + " " + duration;
    if (entry.recordId != 0) {
        line += " id=" + std::to_string(entry.recordId);
    }
    return entry.unsent ? line + " unsent" : line;
}

std::vector<std::string> Coalescer::add(std::string_view message, Time now) {
    auto lines = due(now);
    if (seen_.empty()) {
        windowStart_ = now;
    }
    const std::string text = oneLine(message);
    if (seen_.contains(text) || seen_.size() >= kMaxKinds) {
        ++repeats_;
    } else {
        seen_.insert(text);
        lines.push_back(isoUtc(now) + " " + text);
    }
    return lines;
}

std::vector<std::string> Coalescer::due(Time now) {
    if (seen_.empty() || now - windowStart_ < kWindow) {
        return {};
    }
    seen_.clear();
    const auto repeats = std::exchange(repeats_, 0);
    if (repeats == 0) {
        return {};
    }
    return {isoUtc(now) + " … and " + std::to_string(repeats) + " more in the last second"};
}

struct LineLog::State {
    struct Item {
        std::string text;
        bool coalesce = false;
        std::chrono::system_clock::time_point time;
    };

    State(int out, Clock now, std::size_t room) : fd(out), clock(std::move(now)), capacity(room) {}

    int fd;
    Clock clock;
    std::size_t capacity;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    std::deque<Item> queue;
    unsigned long long dropped = 0;
    bool stopping = false;
    bool done = false;
    Coalescer coalescer; // the writer's alone

    void enqueue(Item item, bool keep = false) {
        {
            const std::lock_guard lock(mutex);
            if (queue.size() >= capacity && !keep) {
                ++dropped;
                return;
            }
            queue.push_back(std::move(item));
        }
        wake.notify_one();
    }

    // Blocks only this thread; what cannot be written is counted as dropped.
    void writeOut(const std::vector<std::string>& lines) {
        std::string text;
        for (const auto& line : lines) {
            text += line + '\n';
        }
        if (const auto unwritten = writeAll(fd, text)) {
            const std::lock_guard lock(mutex);
            dropped += static_cast<unsigned long long>(
                std::count(text.end() - static_cast<std::ptrdiff_t>(unwritten), text.end(), '\n'));
        }
    }

    std::vector<std::string> linesOf(std::deque<Item>& batch, unsigned long long lost, bool last) {
        const auto now = clock();
        std::vector<std::string> lines;
        if (lost > 0) {
            lines.push_back(isoUtc(now) + " … " + std::to_string(lost) + " log lines dropped");
        }
        for (auto& item : batch) {
            if (!item.coalesce) {
                lines.push_back(std::move(item.text));
                continue;
            }
            for (auto& line : coalescer.add(item.text, item.time)) {
                lines.push_back(std::move(line));
            }
        }
        // The last pass closes the current second, so its count is not lost.
        for (auto& line : coalescer.due(last ? now + kWindow : now)) {
            lines.push_back(std::move(line));
        }
        return lines;
    }

    void run() {
        shieldThreadFromPipeSignal();
        for (bool last = false; !last;) {
            std::deque<Item> batch;
            unsigned long long lost = 0;
            {
                std::unique_lock lock(mutex);
                wake.wait_for(lock, kWindow, [this] { return stopping || !queue.empty(); });
                batch.swap(queue);
                lost = std::exchange(dropped, 0);
                last = stopping;
            }
            writeOut(linesOf(batch, lost, last));
        }
        const std::lock_guard lock(mutex);
        done = true;
        finished.notify_all();
    }
};

LineLog::LineLog(int fd, Clock clock, LogSettings settings)
    : state_(std::make_shared<State>(fd, std::move(clock), settings.capacity)),
      shutdownWait_(settings.shutdownWait) {
    std::thread([state = state_] { state->run(); }).detach();
}

// The writer is detached from the start: when the reader has stalled, it may
// stay blocked past this object, and it owns what it still uses.
LineLog::~LineLog() {
    std::unique_lock lock(state_->mutex);
    state_->stopping = true;
    state_->wake.notify_one();
    state_->finished.wait_for(lock, shutdownWait_, [this] { return state_->done; });
}

void LineLog::write(std::string line) {
    state_->enqueue({std::move(line), false, {}});
}

void LineLog::report(std::string_view message) {
    state_->enqueue({std::string(message), true, state_->clock()});
}

void LineLog::reportWhole(std::string_view message) {
    state_->enqueue({isoUtc(state_->clock()) + " " + oneLine(message), false, {}}, true);
}

} // namespace service

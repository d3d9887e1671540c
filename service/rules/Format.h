#pragma once
// How the service writes numbers and times, the same on every page, reply and
// log line, whatever the locale; and which characters it never lets through.

#include <chrono>
#include <cstdint>
#include <string>

namespace service {

// Appends every part to `out` in turn: a page or an exposition built in one
// buffer, without the temporaries `+` would make.
template <class... Parts> void append(std::string& out, const Parts&... parts) {
    (out.append(parts), ...);
}

// A number with a full stop and `decimals` places, never a decimal comma.
std::string formatFixed(double value, int decimals);

// A number of seconds as shown on the page, e.g. "36.75".
std::string formatSeconds(double seconds);

// The shortest text that reads back as `value`, with Turkish's decimal comma
// and no grouping, as the refusals quote limits: 0.0175 → "0,0175".
std::string turkishNumber(double value);

// A count with Turkish digit grouping, e.g. "10.000".
std::string formatCount(std::int64_t count);

// 2026-01-31T12:00:00.000Z
std::string isoUtc(std::chrono::system_clock::time_point time);

// An isoUtc time as people read it, to the minute: "31 Oca 2026 12:00";
// any other text unchanged.
std::string readableUtc(const std::string& iso);

// Why a code point (negative for broken UTF-8) must not pass into a name or
// a log line: it is unreadable, invisible or breaks a line.
enum class UnsafeCharacter { none, broken, control, format, lineBreak };
UnsafeCharacter unsafeCharacter(std::int32_t c);

} // namespace service

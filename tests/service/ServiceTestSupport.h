#pragma once

#include "service/Http.h"
#include "submission/Payload.h"
#include "support/FakeRoot.h"

#include <map>
#include <string>

namespace service {

inline Request get(std::string path, std::map<std::string, std::string> query = {}) {
    return Request{"GET", std::move(path), std::move(query), "", "", false, "10.0.0.1"};
}

// The status box has room for two lines: about 100 characters.
inline constexpr std::size_t kMaxShownChars = 100;

inline std::size_t codePoints(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return count;
}

// A record as the client makes it, for a run of `seconds` wall time.
inline submission::Payload clientRecord(std::string chip, double seconds,
                                        std::string device = "Mac99,1") {
    return submission::Payload{
        std::move(device), std::move(chip), 16, seconds * 3.5, seconds * 1.5, 84, 0};
}

// A fresh path in a private temporary folder, removed with the object.
class TempPath : testsupport::FakeRoot {
public:
    explicit TempPath(const std::string& name) : path_(FakeRoot::path() / name) {}
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace service

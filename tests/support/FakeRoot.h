#pragma once

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace testsupport {

// A private folder that stands in for "/", removed with everything in it; made with each file
// given (path and bytes) whose bytes are not empty.
struct FakeRoot {
    FakeRoot(std::initializer_list<std::pair<std::string_view, std::string_view>> files = {}) {
        for (const auto& [relative, bytes] : files) {
            if (!bytes.empty()) {
                write(relative, bytes);
            }
        }
    }
    FakeRoot(const FakeRoot&) = delete;
    ~FakeRoot() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

    // The bytes exactly, at the path below the root.
    void write(std::string_view relative, std::string_view bytes) const {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::ofstream(path_ / relative, std::ios::binary).write(bytes.data(), bytes.size());
    }

private:
    std::filesystem::path path_ = mkdtemp(std::string("/tmp/fake-root-XXXXXX").data());
};

// A file's bytes exactly; none when it cannot be read.
inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace testsupport

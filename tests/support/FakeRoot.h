#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace testsupport {

// A private folder that stands in for "/", removed with everything in it.
class FakeRoot {
public:
    FakeRoot() {
        char pattern[] = "/tmp/fake-root-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~FakeRoot() { std::filesystem::remove_all(path_); }
    FakeRoot(const FakeRoot&) = delete;
    FakeRoot& operator=(const FakeRoot&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // The bytes exactly, at the path below the root.
    void write(std::string_view relative, std::string_view bytes) const {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::ofstream(path_ / relative, std::ios::binary).write(bytes.data(), bytes.size());
    }

private:
    std::filesystem::path path_;
};

} // namespace testsupport

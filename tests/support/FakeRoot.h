#pragma once

#include <filesystem>
#include <string_view>

namespace testsupport {

// A private, empty directory that stands in for "/" and is removed with everything in it
// when the object goes.
class FakeRoot {
public:
    FakeRoot();
    ~FakeRoot();
    FakeRoot(const FakeRoot&) = delete;
    FakeRoot& operator=(const FakeRoot&) = delete;

    const std::filesystem::path& path() const { return root_; }

    // Writes the bytes exactly to the path below the root, creating folders as needed.
    void write(std::string_view relative, std::string_view bytes) const;

    // Creates the folder below the root, with its parents.
    void makeDirectory(std::string_view relative) const;

private:
    std::filesystem::path root_;
};

} // namespace testsupport

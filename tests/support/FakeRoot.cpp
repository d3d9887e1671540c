#include "support/FakeRoot.h"

#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <unistd.h>

namespace testsupport {

FakeRoot::FakeRoot() {
    std::random_device entropy;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate =
            base / ("fake-root-" + std::to_string(::getpid()) + "-" + std::to_string(entropy()));
        // create_directory is false when the name is taken, so two runs never share a root.
        if (std::filesystem::create_directory(candidate)) {
            root_ = std::move(candidate);
            return;
        }
    }
    throw std::runtime_error("no free name for a fake root");
}

FakeRoot::~FakeRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void FakeRoot::write(std::string_view relative, std::string_view bytes) const {
    const auto target = root_ / relative;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream file(target, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + target.string());
    }
}

void FakeRoot::makeDirectory(std::string_view relative) const {
    std::filesystem::create_directories(root_ / relative);
}

} // namespace testsupport

#include "ViewModelFixture.h"

#include <chrono>
#include <fstream>
#include <random>

namespace modeltest {

ViewModelFixture::ViewModelFixture() {
    root_ = std::filesystem::temp_directory_path() /
            ("vm-root-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(root_);
}

ViewModelFixture::~ViewModelFixture() {
    // Every run must have let go of its model before the fixture goes, so no
    // run thread outlives the test that started it.
    const bool released = mainQueue_.runUntil(
        [this] {
            return std::all_of(made_.begin(), made_.end(),
                               [](const auto& weak) { return weak.expired(); });
        },
        std::chrono::seconds(60));
    EXPECT_TRUE(released) << "a run still holds its view model";
    std::filesystem::remove_all(root_);
}

void ViewModelFixture::writeFact(const std::filesystem::path& relative, const std::string& bytes) {
    const auto path = root_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

model::ViewModelSeams ViewModelFixture::seams(model::WorkloadSize workload) {
    model::ViewModelSeams seams;
    seams.system.root = root_;
    seams.system.physicalMemoryBytes = [bytes = physicalBytes_] { return bytes; };
    seams.endpoint = {server_.baseUrl(), server_.caFile(), std::chrono::seconds(60)};
    seams.workload = workload;
    seams.postToMain = mainQueue_.poster();
    return seams;
}

std::shared_ptr<model::BenchmarkViewModel>
ViewModelFixture::makeModel(model::WorkloadSize workload) {
    auto vm = model::BenchmarkViewModel::create(seams(workload));
    made_.push_back(vm);
    return vm;
}

bool ViewModelFixture::awaitOutcome(const model::BenchmarkViewModel& vm) {
    return mainQueue_.runUntil([&vm] { return !*vm.isRunning; }, std::chrono::seconds(60));
}

} // namespace modeltest

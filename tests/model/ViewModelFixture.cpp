#include "ViewModelFixture.h"

#include <algorithm>
#include <chrono>

namespace modeltest {

ViewModelFixture::ViewModelFixture() = default;

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
}

model::ViewModelSeams ViewModelFixture::seams(model::WorkloadSize workload) {
    model::ViewModelSeams seams;
    seams.system.root = root_.path();
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

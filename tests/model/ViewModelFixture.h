#pragma once

#include "model/BenchmarkViewModel.h"
#include "support/FakeRoot.h"
#include "support/MainQueue.h"
#include "support/TlsTestServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string_view>

namespace modeltest {

// A fake system root, a scripted score service and a main queue that the test
// thread drains, wired into view models the way the window wires the real ones.
class ViewModelFixture : public ::testing::Test {
protected:
    ViewModelFixture();
    ~ViewModelFixture() override;

    void writeFact(std::string_view relative, std::string_view bytes) const {
        root_.write(relative, bytes);
    }

    model::ViewModelSeams seams(model::WorkloadSize workload = {.tasks = 24, .steps = 1000});
    std::shared_ptr<model::BenchmarkViewModel> makeModel(model::WorkloadSize workload = {
                                                             .tasks = 24, .steps = 1000});

    // Drains the main queue until the model leaves its running state.
    bool awaitOutcome(const model::BenchmarkViewModel& vm);

    testsupport::FakeRoot root_;
    std::uint64_t physicalBytes_ = 0;
    testsupport::MainQueue mainQueue_;
    testsupport::TlsTestServer server_;

private:
    std::vector<std::weak_ptr<model::BenchmarkViewModel>> made_;
};

} // namespace modeltest

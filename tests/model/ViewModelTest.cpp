#include "ViewModelFixture.h"
#include "support/ExpectedTexts.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using modeltest::ViewModelFixture;
using Snapshot = std::tuple<bool, std::string, std::optional<double>>;

constexpr const char* kRunning = "Bütünleşik Bellek (Unified Memory) ve CPU çekirdekleri stres "
                                 "testine tabi tutuluyor (Lütfen bekleyin)...";
constexpr const char* kReady = "Hazır. Lütfen testi başlatın.";
const std::string& kUnreachable = testsupport::texts::kConnectionFailure;

class ViewModelTest : public ViewModelFixture {
protected:
    void writeMacLikeFacts() {
        writeFact("sys/class/dmi/id/product_name", "Mac99,1\n");
        writeFact("proc/cpuinfo", "processor\t: 0\nmodel name\t: Apple M9\n\n");
        physicalBytes_ = 16ull << 30;
    }
};

TEST_F(ViewModelTest, StartsIdleWithTheFactsItReadOnce) {
    writeMacLikeFacts();
    auto vm = makeModel();

    EXPECT_EQ(*vm->status, kReady);
    EXPECT_FALSE(*vm->isRunning);
    EXPECT_FALSE(vm->score->has_value());
    EXPECT_EQ(vm->deviceName(), "Mac99,1");
    EXPECT_EQ(vm->chipName(), "Apple M9");
    EXPECT_EQ(vm->ramGB(), 16);

    // Read once: later changes of the system do not reach this model.
    writeFact("sys/class/dmi/id/product_name", "Other\n");
    EXPECT_EQ(vm->deviceName(), "Mac99,1");
}

TEST_F(ViewModelTest, ARunAnnouncesEachChangeOnTheMainThreadBeforeStoringIt) {
    writeMacLikeFacts();
    server_.reply(200, R"({"success":true,"message":"Kaydedildi"})");
    auto vm = makeModel();
    std::vector<Snapshot> seen;
    std::vector<std::thread::id> threads;
    auto subscription = vm->objectWillChange.subscribe([&] {
        seen.emplace_back(*vm->isRunning, *vm->status, *vm->score);
        threads.push_back(std::this_thread::get_id());
    });

    vm->startBenchmark();
    EXPECT_TRUE(*vm->isRunning);
    EXPECT_EQ(*vm->status, kRunning);
    EXPECT_FALSE(vm->score->has_value());
    ASSERT_TRUE(awaitOutcome(*vm));

    ASSERT_EQ(server_.requestCount(), 1u);
    const auto sent = nlohmann::json::parse(server_.requests().front().body);
    const double score = sent.at("xcode_build_sec").get<double>();
    EXPECT_EQ(seen, (std::vector<Snapshot>{
                        {false, kReady, std::nullopt},
                        {true, kReady, std::nullopt},
                        {true, kRunning, std::nullopt},
                        {true, kRunning, std::nullopt},
                        {false, kRunning, std::nullopt},
                        {false, "✅ Kaydedildi", std::nullopt},
                    }));
    EXPECT_EQ(*vm->score, score);
    EXPECT_EQ(threads, std::vector<std::thread::id>(6, std::this_thread::get_id()));
}

TEST_F(ViewModelTest, SendsTheRecordWithDerivedTimesAndTheFactsAsRead) {
    writeMacLikeFacts();
    server_.reply(200, "{}");
    auto vm = makeModel();
    vm->startBenchmark();
    ASSERT_TRUE(awaitOutcome(*vm));

    ASSERT_EQ(server_.requestCount(), 1u);
    const auto request = server_.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/api/submit");
    EXPECT_EQ(request.headerValues("Content-Type"), std::vector<std::string>{"application/json"});
    const auto sent = nlohmann::json::parse(request.body);
    EXPECT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent.at("device_name"), "Mac99,1");
    EXPECT_EQ(sent.at("chip_type"), "M9");
    EXPECT_EQ(sent.at("ram_gb"), 16);
    EXPECT_EQ(sent.at("max_temp_c"), 84);
    EXPECT_EQ(sent.at("swap_used_mb"), 0);
    const double build = sent.at("xcode_build_sec").get<double>();
    const double slicer = sent.at("resin_slicer_sec").get<double>();
    EXPECT_GE(build, 0.0);
    EXPECT_NEAR(build / 3.5, slicer / 1.5, 1e-12 * (1.0 + build));
    EXPECT_EQ(*vm->status, "✅ Skor başarıyla gönderildi!");
}

TEST_F(ViewModelTest, FallbacksReachOnlyTheRecordNeverTheModel) {
    auto vm = makeModel(); // an empty system: nothing can be read
    server_.reply(200, "{}");
    vm->startBenchmark();
    ASSERT_TRUE(awaitOutcome(*vm));

    const auto sent = nlohmann::json::parse(server_.requests().at(0).body);
    EXPECT_EQ(sent.at("device_name"), "MacDevice");
    EXPECT_EQ(sent.at("chip_type"), "Apple Silicon");
    EXPECT_EQ(sent.at("ram_gb"), 8);
    EXPECT_EQ(vm->deviceName(), "");
    EXPECT_EQ(vm->chipName(), "");
    EXPECT_EQ(vm->ramGB(), 0);
}

TEST_F(ViewModelTest, EveryOutcomeEndsTheRunAndShowsTheScore) {
    server_.reply(500, R"({"error":"Sunucu dolu"})");
    auto refused = makeModel();
    refused->startBenchmark();
    ASSERT_TRUE(awaitOutcome(*refused));
    EXPECT_EQ(*refused->status, "❌ Hata: Sunucu dolu");
    EXPECT_TRUE(refused->score->has_value());

    auto unreachableSeams = seams();
    unreachableSeams.endpoint.baseUrl =
        "https://127.0.0.1:" + std::to_string(testsupport::closedLoopbackPort());
    auto unreachable = model::BenchmarkViewModel::create(unreachableSeams);
    unreachable->startBenchmark();
    ASSERT_TRUE(awaitOutcome(*unreachable));
    EXPECT_EQ(*unreachable->status, kUnreachable);
    EXPECT_TRUE(unreachable->score->has_value());
    EXPECT_TRUE(mainQueue_.runUntil([&] { return unreachable.use_count() == 1; }));
}

TEST_F(ViewModelTest, ARecordThatCannotBeEncodedIsNeverSent) {
    auto vm = makeModel();
    const auto nan = std::numeric_limits<double>::quiet_NaN();
    const submission::Payload payload{"d", "c", 8, std::numeric_limits<double>::infinity(),
                                      nan, 84,  0};
    std::thread([vm, payload] { vm->submitResults(payload, 1.0); }).join();
    ASSERT_TRUE(mainQueue_.runUntil([&] { return mainQueue_.itemsRun() == 1; }));

    EXPECT_EQ(*vm->status, kUnreachable);
    EXPECT_EQ(server_.requestCount(), 0u);
}

TEST_F(ViewModelTest, ARunKeepsItsModelAliveUntilTheOutcomeIsApplied) {
    server_.reply(200, R"({"message":"tamam"})");
    std::weak_ptr<model::BenchmarkViewModel> weak;
    std::string finalStatus;
    model::Publisher::Subscription subscription;
    {
        auto vm = makeModel();
        weak = vm;
        subscription = vm->objectWillChange.subscribe([&weak, &finalStatus] {
            // The status is stored after the event: read it on the next one.
            if (auto alive = weak.lock()) {
                finalStatus = *alive->status;
            }
        });
        vm->startBenchmark();
    }
    EXPECT_FALSE(weak.expired());
    ASSERT_TRUE(mainQueue_.runUntil([&] { return weak.expired(); }));
    EXPECT_EQ(finalStatus, "✅ tamam"); // seen at the score's announcement
}

} // namespace

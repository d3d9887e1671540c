// The main view and its view model over whole runs, offscreen, under tr_TR.UTF-8 (see
// main.cpp): numbers never take its decimal comma.

#include "support/ExpectedTexts.h"
#include "support/FakeRoot.h"
#include "support/Peer.h"
#include "ui/ContentView.h"
#include "ui/Formatting.h"
#include "ui/QtMainThread.h"
#include "ui/StatusMarkup.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <clocale>
#include <ctime>
#include <memory>
#include <thread>
#include <tuple>

namespace {

using namespace std::chrono_literals;
using model::BenchmarkViewModel;

TEST(Formatting, OneDecimalWithAFullStopAndNoGrouping) {
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "tr_TR.UTF-8 missing: scripts/setup";
    EXPECT_EQ(ui::formatInteger(1234567), "1234567");
    for (const auto& [value, text] : {std::pair{12.34, "12.3"},
                                      {7.06, "7.1"},
                                      {0.0, "0.0"},
                                      {0.25, "0.2"},
                                      {1234.56, "1234.6"}}) {
        EXPECT_EQ(ui::formatOneDecimal(value), text);
    }
}

TEST(StatusMarkup, ShowsEveryTextVerbatim) {
    for (const QString text : {"❌ Hata: <b>x</b> & &amp;", "⚠️ Bağlantı hatası", "✅ "}) {
        QTextDocument document;
        document.setHtml(ui::statusMarkup(text));
        EXPECT_EQ(document.toPlainText(), text) << text.toStdString();
    }
}

class View : public testing::Test {
protected:
    void show(model::WorkloadSize workload = {24, 1000}) {
        root_.write("sys/class/dmi/id/product_name", "Mac99,1\n");
        root_.write("proc/cpuinfo", "processor\t: 0\nmodel name\t: Apple M9\n");
        view_ = std::make_unique<ui::ContentView>([this, workload] {
            return BenchmarkViewModel::create(
                {{root_.path(), [] { return std::uint64_t{16} << 30; }},
                 {peer_.url(), testsupport::Peer::caFile(), 60s},
                 workload,
                 ui::qtMainThreadPoster()});
        });
        view_->show();
    }
    ~View() override {
        // A run in flight keeps its model: let it end while the peer is still up.
        EXPECT_TRUE(QTest::qWaitFor([this] { return !*vm().isRunning; }, 120000));
        const std::weak_ptr<BenchmarkViewModel> weak = view_->viewModel();
        view_.reset();
        EXPECT_TRUE(QTest::qWaitFor([&weak] { return weak.expired(); }, 30000));
    }
    template <typename T = QLabel> T* part(const char* name) { return view_->findChild<T*>(name); }
    BenchmarkViewModel& vm() { return *view_->viewModel(); }
    bool awaitOutcome() {
        return QTest::qWaitFor([this] { return !*vm().isRunning; }, 120000);
    }

    testsupport::FakeRoot root_;
    testsupport::Peer peer_{"reply", {"--status", "500", "--body", R"({"error":"Bakımdayız"})"}};
    std::unique_ptr<ui::ContentView> view_;
};

TEST_F(View, ShowsTheFactsAndTheScoreWithOneDecimal) {
    show();
    EXPECT_EQ(view_->size(), QSize(450, 500));
    EXPECT_EQ(part("deviceValue")->text(), "Mac99,1");
    EXPECT_EQ(part("chipValue")->text(), "Apple M9");
    EXPECT_EQ(part("ramValue")->text(), "16 GB");
    EXPECT_FALSE(part<QWidget>("scorePanel")->isVisible());
    for (const auto& [score, text] :
         {std::pair{12.34, "12.3 Saniye"}, {1234.56, "1234.6 Saniye"}}) {
        vm().score = score;
        QTest::qWait(1);
        EXPECT_EQ(part("scoreValue")->text(), text);
    }
    EXPECT_TRUE(part<QWidget>("scorePanel")->isVisible());
    EXPECT_EQ(view_->size(), QSize(450, 500));
}

using Snapshot = std::tuple<bool, std::string, std::optional<double>>;

// Each published field is announced, then stored: the order of the assignments shows.
TEST_F(View, AClickRunsTheBenchmarkAndAssignsInOrderOnTheMainThread) {
    show();
    std::vector<Snapshot> seen;
    const auto mainThread = std::this_thread::get_id();
    auto subscription = vm().objectWillChange.subscribe([&] {
        EXPECT_EQ(std::this_thread::get_id(), mainThread);
        seen.emplace_back(*vm().isRunning, *vm().status, *vm().score);
    });
    QTest::mouseClick(part<QPushButton>("startButton"), Qt::LeftButton);
    const Snapshot started{*vm().isRunning, *vm().status, *vm().score};
    QTest::qWait(1);
    EXPECT_FALSE(part<QPushButton>("startButton")->isEnabled());
    ASSERT_TRUE(awaitOutcome());
    const std::string ready(model::kReadyStatus), running(model::kRunningStatus);
    const std::string refused = testsupport::texts::kRefused + "Bakımdayız";
    EXPECT_EQ(started, Snapshot(true, running, std::nullopt));
    EXPECT_EQ(seen, (std::vector<Snapshot>{{false, ready, {}},
                                           {true, ready, {}},
                                           {true, running, {}},
                                           {true, running, {}},
                                           {false, running, {}},
                                           {false, refused, {}}}));
    const auto sent = nlohmann::json::parse(peer_.requests().at(0).body);
    EXPECT_EQ(*vm().score, sent.at("xcode_build_sec").get<double>());
    EXPECT_EQ(sent.at("chip_type"), "M9");
    QTest::qWait(1);
    EXPECT_EQ(part("statusLine")->accessibleDescription().toStdString(), refused);
    EXPECT_EQ(part("scoreValue")->text().toStdString(),
              ui::formatOneDecimal(vm().score->value_or(-1)) + " Saniye");
    EXPECT_TRUE(part<QPushButton>("startButton")->isEnabled());
}

double cpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The real workload through the real path, a few seconds here.
TEST_F(View, TheFullRunWorksOffTheMainThread) {
    show(model::WorkloadSize{});
    const double mainBefore = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double processBefore = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    vm().startBenchmark();
    ASSERT_TRUE(awaitOutcome());
    const double mainSpent = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - mainBefore;
    const double processSpent = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processBefore;
    EXPECT_GT(vm().score->value_or(0.0), 0.0);
    // One child on this thread would be a twenty-fourth of the work's CPU time.
    EXPECT_LT(mainSpent, processSpent / 24.0) << "the workload ran on the main thread";
}

} // namespace

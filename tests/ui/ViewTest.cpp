// The main view and its view model over whole runs, by mouse and by keyboard alone, offscreen,
// under tr_TR.UTF-8 (see main.cpp).

#include "support/FakeRoot.h"
#include "support/Peer.h"
#include "ui/ContentView.h"
#include "ui/QtMainThread.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <clocale>
#include <ctime>
#include <functional>
#include <thread>
#include <tuple>

namespace {

using namespace std::chrono_literals;
using model::BenchmarkViewModel;

double cpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

using Snapshot = std::tuple<bool, std::string, std::optional<double>>;

// A window on a fake machine, whose service refuses every record; `adjust` changes its seams.
struct Window {
    explicit Window(std::function<void(model::ViewModelSeams&)> adjust = {})
        : adjust_(std::move(adjust)) {
        view.show();
    }
    QLabel* part(const char* name) const { return view.findChild<QLabel*>(name); }

    std::function<void(model::ViewModelSeams&)> adjust_;
    testsupport::FakeRoot root{{"sys/class/dmi/id/product_name", "Mac99,1\n"},
                               {"proc/cpuinfo", "processor\t: 0\nmodel name\t: Apple M9\n"}};
    testsupport::Peer peer{"reply", {"--status", "500", "--body", R"({"error":"Bakımdayız"})"}};
    ui::ContentView view{[this] {
        model::ViewModelSeams seams{{root.path(), [] { return std::uint64_t{1024} << 30; }},
                                    {peer.url(), testsupport::Peer::caFile(), 60s},
                                    model::WorkloadSize{},
                                    ui::qtMainThreadPoster()};
        if (adjust_) {
            adjust_(seams);
        }
        return BenchmarkViewModel::create(std::move(seams));
    }};
};

// The real workload through the real path, a few seconds here. Each published field is
// announced, then stored, so the snapshots show the order of the assignments.
TEST(View, AClickRunsTheWorkloadOffTheMainThreadAndAssignsInOrderOnIt) {
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "no tr_TR.UTF-8: scripts/setup";
    Window window;
    auto* button = window.view.findChild<QPushButton*>("startButton");
    EXPECT_EQ(window.part("deviceValue")->text(), "Mac99,1");
    EXPECT_EQ(window.part("chipValue")->text(), "Apple M9");
    EXPECT_EQ(window.part("ramValue")->text(), "1024 GB"); // never grouped
    auto& vm = *window.view.viewModel();
    std::vector<Snapshot> seen;
    const auto mainThread = std::this_thread::get_id();
    auto subscription = vm.objectWillChange.subscribe([&] {
        EXPECT_EQ(std::this_thread::get_id(), mainThread);
        seen.emplace_back(*vm.isRunning, *vm.status, *vm.score);
    });
    const double mainBefore = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double processBefore = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    QTest::mouseClick(button, Qt::LeftButton);
    const Snapshot started{*vm.isRunning, *vm.status, *vm.score};
    QTest::qWait(1);
    EXPECT_FALSE(button->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !*vm.isRunning; }, 120000));
    const double mainSpent = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - mainBefore;
    const double processSpent = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processBefore;
    // One child on this thread would be a twenty-fourth of the work's CPU time.
    EXPECT_LT(mainSpent, processSpent / 24.0) << "the workload ran on the main thread";
    const std::string ready(model::kReadyStatus), running(model::kRunningStatus);
    const std::string refused = "❌ Hata: Bakımdayız";
    EXPECT_EQ(started, Snapshot(true, running, std::nullopt));
    const std::vector<Snapshot> inOrder = {{false, ready, {}},   {true, ready, {}},
                                           {true, running, {}},  {true, running, {}},
                                           {false, running, {}}, {false, refused, {}}};
    EXPECT_EQ(seen, inOrder);
    const auto sent = nlohmann::json::parse(window.peer.requests().at(0).body);
    EXPECT_EQ(*vm.score, sent.at("xcode_build_sec").get<double>());
    EXPECT_EQ(sent.at("chip_type"), "M9");
    QTest::qWait(1);
    EXPECT_EQ(window.part("statusLine")->accessibleName().toStdString(), refused);
    EXPECT_TRUE(button->isEnabled());
}

// A keyboard-only user: Tab to the button, then Space three times. The keys go to the
// window, as a keyboard's would, not to the button itself. The system refuses the first
// run's thread: that run ends at once, idle and without a score, and the next ones run.
// Then the service's text is shown verbatim, never as markup, and the score with one decimal
// after a full stop, whatever the locale.
TEST(Focus, SpaceAloneStartsRunsInARowAfterARefusedThreadAndTextsShowAsText) {
    int starts = 0;
    Window window([&starts](model::ViewModelSeams& seams) {
        seams.workload = {.tasks = 2, .steps = 1000};
        seams.startThread = [&starts](std::function<void()> work) {
            return ++starts > 1 && model::startDetachedThread(work);
        };
    });
    auto& view = window.view;
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    QTest::keyClick(view.windowHandle(), Qt::Key_Tab);
    const auto* button = view.findChild<QWidget*>("startButton");
    ASSERT_TRUE(button->hasFocus());
    auto& vm = *view.viewModel();
    for (int run = 1; run <= 3; ++run) {
        QTest::keyClick(view.windowHandle(), Qt::Key_Space);
        EXPECT_EQ(*vm.status == model::kNotStartedStatus, run == 1) << "run " << run;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return starts == run && !*vm.isRunning && button->isEnabled(); }, 30000))
            << "run " << run;
        EXPECT_EQ(vm.score->has_value(), run > 1);
    }
    EXPECT_TRUE(button->hasFocus());
    QTextDocument shown;
    for (const QString text : {"❌ Hata: <b>x</b> & &amp;", "⚠️ Bağlantı hatası"}) {
        vm.status = text.toStdString();
        QTest::qWait(1);
        shown.setHtml(window.part("statusLine")->text());
        EXPECT_EQ(shown.toPlainText(), text);
    }
    for (const auto& [score, text] :
         {std::pair{12.34, "12.3 Saniye"}, {0.25, "0.2 Saniye"}, {1234.56, "1234.6 Saniye"}}) {
        vm.score = score;
        QTest::qWait(1);
        EXPECT_EQ(window.part("scoreValue")->text().toStdString(), text);
    }
}

} // namespace

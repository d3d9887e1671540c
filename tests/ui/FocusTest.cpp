#include "support/FakeRoot.h"
#include "ui/ContentView.h"
#include "ui/QtMainThread.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// A keyboard-only user: Tab to the button, then Space three times. The keys go to the
// window, as a keyboard's would, not to the button itself. The system refuses the first
// run's thread: that run ends at once, idle and without a score, and the next ones run.
TEST(Focus, SpaceAloneStartsRunsInARowAfterARefusedThread) {
    testsupport::FakeRoot root;
    int starts = 0;
    ui::ContentView view([&] {
        return model::BenchmarkViewModel::create(
            {.system = {root.path(), [] { return std::uint64_t{0}; }},
             .endpoint = {"https://127.0.0.1:1", "", std::chrono::seconds(5)},
             .workload = {.tasks = 2, .steps = 1000},
             .postToMain = ui::qtMainThreadPoster(),
             .startThread = [&starts](std::function<void()> work) {
                 return ++starts > 1 && model::startDetachedThread(work);
             }});
    });
    view.show();
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
}

} // namespace

#include "support/FakeRoot.h"
#include "ui/ContentView.h"
#include "ui/QtMainThread.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// A keyboard-only user: Tab to the button, then Space, wait, Space again. The
// keys go to the window, as a keyboard's would, not to the button itself.
TEST(Focus, SpaceAloneStartsTwoRunsInARow) {
    testsupport::FakeRoot root;
    int starts = 0;
    ui::ContentView view([&] {
        return model::BenchmarkViewModel::create(
            {.system = {root.path(), [] { return std::uint64_t{0}; }},
             .endpoint = {"https://127.0.0.1:1", "", std::chrono::seconds(5)},
             .workload = {.tasks = 2, .steps = 1000},
             .postToMain = ui::qtMainThreadPoster(),
             .startThread = [&starts](std::function<void()> work) {
                 ++starts;
                 return model::startDetachedThread(work);
             }});
    });
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    QTest::keyClick(view.windowHandle(), Qt::Key_Tab);
    const auto* button = view.findChild<QWidget*>("startButton");
    ASSERT_TRUE(button->hasFocus());

    for (int run = 1; run <= 2; ++run) {
        QTest::keyClick(view.windowHandle(), Qt::Key_Space);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return starts == run && !*view.viewModel()->isRunning && button->isEnabled(); },
            30000))
            << "run " << run;
    }
    EXPECT_TRUE(button->hasFocus());
}

} // namespace

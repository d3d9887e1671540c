#include "ViewFixture.h"

#include "ui/QtMainThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTest>

namespace uitest {

ViewFixture::ViewFixture() {
    root_.write("sys/class/dmi/id/product_name", "Mac99,1\n");
    root_.write("proc/cpuinfo", "processor\t: 0\nmodel name\t: Apple M9\n\n");
    view_ = std::make_unique<ui::ContentView>([this] {
        ++modelsMade_;
        model::ViewModelSeams seams;
        seams.system.root = root_.path();
        seams.system.physicalMemoryBytes = [] { return std::uint64_t{16} << 30; };
        seams.endpoint = {server_.baseUrl(), server_.caFile(), std::chrono::seconds(60)};
        seams.workload = {.tasks = 24, .steps = 1000};
        seams.postToMain = ui::qtMainThreadPoster();
        return model::BenchmarkViewModel::create(std::move(seams));
    });
}

ViewFixture::~ViewFixture() {
    // A run in flight keeps its model; let it end before the server goes.
    if (view_->viewModel()) {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !*vm().isRunning; }, 30000));
        const std::weak_ptr<model::BenchmarkViewModel> weak = view_->viewModel();
        view_.reset();
        EXPECT_TRUE(QTest::qWaitFor([&weak] { return weak.expired(); }, 30000));
    }
}

void ViewFixture::show() {
    view_->show();
    settle();
}

void ViewFixture::settle() {
    for (int turn = 0; turn < 3; ++turn) {
        QCoreApplication::processEvents();
    }
}

QWidget* ViewFixture::part(const char* objectName) const {
    auto* widget = view_->findChild<QWidget*>(objectName);
    EXPECT_NE(widget, nullptr) << objectName;
    return widget;
}

QRect ViewFixture::placeOf(const char* objectName) const {
    const QWidget* widget = part(objectName);
    return {widget->mapTo(view_.get(), QPoint(0, 0)), widget->size()};
}

QLabel* ViewFixture::label(const char* objectName) const {
    return qobject_cast<QLabel*>(part(objectName));
}

QPushButton* ViewFixture::button() const {
    return qobject_cast<QPushButton*>(part("startButton"));
}

void ViewFixture::saveScreenshot(const char* name) const {
    QDir().mkpath(SCREENSHOT_DIR);
    EXPECT_TRUE(view_->grab().save(QString(SCREENSHOT_DIR) + "/" + name + ".png"));
}

} // namespace uitest

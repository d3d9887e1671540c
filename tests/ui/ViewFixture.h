#pragma once

#include "support/FakeRoot.h"
#include "support/TlsTestServer.h"
#include "ui/ContentView.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

namespace uitest {

// A shown main view over a fake system and a scripted local score service,
// posting to the real Qt event loop as the program does.
class ViewFixture : public ::testing::Test {
protected:
    ViewFixture();
    ~ViewFixture() override;

    // Shows the view and lets it draw its first state.
    void show();
    // Runs queued refreshes; the view redraws on the next turn of the loop.
    static void settle();
    // Where a child sits inside the view.
    QRect placeOf(const char* objectName) const;
    QWidget* part(const char* objectName) const;
    QLabel* label(const char* objectName) const;
    QPushButton* button() const;
    model::BenchmarkViewModel& vm() const { return *view_->viewModel(); }
    void saveScreenshot(const char* name) const;

    testsupport::FakeRoot root_;
    testsupport::TlsTestServer server_;
    int modelsMade_ = 0;
    std::unique_ptr<ui::ContentView> view_;
};

} // namespace uitest

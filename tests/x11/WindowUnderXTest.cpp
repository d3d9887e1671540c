#include "ChildProcess.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace xwindow {
namespace {

using namespace std::chrono_literals;

// The window's fixed layout, in pixels relative to the window.
constexpr int kWindowWidth = 450;
constexpr int kWindowHeight = 500;
constexpr int kInset = 30;
// 14 above and below a headline line; only roughly known, so samples keep clear of its edges.
constexpr int kButtonHeight = 44;
constexpr int kButtonTop = kWindowHeight - kInset - kButtonHeight;
constexpr int kButtonMiddleY = kButtonTop + kButtonHeight / 2;
// Inside the fill, left of the centred label and right of the rounded corners.
constexpr int kFillX = kInset + 20;
constexpr int kButtonCentreX = kWindowWidth / 2;

constexpr auto kStartLimit = 10s;
constexpr auto kRepaintLimit = 5s;
constexpr auto kExitLimit = 2s;

const Rgb kIdleBlue{0x0A, 0x84, 0xFF};

bool isIdleBlue(const Rgb& c) {
    constexpr int tolerance = 24;
    return std::abs(c.red - kIdleBlue.red) <= tolerance &&
           std::abs(c.green - kIdleBlue.green) <= tolerance &&
           std::abs(c.blue - kIdleBlue.blue) <= tolerance;
}

// Faint white over the dark background (about #353535), possibly dimmed while disabled:
// a dark neutral gray, nothing like blue or a pressed shade of it.
bool isRunningGray(const Rgb& c) {
    const int low = std::min({c.red, c.green, c.blue});
    const int high = std::max({c.red, c.green, c.blue});
    return high - low <= 12 && low >= 0x20 && high <= 0x60;
}

std::string describe(const std::optional<Rgb>& c) {
    if (!c) {
        return "unreadable";
    }
    std::ostringstream text;
    text << "rgb(" << c->red << ", " << c->green << ", " << c->blue << ")";
    return text.str();
}

bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::string desktopEntryValue(const std::string& key) {
    std::ifstream entry(DESKTOP_ENTRY);
    for (std::string line; std::getline(entry, line);) {
        if (line.starts_with(key + "=")) {
            return line.substr(key.size() + 1);
        }
    }
    return {};
}

class WindowUnderX : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = waitForWindow();
        if (const auto ended = app_.waitFor(0ms)) {
            FAIL() << "the program " << describeWaitStatus(*ended) << " before the test";
        }
        ASSERT_NE(window_, 0u) << "no viewable window of the program within 10 s";
        ASSERT_TRUE(waitForButtonFill(isIdleBlue))
            << "idle button never painted blue, last " << describe(buttonFill());
    }

    WindowId waitForWindow() {
        WindowId found = 0;
        pollUntil(
            [&] {
                const auto windows = x_.viewableWindowsOf(app_.pid());
                found = windows.empty() ? 0 : windows.front();
                return found != 0 || app_.waitFor(0ms).has_value();
            },
            kStartLimit);
        return found;
    }

    std::optional<Rgb> buttonFill() { return x_.pixelAt(window_, kFillX, kButtonMiddleY); }

    bool waitForButtonFill(bool (*look)(const Rgb&)) {
        return pollUntil(
            [&] {
                const auto fill = buttonFill();
                return fill && look(*fill);
            },
            kRepaintLimit);
    }

    void expectCleanExitAfterClose() {
        ASSERT_TRUE(x_.acceptsCloseRequest(window_)) << "window ignores WM_DELETE_WINDOW";
        x_.requestClose(window_);
        const auto status = app_.waitFor(kExitLimit);
        ASSERT_TRUE(status.has_value()) << "still running 2 s after the close request";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << describeWaitStatus(*status);
    }

    // Connect first: the program is ended before the connection goes.
    XSession x_;
    // Pin the X backend: a QT_QPA_PLATFORM=offscreen left in the environment would map nothing.
    ChildProcess app_{APP_BINARY, {"QT_QPA_PLATFORM=xcb"}};
    WindowId window_ = 0;
};

TEST_F(WindowUnderX, MapsOneUntitledWindowOfFixedSizeAndClosesWhenIdle) {
    EXPECT_EQ(x_.viewableWindowsOf(app_.pid()).size(), 1u);
    const auto size = x_.sizeOf(window_);
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->width, kWindowWidth);
    EXPECT_EQ(size->height, kWindowHeight);
    EXPECT_EQ(x_.textProperty(window_, "WM_NAME").value_or(""), "");
    EXPECT_EQ(x_.textProperty(window_, "_NET_WM_NAME").value_or(""), "");
    expectCleanExitAfterClose();
}

// Docks tie the window to the installed desktop entry through the class in
// WM_CLASS ("instance\0class\0") and show the window's own icon until they do.
TEST_F(WindowUnderX, ClassMatchesTheDesktopEntryAndTheWindowHasAnIcon) {
    const std::string wmClass = x_.textProperty(window_, "WM_CLASS").value_or("");
    const auto instanceEnd = wmClass.find('\0');
    ASSERT_NE(instanceEnd, std::string::npos) << "no WM_CLASS";
    const std::string windowClass = wmClass.substr(instanceEnd + 1).c_str();
    EXPECT_EQ(windowClass, desktopEntryValue("StartupWMClass"));
    EXPECT_FALSE(x_.textProperty(window_, "_NET_WM_ICON").value_or("").empty());
    expectCleanExitAfterClose();
}

TEST_F(WindowUnderX, ClickStartsRunAndClosingDuringItExitsAtOnce) {
    x_.click(window_, kButtonCentreX, kButtonMiddleY);
    ASSERT_TRUE(waitForButtonFill(isRunningGray))
        << "button never showed the running fill, last " << describe(buttonFill());
    EXPECT_EQ(x_.viewableWindowsOf(app_.pid()).size(), 1u) << "the run opened another window";
    // A run lasts well over a second, so it is still in flight here.
    expectCleanExitAfterClose();
}

} // namespace
} // namespace xwindow

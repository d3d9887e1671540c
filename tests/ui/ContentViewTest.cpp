#include "ViewFixture.h"
#include "ui/Widgets.h"

#include <QSignalSpy>
#include <QTest>

namespace {

using uitest::ViewFixture;

constexpr const char* kLongStatus =
    "⚠️ Bağlantı hatası: Skor gönderilemedi. İnternet bağlantınızı kontrol edin. "
    "⚠️ Bağlantı hatası: Skor gönderilemedi. İnternet bağlantınızı kontrol edin. "
    "⚠️ Bağlantı hatası: Skor gönderilemedi. İnternet bağlantınızı kontrol edin.";

QColor textColor(const QWidget* widget) {
    return widget->palette().color(QPalette::WindowText);
}

class ContentViewTest : public ViewFixture {
protected:
    // The places that must never move, whatever the view shows.
    void expectFixedFrame() {
        EXPECT_EQ(view_->size(), QSize(450, 500));
        EXPECT_EQ(placeOf("startButton").left(), 30);
        EXPECT_EQ(placeOf("startButton").width(), 390);
        EXPECT_EQ(placeOf("startButton").bottom() + 1, 470);
        EXPECT_EQ(placeOf("statusLine").height(), 40);
        EXPECT_EQ(placeOf("statusLine").bottom() + 1 + 20, placeOf("startButton").top());
        EXPECT_EQ(placeOf("cpuIcon").top(), 30);
        EXPECT_EQ(placeOf("hardwareCard").left(), 30);
        EXPECT_EQ(placeOf("hardwareCard").width(), 390);
    }
};

TEST_F(ContentViewTest, FirstShowsTheFactsAndAnIdleWindowWithoutScore) {
    show();
    expectFixedFrame();
    EXPECT_EQ(label("deviceValue")->text(), "Mac99,1");
    EXPECT_EQ(label("chipValue")->text(), "Apple M9");
    EXPECT_EQ(label("ramValue")->text(), "16 GB");
    EXPECT_FALSE(part("scorePanel")->isVisible());
    EXPECT_EQ(label("statusLine")->accessibleName(), "Hazır. Lütfen testi başlatın.");
    EXPECT_EQ(textColor(label("statusLine")), QColor("#8E8E93"));
    EXPECT_EQ(button()->text(), "Kapsamlı Testi Başlat");
    EXPECT_TRUE(button()->isEnabled());
    const auto colors = static_cast<ui::PlainButton*>(button())->currentColors();
    EXPECT_EQ(colors.fill, QColor("#0A84FF"));
    EXPECT_EQ(colors.text, QColor(Qt::white));
    EXPECT_LT(placeOf("cpuIcon").bottom(), placeOf("title").top());
    EXPECT_LT(placeOf("title").bottom(), placeOf("hardwareCard").top());
    saveScreenshot("idle");
}

TEST_F(ContentViewTest, RunningAppearanceIsGrayDisabledAndWithoutScore) {
    show();
    vm().score = 4.2;
    vm().isRunning = true;
    vm().status = "Bütünleşik Bellek (Unified Memory) ve CPU çekirdekleri stres testine tabi "
                  "tutuluyor (Lütfen bekleyin)...";
    vm().score = std::nullopt;
    settle();

    expectFixedFrame();
    EXPECT_FALSE(part("scorePanel")->isVisible());
    EXPECT_EQ(textColor(label("statusLine")), QColor("#FF9F0A"));
    EXPECT_EQ(button()->text(), "Stres Testi Sürüyor...");
    EXPECT_FALSE(button()->isEnabled());
    const auto colors = static_cast<ui::PlainButton*>(button())->currentColors();
    EXPECT_EQ(colors.text, QColor("#8E8E93"));
    EXPECT_EQ(colors.fill, QColor(255, 255, 255, 26));
    saveScreenshot("running");

    // A disabled button ignores the mouse and the keyboard alike.
    int announcements = 0;
    auto subscription = vm().objectWillChange.subscribe([&] { ++announcements; });
    QTest::mouseClick(button(), Qt::LeftButton);
    QTest::keyClick(button(), Qt::Key_Space);
    EXPECT_EQ(announcements, 0);
    vm().isRunning = false;
}

TEST_F(ContentViewTest, ScorePanelStandsBelowTheCardAndMovesNothingElse) {
    show();
    const QRect statusBefore = placeOf("statusLine");
    vm().score = 12.34;
    settle();

    expectFixedFrame();
    ASSERT_TRUE(part("scorePanel")->isVisible());
    EXPECT_EQ(label("scoreValue")->text(), "12.3 Saniye");
    EXPECT_EQ(textColor(label("scoreValue")), QColor("#30D158"));
    EXPECT_EQ(placeOf("scorePanel").top(), placeOf("hardwareCard").bottom() + 1 + 20);
    EXPECT_EQ(placeOf("scoreCaption").top(), placeOf("hardwareCard").bottom() + 1 + 30);
    EXPECT_LE(placeOf("scorePanel").bottom(), statusBefore.top());
    EXPECT_EQ(placeOf("statusLine"), statusBefore);
}

TEST_F(ContentViewTest, LongStatusWrapsInsideItsBoxAndValuesStayVerbatim) {
    root_.write("sys/class/dmi/id/product_name", "<b>%1 &amp;</b>\n");
    show();
    vm().score = 100.0;
    vm().status = kLongStatus;
    settle();

    expectFixedFrame();
    EXPECT_EQ(label("deviceValue")->text(), "<b>%1 &amp;</b>");
    EXPECT_EQ(label("deviceValue")->textFormat(), Qt::PlainText);
    EXPECT_EQ(label("scoreValue")->text(), "100.0 Saniye");
    EXPECT_TRUE(label("statusLine")->wordWrap());
    EXPECT_EQ(label("statusLine")->accessibleName(), kLongStatus);
}

TEST_F(ContentViewTest, OneViewModelServesTheWholeLifeOfTheView) {
    EXPECT_EQ(view_->viewModel(), nullptr); // made at first display, not before
    show();
    const auto first = view_->viewModel();
    view_->hide();
    view_->show();
    vm().status = "x";
    settle();
    EXPECT_EQ(view_->viewModel(), first);
    EXPECT_EQ(modelsMade_, 1);
}

TEST_F(ContentViewTest, AClickRunsTheBenchmarkAndShowsScoreAndOutcome) {
    server_.reply(200, R"({"success":true,"message":"Skor kaydedildi"})");
    show();
    QTest::mouseClick(button(), Qt::LeftButton);
    EXPECT_TRUE(*vm().isRunning);
    settle();
    EXPECT_FALSE(button()->isEnabled());

    ASSERT_TRUE(QTest::qWaitFor([this] { return part("scorePanel")->isVisible(); }, 30000));
    EXPECT_EQ(label("statusLine")->accessibleName(), "✅ Skor kaydedildi");
    EXPECT_TRUE(button()->isEnabled());
    EXPECT_EQ(server_.requestCount(), 1u);
    expectFixedFrame();
    saveScreenshot("scored");
}

TEST_F(ContentViewTest, TheKeyboardReachesAndPressesTheButton) {
    server_.reply(500, R"({"error":"Bakımdayız"})");
    show();
    EXPECT_NE(button()->focusPolicy() & Qt::TabFocus, 0);
    EXPECT_FALSE(button()->accessibleName().isEmpty() && button()->text().isEmpty());
    QTest::keyClick(button(), Qt::Key_Space);
    EXPECT_TRUE(*vm().isRunning);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !*vm().isRunning; }, 30000));
    settle();
    EXPECT_EQ(label("statusLine")->accessibleName(), "❌ Hata: Bakımdayız");
}

} // namespace

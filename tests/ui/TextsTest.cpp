#include "ui/Formatting.h"
#include "ui/StatusMarkup.h"

#include <QTextDocument>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

namespace {

TEST(FormattingTest, IntegersHaveNoGroupingAndScoresOneDecimalWithAFullStop) {
    // Under a locale with a decimal comma and digit grouping, as Turkish has.
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string restore = previous ? previous : "C";
    const bool turkish = std::setlocale(LC_ALL, "tr_TR.UTF-8") != nullptr;

    EXPECT_EQ(ui::formatInteger(16), "16");
    EXPECT_EQ(ui::formatInteger(0), "0");
    EXPECT_EQ(ui::formatInteger(1234567), "1234567");
    EXPECT_EQ(ui::formatOneDecimal(12.34), "12.3");
    EXPECT_EQ(ui::formatOneDecimal(7.06), "7.1");
    EXPECT_EQ(ui::formatOneDecimal(0.0), "0.0");
    EXPECT_EQ(ui::formatOneDecimal(100.0), "100.0");
    EXPECT_EQ(ui::formatOneDecimal(0.25), "0.2"); // an exact tie rounds to even, as printf does
    EXPECT_EQ(ui::formatOneDecimal(1e20), "100000000000000000000.0");

    std::setlocale(LC_ALL, restore.c_str());
    if (!turkish) {
        GTEST_SKIP() << "tr_TR.UTF-8 is not installed; checked under the C locale only";
    }
}

QString shownText(const QString& markup) {
    QTextDocument document;
    document.setHtml(markup);
    return document.toPlainText();
}

TEST(StatusMarkupTest, ShowsEveryTextVerbatim) {
    for (const QString& text : {QString("Hazır. Lütfen testi başlatın."),
                                QString("❌ Hata: <b>bold</b> & &amp; \"quoted\""),
                                QString("⚠️ Bağlantı hatası"), QString("✅ "), QString()}) {
        EXPECT_EQ(shownText(ui::statusMarkup(text)), text) << text.toStdString();
    }
}

TEST(StatusMarkupTest, DrawsEmojiButNotLettersFromTheEmojiFont) {
    const QString emojiSpan = "<span style=\"font-family:'Noto Color Emoji'\">";
    EXPECT_TRUE(ui::statusMarkup("✅ ok").contains(emojiSpan + "✅</span>"));
    EXPECT_TRUE(ui::statusMarkup("⚠️ x").contains(emojiSpan + "⚠️</span>"));
    EXPECT_TRUE(ui::statusMarkup("❌ Hata: ").contains(emojiSpan + "❌</span>"));
    // Without the emoji selector, a text-style symbol stays with the text font.
    EXPECT_FALSE(ui::statusMarkup("⚠ x").contains(emojiSpan));
    EXPECT_FALSE(ui::statusMarkup("İnternet 123 #").contains(emojiSpan));
}

} // namespace

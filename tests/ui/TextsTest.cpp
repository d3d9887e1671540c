#include "ui/StatusMarkup.h"

#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

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

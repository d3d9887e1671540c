#include "ui/StatusMarkup.h"

#include <QList>

#include <unicode/uchar.h>

namespace ui {
namespace {

constexpr char32_t kEmojiVariation = 0xFE0F;

bool startsEmoji(const QList<uint>& codePoints, qsizetype at) {
    const auto c = static_cast<UChar32>(codePoints[at]);
    const bool variationFollows =
        at + 1 < codePoints.size() && codePoints[at + 1] == kEmojiVariation;
    return u_hasBinaryProperty(c, UCHAR_EMOJI_PRESENTATION) ||
           (variationFollows && u_hasBinaryProperty(c, UCHAR_EMOJI));
}

QString escaped(const QList<uint>& codePoints, qsizetype from, qsizetype to) {
    QString plain;
    for (qsizetype i = from; i < to; ++i) {
        plain += QString::fromUcs4(reinterpret_cast<const char32_t*>(&codePoints[i]), 1);
    }
    return plain.toHtmlEscaped();
}

} // namespace

QString statusMarkup(const QString& text) {
    const QList<uint> codePoints = text.toUcs4();
    QString html = QStringLiteral("<span style=\"white-space:pre-wrap\">");
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i < codePoints.size(); ++i) {
        if (!startsEmoji(codePoints, i)) {
            continue;
        }
        const qsizetype end =
            (i + 1 < codePoints.size() && codePoints[i + 1] == kEmojiVariation) ? i + 2 : i + 1;
        html += escaped(codePoints, plainFrom, i);
        html += QStringLiteral("<span style=\"font-family:'Noto Color Emoji'\">") +
                escaped(codePoints, i, end) + QStringLiteral("</span>");
        plainFrom = end;
        i = end - 1;
    }
    html += escaped(codePoints, plainFrom, codePoints.size());
    return html + QStringLiteral("</span>");
}

} // namespace ui

#include "service/pages/ComparePage.h"

#include "service/pages/CompareChart.h"
#include "service/pages/Html.h"
#include "service/pages/ProcessorsPage.h"
#include "service/pages/Texts.h"

namespace service {
namespace {

// "%12 daha hızlı", "%3 daha yavaş", or nothing when the two round alike.
std::string faster(int percent) {
    if (percent == 0) {
        return "";
    }
    return "%" + std::to_string(percent > 0 ? percent : -percent) +
           (percent > 0 ? " daha hızlı" : " daha yavaş");
}

std::string figureRow(const char* name, const std::string& a, const std::string& b) {
    std::string html;
    append(html, "<tr><th scope='row'>", name, "</th><td class='n'>", a, "</td><td class='n'>", b,
           "</td></tr>");
    return html;
}

std::string figures(const ProcessorData& a, const ProcessorData& b) {
    const auto& x = a.row.spread;
    const auto& y = b.row.spread;
    const auto seconds = [](double value) { return formatSeconds(value); };
    std::string html;
    append(html, "<table><caption>Rakamlar</caption><tr><th scope='col'>Rakam</th><th scope='col'>",
           chipLink(a.row.chip), "</th><th scope='col'>", chipLink(b.row.chip), "</th></tr>",
           figureRow("Sonuç", formatCount(x.count) + fewMark(x.count),
                     formatCount(y.count) + fewMark(y.count)),
           figureRow("En iyi", seconds(x.best), seconds(y.best)),
           figureRow("10. yüzdelik", seconds(x.p10), seconds(y.p10)),
           figureRow("Alt çeyrek", seconds(x.q1), seconds(y.q1)),
           figureRow("Ortanca", seconds(x.median), seconds(y.median)),
           figureRow("Üst çeyrek", seconds(x.q3), seconds(y.q3)),
           figureRow("90. yüzdelik", seconds(x.p90), seconds(y.p90)),
           figureRow("İncelemede", formatCount(a.held), formatCount(b.held)), "</table>");
    return html;
}

} // namespace

std::string medianSentence(double time, const std::string& chip, std::int64_t count,
                           double median) {
    if (count < kFewResults) {
        return "";
    }
    const std::string how = faster(percentFaster(time, median));
    std::string html;
    append(html, "<p>Bu sonuç, ", chipLink(chip), " işlemcisinin ", formatCount(count),
           " sonucunun ortancası", how.empty() ? "yla aynı." : "ndan " + how + ".", "</p>");
    return html;
}

std::string comparisonSentence(const ProcessorRow& a, const ProcessorRow& b) {
    const std::string first = escapeHtml(a.chip);
    const std::string second = escapeHtml(b.chip);
    const std::string how = faster(percentFaster(a.spread.median, b.spread.median));
    std::string text =
        how.empty() ? "Ortancalara göre " + first + " ile " + second + " aynı hızda"
                    : "Ortancalara göre " + first + ", " + second + " ile kıyaslandığında " + how;
    if (!middlesOverlap(a.spread, b.spread)) {
        return text + "; orta yarıları örtüşmüyor.";
    }
    return text + (how.empty() ? "; orta yarıları da örtüşüyor."
                               : "; ancak orta yarıları örtüşüyor: fark sonuçların yayılımı "
                                 "içinde kalıyor, açık bir üstünlük sayılmaz.");
}

std::string compareAddress(const std::string& a, const std::string& b) {
    return escapeHtml("/compare?a=" + encodeQueryValue(a) + "&b=" + encodeQueryValue(b));
}

std::string renderComparison(const ProcessorData& a, const ProcessorData& b) {
    const std::string first = escapeHtml(a.row.chip);
    const std::string second = escapeHtml(b.row.chip);
    const bool few = a.row.spread.count < kFewResults || b.row.spread.count < kFewResults;
    std::string html;
    append(html, "<p><a href='/'>", kBoardTitle, "</a> › <a href='/processors'>", kProcessorsTitle,
           "</a></p><h1>", first, " ile ", second, "</h1><p>", comparisonSentence(a.row, b.row),
           "</p>", few ? "<p>" + fewLegend() + "</p>" : "",
           comparisonFigure(a.distribution, b.distribution, a.row.chip, b.row.chip, "cmp"),
           figures(a, b), "<p>", kScoreNote, " Orta yarı, alt çeyrekten üst çeyreğe uzanan ",
           "sonuçlardır.</p><p><a href='", compareAddress(b.row.chip, a.row.chip),
           "'>Yerlerini değiştir</a></p>");
    return htmlDocument(first + " ile " + second + " – " + kBoardTitle, html);
}

std::string missingInComparisonPage(const std::string& missing, const std::string& other,
                                    bool missingFirst, const std::vector<ProcessorRow>& alike) {
    std::string text = "“" + escapeHtml(missing) + "” adında, sonucu olan bir işlemci yok.";
    if (!alike.empty()) {
        text += " Adında bu geçen işlemciler:</p><ul>";
        for (const auto& row : alike) {
            append(text, "<li><a href='",
                   missingFirst ? compareAddress(row.chip, other) : compareAddress(other, row.chip),
                   "'>", escapeHtml(row.chip), "</a></li>");
        }
        text += "</ul><p>";
    }
    return noticePage("İşlemci bulunamadı", text);
}

} // namespace service

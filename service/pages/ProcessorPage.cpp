#include "service/pages/ProcessorPage.h"

#include "service/pages/Chart.h"
#include "service/pages/Html.h"
#include "service/pages/LeaderboardPage.h"
#include "service/pages/ProcessorsPage.h"
#include "service/pages/Texts.h"

namespace service {
namespace {

std::string figureRow(const char* name, double seconds) {
    std::string html;
    append(html, "<tr><th scope='row'>", name, "</th><td class='n'>", formatSeconds(seconds),
           "</td></tr>");
    return html;
}

std::string percentiles(const Spread& s) {
    std::string html = "<table><caption>Yüzdelikler</caption><tr><th scope='col'>Yüzdelik</th>"
                       "<th scope='col' class='n'>Skor</th></tr>";
    append(html, figureRow("En iyi", s.best), figureRow("10.", s.p10),
           figureRow("25. (alt çeyrek)", s.q1), figureRow("50. (ortanca)", s.median),
           figureRow("75. (üst çeyrek)", s.q3), figureRow("90.", s.p90), "</table>");
    return html;
}

// Shown only where there is more than one size to tell apart.
std::string byMemory(const std::vector<MemoryRow>& rows) {
    if (rows.size() < 2) {
        return "";
    }
    std::string html = "<h2>Belleğe göre</h2><table><tr><th scope='col' class='n'>Bellek</th>"
                       "<th scope='col' class='n'>Sonuç</th><th scope='col' class='n'>En "
                       "iyi</th></tr>";
    for (const auto& row : rows) {
        append(html, "<tr><td class='n'>", std::to_string(row.ramGb), " GB</td><td class='n'>",
               formatCount(row.count), "</td><td class='n'>", formatSeconds(row.best),
               "</td></tr>");
    }
    return html + "</table>";
}

std::string compareForm(const std::string& chip) {
    std::string html;
    append(html,
           "<h2>Karşılaştır</h2><form method='get' action='/compare'><input type='hidden' "
           "name='a' value='",
           escapeHtml(chip),
           "'><label for='b'>Başka bir işlemcinin adı</label> <input type='search' id='b' "
           "name='b' required> <button type='submit'>Karşılaştır</button></form>");
    return html;
}

std::string summary(const ProcessorData& data) {
    const auto& s = data.row.spread;
    std::string html;
    append(html, "<p>", formatCount(s.count), " sonuç", fewMark(s.count), "; ortanca ",
           formatSeconds(s.median), ", en iyi ", formatSeconds(s.best), ". ");
    html += data.held > 0 ? "İncelemede bekleyen " + formatCount(data.held) +
                                " sonucu bu rakamlara katılmadı."
                          : "İncelemede bekleyen sonucu yok.";
    if (s.count < kFewResults) {
        append(html, "</p><p>", fewLegend());
    }
    return html + "</p>";
}

} // namespace

std::string renderProcessor(const ProcessorData& data, int pageNumber) {
    const auto& chip = data.row.chip;
    const auto& s = data.row.spread;
    const std::string name = escapeHtml(chip);
    std::string html;
    append(html, "<p><a href='/'>", kBoardTitle, "</a> › <a href='/processors'>", kProcessorsTitle,
           "</a></p><h1>", name, "</h1>", summary(data), "<p>", kScoreNote,
           "</p><h2>Skorların dağılımı</h2>",
           distributionFigure(data.distribution, chip, s.median, std::nullopt, "dist"),
           percentiles(s), byMemory(data.byMemory), compareForm(chip), "<h2>En iyi sonuçlar</h2>",
           paging(chip, pageNumber, data.best.size(), s.count),
           bestTable(data.best, pageNumber, data.fasterThanBest));
    return htmlDocument(name + " – " + kBoardTitle, html);
}

std::string missingProcessorPage(const std::string& chip) {
    return noticePage("İşlemci bulunamadı", "“" + escapeHtml(chip) +
                                                "” adında, sonucu olan bir işlemci yok. <a "
                                                "href='/processors'>Bütün işlemciler</a> ·");
}

} // namespace service

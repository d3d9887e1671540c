#include "service/pages/LeaderboardPage.h"

#include "service/pages/Chart.h"
#include "service/pages/Html.h"
#include "service/pages/Paging.h"
#include "service/pages/ProcessorsPage.h"
#include "service/pages/ResultPage.h"
#include "service/pages/Texts.h"

#include <algorithm>

namespace service {
namespace {

constexpr std::size_t kChartedChips = 12;

std::string chipTable(const std::vector<ChipSummary>& chips) {
    std::string html = "<table><tr><th scope='col'>İşlemci</th>"
                       "<th scope='col' class='n'>En iyi</th><th scope='col' class='n'>Ortanca</th>"
                       "<th scope='col' class='n'>Sonuç</th></tr>";
    for (const auto& summary : chips) {
        append(html, "<tr><td>", chipLink(summary.chip), "</td><td class='n'>",
               formatSeconds(summary.best), "</td><td class='n'>", formatSeconds(summary.median),
               "</td><td class='n'>", std::to_string(summary.count), "</td></tr>");
    }
    html.append("</table>");
    return html;
}

std::string pageAddress(const std::optional<std::string>& chip, int pageNumber) {
    std::string query = chip ? "chip=" + encodeQueryValue(*chip) + "&" : "";
    return escapeHtml("/?" + query + "page=" + std::to_string(pageNumber));
}

} // namespace

std::string paging(const std::optional<std::string>& chip, int pageNumber, std::size_t shown,
                   std::int64_t total) {
    const std::int64_t first = std::int64_t{pageNumber - 1} * kPageRows;
    return pagingBar(first, shown, total, "sonuç",
                     pageNumber > 1 ? pageAddress(chip, pageNumber - 1) : "",
                     pageNumber < lastPage(total) ? pageAddress(chip, pageNumber + 1) : "");
}

std::string bestTable(const std::vector<StoredScore>& scores, int pageNumber, std::int64_t faster) {
    std::string html = "<table><tr><th scope='col' "
                       "class='n'>Sıra</th><th scope='col'>Cihaz</th><th scope='col'>İşlemci</th>"
                       "<th scope='col' class='n opt'>Bellek</th><th scope='col' "
                       "class='n'>Skor</th><th scope='col' class='opt'>Tarih (UTC)</th></tr>";
    const auto ranks = sharedRanks(scores, std::int64_t{pageNumber - 1} * kPageRows, faster);
    for (std::size_t i = 0; i < scores.size(); ++i) {
        const auto& score = scores[i];
        const auto& p = score.payload;
        append(html, "<tr><td class='n'>", formatCount(ranks[i]), "</td><td>",
               escapeHtml(p.device_name), "</td><td>", chipLink(p.chip_type),
               "</td><td class='n opt'>", std::to_string(p.ram_gb),
               " GB</td><td class='n'><a href='", resultPath(score.id),
               "' title='Sonucun sayfası'>", formatSeconds(p.xcode_build_sec),
               "</a></td><td class='opt'>", timeHtml(score.receivedAt), "</td></tr>");
    }
    if (scores.empty()) {
        html.append("<tr><td colspan='6'>Bu sayfada sonuç yok.</td></tr>");
    }
    html.append("</table>");
    return html;
}

std::string renderLeaderboard(const LeaderboardData& data, int pageNumber) {
    const auto& chips = data.chips;
    std::string html;
    append(html, "<h1>", kBoardTitle, "</h1><p>", kScoreNote, "</p>", searchForm("", std::nullopt),
           "<h2>En iyi sonuçlar</h2>",
           paging(std::nullopt, pageNumber, data.best.size(), data.total),
           bestTable(data.best, pageNumber, data.fasterThanBest),
           "<h2>En çok sonucu olan işlemciler</h2>",
           chips.empty() ? "" : chipsFigure(chips, kChartedChips, "chips"), chipTable(chips),
           "<p><a href='/processors'>Bütün işlemciler: sırala, ara, karşılaştır</a></p>");
    return htmlDocument(kBoardTitle, html);
}

std::vector<std::int64_t> sharedRanks(const std::vector<StoredScore>& scores, std::int64_t first,
                                      std::int64_t faster) {
    std::vector<std::int64_t> ranks;
    ranks.reserve(scores.size());
    for (std::size_t i = 0; i < scores.size(); ++i) {
        const bool tied =
            i > 0 && scores[i].payload.xcode_build_sec == scores[i - 1].payload.xcode_build_sec;
        ranks.push_back(i == 0 ? faster + 1
                        : tied ? ranks.back()
                               : first + static_cast<std::int64_t>(i) + 1);
    }
    return ranks;
}

int lastPage(std::int64_t total) {
    return static_cast<int>(
        std::clamp<std::int64_t>((total + kPageRows - 1) / kPageRows, 1, kMaxPage));
}

std::string pageOutOfRange(const std::optional<std::string>& chip, int last) {
    const std::string range = last == 1 ? "Bu tabloda yalnızca 1. sayfa var."
                                        : "Sayfa numarası 1 ile " + std::to_string(last) +
                                              " arasında bir tam sayı olmalı.";
    return noticePage("Geçersiz sayfa",
                      range + " <a href='" + pageAddress(chip, last) + "'>Son sayfa</a> ·");
}

std::string missingPage() {
    return noticePage("Sayfa bulunamadı", "Bu adreste bir sayfa yok.");
}

std::string unavailablePage() {
    return htmlDocument(kBoardTitle,
                        std::string("<h1>") + kBoardTitle + "</h1><p>" + kUnavailableText + "</p>");
}

} // namespace service

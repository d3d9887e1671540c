#include "service/pages/ResultPage.h"

#include "service/pages/Chart.h"
#include "service/pages/ComparePage.h"
#include "service/pages/Html.h"
#include "service/pages/Texts.h"

#include <algorithm>

namespace service {
namespace {

std::string row(const char* name, const std::string& value) {
    std::string html;
    append(html, "<tr><th scope='row'>", name, "</th><td>", value, "</td></tr>");
    return html;
}

// The submitting program and its version, as its User-Agent named them.
std::string clientText(const ClientVersion& client) {
    return client.product.empty() ? "bilinmiyor"
                                  : escapeHtml(client.product) + " " + escapeHtml(client.version);
}

} // namespace

std::string placeText(std::int64_t rank, std::int64_t total) {
    // A share of a few results says little ("ilk %100" is last of two), and
    // past the first half "ilk" is true of nearly everyone: the rank says it.
    constexpr std::int64_t kFewestForShare = 10;
    std::string text = formatCount(total) + " sonuç arasında " + formatCount(rank) + ". sırada";
    const int percent = topPercent(rank, total);
    if (total >= kFewestForShare && percent <= 50) {
        text += " (ilk %" + std::to_string(percent) + ")";
    }
    return text;
}

int topPercent(std::int64_t rank, std::int64_t total) {
    if (total <= 0) {
        return 100;
    }
    const auto percent = (200 * rank + total) / (2 * total); // rounded half up
    return static_cast<int>(std::clamp<std::int64_t>(percent, 1, 100));
}

std::string resultPath(std::int64_t id) {
    return "/r/" + std::to_string(id);
}

std::string renderResult(const ResultData& result) {
    const auto& standing = result.standing;
    const auto& p = standing.score.payload;
    const std::string id = std::to_string(standing.score.id);
    const std::string chip = chipLink(p.chip_type);
    std::string html;
    append(html, "<p><a href='/'>", kBoardTitle, "</a></p><h1>Sonuç ", id, "</h1><p>İşlemci ", chip,
           ": ", placeText(standing.rank, standing.total), ".</p>",
           medianSentence(p.xcode_build_sec, p.chip_type, standing.total, result.median),
           "<table><caption>Sonucun değerleri</caption>",
           row("Skor", formatSeconds(p.xcode_build_sec) + " (çalışma " +
                           formatSeconds(p.xcode_build_sec / submission::kBuildFactor) +
                           " saniye sürdü)"),
           row("Cihaz", escapeHtml(p.device_name)), row("İşlemci", chip),
           row("Bellek", std::to_string(p.ram_gb) + " GB"),
           row("Tarih (UTC)", timeHtml(standing.score.receivedAt)),
           row("İstemci", clientText(standing.score.client)), "</table>");
    append(html, "<p>", kScoreNote, "</p><h2>Bu işlemcideki skorların dağılımı</h2>",
           distributionFigure(result.distribution, p.chip_type, result.median, p.xcode_build_sec,
                              "dist"));
    return htmlDocument("Sonuç " + id + ": " + escapeHtml(p.chip_type) + " – " + kBoardTitle, html);
}

std::string missingResultPage() {
    return noticePage(kMissingResult, "Bu adreste bir sonuç yok.");
}

} // namespace service

#include "service/LeaderboardPage.h"

#include "service/Html.h"

#include <algorithm>

namespace service {
namespace {

constexpr int kBestRows = 50;
constexpr int kBins = 20;

// Attributes are single-quoted throughout; escapeHtml escapes both quotes.
const char* const kHead =
    "<!DOCTYPE html>\n<html lang='tr'><head><meta charset='utf-8'>"
    "<meta name='viewport' content='width=device-width, initial-scale=1'>"
    "<title>Skor Tablosu</title><style>"
    "body{font-family:sans-serif;margin:2em auto;max-width:60em;padding:0 1em}"
    "table{border-collapse:collapse;margin:1em 0}"
    "td,th{border-bottom:1px solid #ccc;padding:.3em .8em;text-align:left}"
    "td.n{text-align:right}svg{max-width:100%}"
    "</style></head><body><h1>Skor Tablosu</h1>"
    "<p>Süreler saniyedir; kısa süre daha iyidir.</p>";

std::string chipLink(const std::string& chip) {
    std::string html;
    append(html, "<a href='/?chip=", escapeHtml(encodeQueryValue(chip)), "'>", escapeHtml(chip),
           "</a>");
    return html;
}

std::string filterForm(const std::vector<ChipSummary>& chips,
                       const std::optional<std::string>& chosen) {
    std::string html = "<form method='get' action='/'><label>İşlemci: <select name='chip'>"
                       "<option value=''>Tümü</option>";
    for (const auto& summary : chips) {
        const bool selected = chosen && *chosen == summary.chip;
        append(html, "<option value='", escapeHtml(summary.chip), selected ? "' selected>" : "'>",
               escapeHtml(summary.chip), "</option>");
    }
    html.append("</select></label> <button type='submit'>Göster</button></form>");
    return html;
}

std::string chipTable(const std::vector<ChipSummary>& chips) {
    std::string html = "<h2>İşlemciler</h2><table><tr><th>İşlemci</th><th>En iyi</th>"
                       "<th>Ortanca</th><th>Sonuç</th></tr>";
    for (const auto& summary : chips) {
        append(html, "<tr><td>", chipLink(summary.chip), "</td><td class='n'>",
               formatSeconds(summary.best), "</td><td class='n'>", formatSeconds(summary.median),
               "</td><td class='n'>", std::to_string(summary.count), "</td></tr>");
    }
    html.append("</table>");
    return html;
}

std::string bestTable(const std::vector<StoredScore>& scores,
                      const std::optional<std::string>& chip) {
    std::string html = "<h2>En iyi sonuçlar";
    append(html, chip ? ": " + escapeHtml(*chip) : "",
           "</h2><table><tr><th>Sıra</th><th>Cihaz</th><th>İşlemci</th>"
           "<th>Bellek</th><th>Süre</th><th>Tarih (UTC)</th></tr>");
    int rank = 0;
    for (const auto& score : scores) {
        const auto& p = score.payload;
        append(html, "<tr><td class='n'>", std::to_string(++rank), "</td><td>",
               escapeHtml(p.device_name), "</td><td>", chipLink(p.chip_type), "</td><td class='n'>",
               std::to_string(p.ram_gb), " GB</td><td class='n'>", formatSeconds(p.xcode_build_sec),
               "</td><td>", escapeHtml(score.receivedAt), "</td></tr>");
    }
    if (scores.empty()) {
        html.append("<tr><td colspan='6'>Henüz sonuç yok.</td></tr>");
    }
    html.append("</table>");
    return html;
}

} // namespace

std::string distributionSvg(const Distribution& distribution) {
    constexpr int kWidth = 600, kHeight = 200, kAxis = 20;
    const auto bins = static_cast<int>(distribution.counts.size());
    if (bins == 0) {
        return {};
    }
    const auto peak = std::max<std::int64_t>(
        1, *std::max_element(distribution.counts.begin(), distribution.counts.end()));
    const int barWidth = kWidth / bins;
    std::string svg;
    append(svg, "<svg xmlns='http://www.w3.org/2000/svg' width='", std::to_string(kWidth),
           "' height='", std::to_string(kHeight + kAxis),
           "' role='img' aria-label='Sürelerin dağılımı'>");
    for (int i = 0; i < bins; ++i) {
        const auto count = distribution.counts[static_cast<std::size_t>(i)];
        const auto height = static_cast<int>(count * kHeight / peak);
        const double from = distribution.low + i * distribution.binWidth;
        append(svg, "<rect x='", std::to_string(i * barWidth), "' y='",
               std::to_string(kHeight - height), "' width='", std::to_string(barWidth - 2),
               "' height='", std::to_string(height), "' fill='#4a7bd0'><title>",
               formatSeconds(from), "–", formatSeconds(from + distribution.binWidth),
               " sn: ", std::to_string(count), " sonuç</title></rect>");
    }
    const double high = distribution.low + bins * distribution.binWidth;
    const std::string labelY = std::to_string(kHeight + 15);
    append(svg, "<text x='0' y='", labelY, "'>", formatSeconds(distribution.low),
           " sn</text><text x='", std::to_string(kWidth), "' y='", labelY, "' text-anchor='end'>",
           formatSeconds(high), " sn</text></svg>");
    return svg;
}

std::optional<std::string> renderLeaderboard(ScoreStore& store,
                                             const std::optional<std::string>& chip) {
    const auto data = store.page(chip, kBestRows, kBins);
    if (!data) {
        return std::nullopt;
    }
    std::string html = kHead;
    append(html, filterForm(data->chips, chip));
    if (chip) {
        append(html, "<h2>Sürelerin dağılımı: ", escapeHtml(*chip), "</h2>",
               data->distribution->counts.empty() ? "<p>Bu işlemci için sonuç yok.</p>"
                                                  : distributionSvg(*data->distribution));
    }
    append(html, bestTable(data->best, chip), chipTable(data->chips), "</body></html>\n");
    return html;
}

std::string unavailablePage() {
    std::string html = kHead;
    html.append("<p>Skor veritabanına şu an ulaşılamıyor. Lütfen daha sonra tekrar deneyin.</p>"
                "</body></html>\n");
    return html;
}

} // namespace service

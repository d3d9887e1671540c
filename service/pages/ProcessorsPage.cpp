#include "service/pages/ProcessorsPage.h"

#include "service/pages/Html.h"
#include "service/pages/Paging.h"
#include "service/pages/Texts.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace service {
namespace {

struct Order {
    ProcessorOrder order;
    const char* name;
    const char* heading;
    const char* sort; // aria-sort: how the column runs in this order
    const char* arrow;
};

constexpr std::array<Order, 3> kOrders = {{
    {ProcessorOrder::name, "name", "İşlemci", "ascending", " ▲"},
    {ProcessorOrder::count, "count", "Sonuç", "descending", " ▼"},
    {ProcessorOrder::median, "median", "Ortanca", "ascending", " ▲"},
}};

const Order& orderOf(ProcessorOrder order) {
    return *std::find_if(kOrders.begin(), kOrders.end(),
                         [order](const Order& o) { return o.order == order; });
}

std::string listAddress(const std::string& search, ProcessorOrder order, std::int64_t pageNumber) {
    std::string address = "/processors?";
    if (!search.empty()) {
        append(address, "q=", encodeQueryValue(search), "&");
    }
    append(address, "sort=", orderName(order));
    if (pageNumber > 1) {
        append(address, "&page=", std::to_string(pageNumber));
    }
    return escapeHtml(address);
}

// A column heading that sorts by its column; the current order's says so.
std::string sortHeading(const ProcessorsView& view, ProcessorOrder order, const char* classes) {
    const auto& o = orderOf(order);
    const bool current = view.order == order;
    std::string html;
    append(html, "<th scope='col'", *classes ? std::string(" class='") + classes + "'" : "",
           current ? std::string(" aria-sort='") + o.sort + "'" : "", "><a href='",
           listAddress(view.search, order, 1), "'>", o.heading, "</a>",
           current ? std::string("<span aria-hidden='true'>") + o.arrow + "</span>" : "", "</th>");
    return html;
}

// The median's speed against the fastest listed, as a bar and in words.
std::string speedCell(double median, double fastest) {
    const double share = median > 0 && fastest > 0 ? fastest / median * 100 : 0;
    const auto percent = std::isfinite(share) ? std::clamp<long>(std::lround(share), 0, 100) : 0;
    const auto number = std::to_string(percent);
    std::string html;
    append(html,
           "<td class='n'><span class='track opt' aria-hidden='true'><span style='width:", number,
           "%'></span></span>%", number, "</td>");
    return html;
}

std::string row(const ProcessorRow& processor, double fastest) {
    const auto& s = processor.spread;
    std::string html;
    append(html, "<tr><td>", chipLink(processor.chip), "</td><td class='n'>", formatCount(s.count),
           fewMark(s.count), "</td><td class='n'>", formatSeconds(s.median),
           "</td><td class='n opt'>", formatSeconds(s.q1), "–", formatSeconds(s.q3),
           "</td><td class='n opt'>", formatSeconds(s.best), "</td>", speedCell(s.median, fastest),
           "</tr>");
    return html;
}

std::string table(const ProcessorList& list, const ProcessorsView& view) {
    std::string html;
    append(html, "<p>", fewLegend(),
           " Hız: ortancanın listelenenlerin en hızlı ortancasına oranı (en hızlısı %100); uzun "
           "çubuk daha hızlıdır.</p><table><caption>İşlemciler</caption><tr>",
           sortHeading(view, ProcessorOrder::name, ""),
           sortHeading(view, ProcessorOrder::count, "n"),
           sortHeading(view, ProcessorOrder::median, "n"),
           "<th scope='col' class='n opt'>Orta yarı</th><th scope='col' class='n opt'>En "
           "iyi</th><th scope='col' class='n'>Hız</th></tr>");
    for (const auto& processor : list.rows) {
        html += row(processor, list.fastestMedian);
    }
    return html + "</table>";
}

} // namespace

std::optional<ProcessorOrder> orderNamed(std::string_view name) {
    for (const auto& o : kOrders) {
        if (name == o.name) {
            return o.order;
        }
    }
    return std::nullopt;
}

const char* orderName(ProcessorOrder order) {
    return orderOf(order).name;
}

std::int64_t lastProcessorsPage(std::int64_t total) {
    return std::max<std::int64_t>(1, (total + kProcessorRows - 1) / kProcessorRows);
}

std::string fewMark(std::int64_t count) {
    return count < kFewResults ? " *" : "";
}

std::string fewLegend() {
    return "* En az " + std::to_string(kFewResults) +
           " sonucu olmayan işlemci: rakamları rastlantıya bağlı olabilir.";
}

std::string searchForm(const std::string& search, std::optional<ProcessorOrder> order) {
    std::string html;
    append(html,
           "<form method='get' action='/processors' role='search'><label for='q'>İşlemci "
           "ara</label> <input type='search' id='q' name='q' value='",
           escapeHtml(search), "'>",
           order
               ? std::string("<input type='hidden' name='sort' value='") + orderName(*order) + "'>"
               : "",
           " <button type='submit'>Ara</button></form>");
    return html;
}

std::string renderProcessors(const ProcessorList& list, const ProcessorsView& view) {
    const std::string search = escapeHtml(view.search);
    const std::int64_t first = std::int64_t{view.pageNumber - 1} * kProcessorRows;
    const bool more = view.pageNumber < lastProcessorsPage(list.total);
    std::string html;
    append(html, "<p><a href='/'>", kBoardTitle, "</a></p><h1>", kProcessorsTitle, "</h1>",
           searchForm(view.search, view.order));
    if (!view.search.empty()) {
        append(html, "<p>“", search, "” araması: ", formatCount(list.total), " işlemci.</p>");
    }
    if (list.rows.empty()) {
        append(html, "<p>Aramanızla eşleşen işlemci yok. <a href='/processors'>Bütün ",
               "işlemciler</a></p>");
    } else {
        append(html, table(list, view),
               pagingBar(first, list.rows.size(), list.total, "işlemci",
                         view.pageNumber > 1
                             ? listAddress(view.search, view.order, view.pageNumber - 1)
                             : "",
                         more ? listAddress(view.search, view.order, view.pageNumber + 1) : ""));
    }
    const std::string title = std::string(kProcessorsTitle) + " – " + kBoardTitle;
    return htmlDocument(view.search.empty() ? title : "“" + search + "” – " + title, html);
}

std::string badParametersPage(const std::string& problem) {
    return noticePage("Geçersiz adres", problem);
}

} // namespace service

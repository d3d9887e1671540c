#include "service/pages/Paging.h"

#include "service/pages/Html.h"

namespace service {

std::string pagingBar(std::int64_t first, std::size_t shown, std::int64_t total, const char* noun,
                      const std::string& previous, const std::string& next) {
    const auto last = first + static_cast<std::int64_t>(shown);
    std::string html = "<p class='paging'><span>";
    append(html, shown == 0 ? "0" : formatCount(first + 1) + "–" + formatCount(last), " / ",
           formatCount(total), " ", noun, "</span>");
    if (!previous.empty()) {
        append(html, "<a href='", previous, "'>← Önceki sayfa</a>");
    }
    if (!next.empty()) {
        append(html, "<a href='", next, "'>Sonraki sayfa →</a>");
    }
    return html + "</p>";
}

} // namespace service

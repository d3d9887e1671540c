#include "service/pages/Html.h"

#include "service/pages/Texts.h"

#include <cctype>

namespace service {

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string encodeQueryValue(std::string_view text) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::string chipPath(const std::string& chip) {
    return "/?chip=" + encodeQueryValue(chip);
}

std::string shortened(const std::string& name, std::size_t limit) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80 && ++characters > limit) {
            return name.substr(0, i) + "…";
        }
    }
    return name;
}

namespace {

// Narrow screens drop the optional columns and break long names anywhere, so
// that no page is wider than 320 px.
const char* const kStyle =
    "body{font:16px/1.45 sans-serif;color:#1a1a1a;background:#fff;margin:0 auto;"
    "max-width:60rem;padding:0 1rem;overflow-wrap:anywhere}"
    "a{color:#0b4fa8}h1{font-size:1.6rem}h2{font-size:1.25rem;margin-top:2rem}"
    "input{max-width:100%;font:inherit}.track{display:inline-block;width:4rem;height:.7rem;"
    "border:1px solid #1a1a1a;vertical-align:middle;margin-right:.3rem}"
    ".track span{display:block;height:100%;background:#2f5fa7}"
    "table{border-collapse:collapse;margin:.5rem 0;max-width:100%}"
    "td,th{border-bottom:1px solid #bbb;padding:.3rem .6rem;text-align:left;vertical-align:top}"
    "td.n,th.n{text-align:right;white-space:nowrap}time{white-space:nowrap}"
    "caption{text-align:left;font-weight:bold}"
    "select{max-width:100%;font:inherit}button{font:inherit}"
    "figure{margin:1rem 0}figure svg{display:block;width:100%;max-width:30rem;height:auto}"
    "figcaption{font-size:.95rem}.paging{display:flex;flex-wrap:wrap;gap:.5rem 1.5rem}"
    "@media (max-width:40rem){body{padding:0 .5rem}td,th{padding:.25rem .3rem}.opt{display:none}}";

} // namespace

std::string htmlDocument(const std::string& title, const std::string& body) {
    std::string html;
    append(html,
           "<!DOCTYPE html>\n<html lang='tr'><head><meta charset='utf-8'>"
           "<meta name='viewport' content='width=device-width, initial-scale=1'>"
           "<link rel='icon' type='image/svg+xml' href='/favicon.ico'><title>",
           title, "</title><style>", kStyle, "</style></head><body><main>", body,
           "</main></body></html>\n");
    return html;
}

std::string noticePage(const std::string& heading, const std::string& text) {
    std::string body;
    append(body, "<h1>", heading, "</h1><p>", text, " <a href='/'>", kBoardTitle, "</a></p>");
    return htmlDocument(heading + " – " + kBoardTitle, body);
}

std::string timeHtml(const std::string& iso) {
    const std::string whole = escapeHtml(iso);
    std::string html;
    append(html, "<time datetime='", whole, "' title='", whole, "'>", escapeHtml(readableUtc(iso)),
           "</time>");
    return html;
}

std::string chipLink(const std::string& chip) {
    std::string html;
    append(html, "<a href='", escapeHtml(chipPath(chip)), "'>", escapeHtml(chip), "</a>");
    return html;
}

} // namespace service

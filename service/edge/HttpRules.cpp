#include "service/edge/HttpRules.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cctype>
#include <cstdint>

namespace service {
namespace {

Refusal unreadableTarget() {
    return Refusal{400, "Geçersiz istek: adres çözülemedi."};
}

constexpr std::size_t kMaxTargetBytes = 4096;

std::vector<std::string_view> values(const RequestHead& head, std::string_view name) {
    std::vector<std::string_view> found;
    for (const auto& [field, value] : head.fields) {
        if (sameName(field, name)) {
            found.emplace_back(value);
        }
    }
    return found;
}

// A list field's lines as one list, as a field given once would read.
std::string joined(const RequestHead& head, std::string_view name) {
    std::string list;
    for (const auto value : values(head, name)) {
        list += (list.empty() ? "" : ", ") + std::string(value);
    }
    return list;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const int lower = std::tolower(static_cast<unsigned char>(c));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

bool validUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) {
            return false;
        }
    }
    return true;
}

// The framing of the body, or why it cannot be trusted: a request another
// parser could split differently is refused rather than guessed at.
std::optional<Refusal> framingProblem(const RequestHead& head) {
    const auto encodings = values(head, "Transfer-Encoding");
    const auto lengths = values(head, "Content-Length");
    if (!encodings.empty() && !lengths.empty()) {
        return Refusal{400, "Geçersiz istek: Content-Length ile Transfer-Encoding birlikte."};
    }
    if (encodings.size() > 1 ||
        (encodings.size() == 1 && !sameName(trim(encodings[0]), "chunked"))) {
        return Refusal{501, "Desteklenmeyen aktarım kodlaması: yalnızca chunked."};
    }
    if (lengths.size() > 1 || declaredLength(head) == -1) {
        return Refusal{400, "Geçersiz istek: Content-Length bir sayı olmalı."};
    }
    const auto hosts = values(head, "Host");
    if (hosts.size() != 1 || trim(hosts[0]).empty()) {
        return Refusal{400, "Geçersiz istek: tam olarak bir Host başlığı gerekli."};
    }
    return std::nullopt;
}

// The origin-form part of a target; the absolute form's scheme and authority are dropped.
std::optional<std::string_view> originForm(std::string_view target) {
    for (std::string_view scheme : {"http://", "https://"}) {
        if (target.size() > scheme.size() && sameName(target.substr(0, scheme.size()), scheme)) {
            const auto slash = target.find('/', scheme.size());
            const auto query = target.find('?', scheme.size());
            if (slash == std::string_view::npos) {
                return query == std::string_view::npos ? "/" : std::string_view{};
            }
            return query < slash ? std::string_view{} : target.substr(slash);
        }
    }
    return target.empty() || target.front() != '/' ? std::nullopt : std::optional(target);
}

std::optional<Refusal> readTarget(std::string_view target, Request& request) {
    if (target.size() > kMaxTargetBytes) {
        return Refusal{414, "Adres çok uzun."};
    }
    const auto origin = originForm(target);
    if (!origin || origin->empty()) {
        return unreadableTarget();
    }
    const auto mark = origin->find('?');
    const auto path = percentDecode(origin->substr(0, mark), false);
    if (!path) {
        return unreadableTarget();
    }
    request.path = *path;
    std::string_view query = mark == std::string_view::npos ? "" : origin->substr(mark + 1);
    if (static_cast<std::size_t>(std::count(query.begin(), query.end(), '&')) >=
        kMaxQueryParameters) {
        return Refusal{414, "Adreste çok fazla parametre var."};
    }
    while (!query.empty()) {
        const auto pair = query.substr(0, query.find('&'));
        query.remove_prefix(std::min(query.size(), pair.size() + 1));
        const auto equals = pair.find('=');
        const auto name = percentDecode(pair.substr(0, equals), true);
        const auto value =
            percentDecode(equals == std::string_view::npos ? "" : pair.substr(equals + 1), true);
        // PostgreSQL refuses broken UTF-8 as an error, so it must not get that far.
        if (!name || !value || !validUtf8(*name) || !validUtf8(*value)) {
            return unreadableTarget();
        }
        // One value a name: which of two would count is a guess the client never sees.
        if (!name->empty() && !request.query.emplace(*name, *value).second) {
            return Refusal{400, "Geçersiz istek: bir parametre birden çok kez verilmiş."};
        }
    }
    return std::nullopt;
}

std::optional<std::string> forwardedClient(const RequestHead& head) {
    std::string joined;
    for (const auto value : values(head, "X-Forwarded-For")) {
        joined += std::string(value) + ",";
    }
    joined.pop_back();
    return canonicalAddress(trim(std::string_view(joined).substr(joined.rfind(',') + 1)));
}

} // namespace

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

long long declaredLength(const RequestHead& head) {
    const auto lengths = values(head, "Content-Length");
    if (lengths.empty()) {
        return 0;
    }
    auto text = trim(lengths[0]);
    const auto digits = text.find_first_not_of('0');
    text = digits == std::string_view::npos && !text.empty()
               ? "0"
               : text.substr(std::min(digits, text.size()));
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return -1;
    }
    return std::stoll(std::string(text));
}

std::optional<std::string> percentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            const int high = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
            const int low = high >= 0 ? hexDigit(text[i + 2]) : -1;
            if (low < 0) {
                return std::nullopt;
            }
            c = static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            c = ' ';
        }
        if (c == '\0') {
            return std::nullopt;
        }
        out += c;
    }
    return out;
}

std::optional<std::string> canonicalAddress(std::string_view text) {
    const std::string address(text);
    std::array<unsigned char, 16> raw{};
    std::array<char, INET6_ADDRSTRLEN> out{};
    if (inet_pton(AF_INET, address.c_str(), raw.data()) == 1) {
        return inet_ntop(AF_INET, raw.data(), out.data(), out.size());
    }
    if (inet_pton(AF_INET6, address.c_str(), raw.data()) != 1) {
        return std::nullopt;
    }
    constexpr std::array<unsigned char, 12> kMapped{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::equal(kMapped.begin(), kMapped.end(), raw.begin())) {
        return inet_ntop(AF_INET, raw.data() + 12, out.data(), out.size());
    }
    return inet_ntop(AF_INET6, raw.data(), out.data(), out.size());
}

std::variant<Request, Refusal> admitHead(const RequestHead& head, bool trustForwardedFor) {
    if (auto problem = framingProblem(head)) {
        return *problem;
    }
    Request request;
    request.method = head.method;
    if (auto problem = readTarget(head.target, request)) {
        return *problem;
    }
    const auto type = values(head, "Content-Type");
    request.contentType = type.empty() ? "" : std::string(type[0]);
    const auto agent = values(head, "User-Agent");
    request.userAgent = agent.empty() ? "" : std::string(agent[0]);
    request.accept = joined(head, "Accept");
    request.acceptEncoding = joined(head, "Accept-Encoding");
    request.ifNoneMatch = joined(head, "If-None-Match");
    request.clientAddress = canonicalAddress(head.peerAddress).value_or(head.peerAddress);
    if (trustForwardedFor && !values(head, "X-Forwarded-For").empty()) {
        const auto client = forwardedClient(head);
        if (!client) {
            return Refusal{400, "Geçersiz istek: X-Forwarded-For bir adres değil."};
        }
        request.clientAddress = *client;
    }
    return request;
}

std::vector<std::pair<std::string, std::string>> edgeHeaders(const Request& request,
                                                             const Response& response, bool tls) {
    const bool page = response.contentType.rfind("text/html", 0) == 0;
    std::vector<std::pair<std::string, std::string>> headers{
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
        {"Content-Security-Policy",
         page ? "default-src 'none'; style-src 'unsafe-inline'; img-src 'self' data:; "
                "form-action 'self'; base-uri 'none'; frame-ancestors 'none'"
              : "default-src 'none'; frame-ancestors 'none'"},
    };
    if (tls) {
        headers.emplace_back("Strict-Transport-Security", "max-age=31536000");
    }
    // Answers are fresh on every view unless the handler said how long one keeps.
    if (std::none_of(response.headers.begin(), response.headers.end(),
                     [](const auto& header) { return sameName(header.first, "Cache-Control"); })) {
        headers.emplace_back("Cache-Control", request.method == "GET" || request.method == "HEAD"
                                                  ? "no-cache"
                                                  : "no-store");
    }
    return headers;
}

} // namespace service

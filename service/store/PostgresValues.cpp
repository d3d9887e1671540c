#include "service/store/PostgresValues.h"

#include "submission/PlainText.h"

namespace service {
namespace {

// Type ids of the result columns the store reads (pg_type.oid).
constexpr Oid kInt2 = 21, kInt4 = 23, kInt8 = 20, kFloat4 = 700, kFloat8 = 701, kNumeric = 1700;

} // namespace

std::string numbered(std::string_view sql) {
    std::string out;
    int next = 0;
    for (const char c : sql) {
        if (c == '?') {
            out += '$';
            out += std::to_string(++next);
        } else {
            out += c;
        }
    }
    return out;
}

std::string paramText(const SqlValue& value) {
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        return std::to_string(*integer);
    }
    if (const auto* number = std::get_if<double>(&value)) {
        return submission::shortestText(*number); // reads back as the same double
    }
    const auto* text = std::get_if<std::string>(&value);
    return text != nullptr ? *text : std::string(); // a null is passed as no text at all
}

SqlValue cell(PGresult* result, int row, int column) {
    if (PQgetisnull(result, row, column)) {
        return nullptr;
    }
    const std::string text = PQgetvalue(result, row, column);
    switch (PQftype(result, column)) {
    case kInt2:
    case kInt4:
    case kInt8:
        return static_cast<std::int64_t>(std::stoll(text));
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return std::stod(text);
    default:
        return text;
    }
}

} // namespace service

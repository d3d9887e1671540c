#include "service/store/RecordColumns.h"

#include <type_traits>

namespace service {
namespace {

std::vector<std::string> memberNames() {
    std::vector<std::string> names;
    submission::Payload payload;
    submission::forEachMember(payload, [&](const char* name, auto&) { names.emplace_back(name); });
    return names;
}

std::string joined(const std::vector<std::string>& names, const std::string& separator) {
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : separator) + name;
    }
    return text;
}

// What follows the members in both tables.
const std::string kClientColumns = "client_product, client_version";
const std::string kReviewColumns = "review_reason, review_figures, submission_key";

SqlValue textOrNull(const std::string& value) {
    return value.empty() ? SqlValue{nullptr} : SqlValue{value};
}

} // namespace

const std::string kPayloadColumns = joined(memberNames(), ", ");

const std::string kRecordColumns =
    "id, received_at, " + kPayloadColumns + ", " + kClientColumns + ", " + kReviewColumns;

const std::string kInsertScore =
    "INSERT INTO scores (received_at, " + kPayloadColumns + ", " + kClientColumns + ", " +
    kReviewColumns + ") VALUES (?" +
    joined(std::vector<std::string>(memberNames().size() + 5, ", ?"), "") + ") RETURNING id";

std::string storedColumns(const Dialect& dialect) {
    return "id, " + dialect.receivedAtText + ", " + kPayloadColumns + ", " + kClientColumns;
}

std::size_t storedColumnCount() {
    static const std::size_t count = memberNames().size() + 4;
    return count;
}

StoredScore storedScore(const SqlRow& row) {
    submission::Payload payload;
    std::size_t column = 2;
    submission::forEachMember(payload, [&](const char*, auto& value) {
        using Value = std::decay_t<decltype(value)>;
        const auto& cell = row.at(column++);
        if constexpr (std::is_same_v<Value, std::string>) {
            value = asText(cell);
        } else if constexpr (std::is_same_v<Value, double>) {
            value = asNumber(cell);
        } else {
            value = asInteger(cell);
        }
    });
    return StoredScore{
        asInteger(row.at(0)), asText(row.at(1)), std::move(payload),
        ClientVersion{asTextOrEmpty(row.at(column)), asTextOrEmpty(row.at(column + 1))}};
}

std::vector<SqlValue> submissionValues(const std::string& receivedAt,
                                       const submission::Payload& payload,
                                       const ClientVersion& client, const std::optional<Hold>& hold,
                                       std::int64_t key) {
    std::vector<SqlValue> values{receivedAt};
    submission::forEachMember(payload,
                              [&](const char*, const auto& value) { values.emplace_back(value); });
    values.insert(values.end(), {textOrNull(client.product), textOrNull(client.version),
                                 hold ? SqlValue{hold->reason} : SqlValue{nullptr},
                                 hold ? SqlValue{hold->figures} : SqlValue{nullptr}, key});
    return values;
}

} // namespace service

#include "service/admin/AdminRecords.h"

#include "service/store/RecordColumns.h"
#include "service/store/ReviewSql.h"
#include "submission/NumberText.h"
#include "submission/PayloadJson.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <type_traits>

namespace service {
namespace {

constexpr std::int64_t kBatch = 1000;

AdminRecord record(const SqlRow& row) {
    const auto n = storedColumnCount();
    return AdminRecord{storedScore(row), asText(row[n]), asTextOrEmpty(row[n + 1]),
                       asTextOrEmpty(row[n + 2])};
}

std::string clientText(const ClientVersion& client, const char* none) {
    return client.product.empty() ? none : client.product + "/" + client.version;
}

nlohmann::ordered_json textOrNull(const std::string& text) {
    return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

std::string selectFrom(const Dialect& dialect, const std::string& table, const std::string& state) {
    return "SELECT " + storedColumns(dialect) + ", " + state +
           ", review_reason, review_figures FROM " + table + " WHERE id > ?";
}

// The list options as SQL conditions and their values, after the id bound.
std::string conditions(const AdminCommand& filter, std::vector<SqlValue>& values) {
    std::string sql;
    if (filter.chip) {
        sql += " AND chip_type = ?";
        values.emplace_back(*filter.chip);
    }
    if (filter.since) {
        sql += " AND received_at >= ?";
        values.emplace_back(*filter.since);
    }
    if (const auto& client = filter.clientVersion) {
        const auto slash = client->find('/');
        sql += slash == std::string::npos ? " AND client_version = ?"
                                          : " AND client_product = ? AND client_version = ?";
        if (slash != std::string::npos) {
            values.emplace_back(client->substr(0, slash));
        }
        values.emplace_back(client->substr(slash == std::string::npos ? 0 : slash + 1));
    }
    return sql;
}

// Quoted, and wherever a spreadsheet could begin a cell, an apostrophe before
// what it would take for a formula, so that opening an export runs nothing a
// submitter wrote. A cell may begin at the text's start and, for a reader that
// splits on another separator or ignores the quotes, after any `,`, `;` or
// tab; spaces after it do not count, as some readers trim them.
std::string csvText(const std::string& text) {
    std::string quoted = "\"";
    bool cellStart = true;
    for (const char c : text) {
        if (cellStart && std::string_view("=+-@\t\r").find(c) != std::string_view::npos) {
            quoted += '\'';
        }
        cellStart = c == ',' || c == ';' || c == '\t' || (cellStart && c == ' ');
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

// A member's value as the operator reads it: texts quoted for a spreadsheet
// when `csv`, numbers as short as they read back.
template <class Value> std::string memberText(const Value& value, bool csv) {
    if constexpr (std::is_same_v<Value, std::string>) {
        return csv ? csvText(value) : value;
    } else if constexpr (std::is_same_v<Value, double>) {
        return submission::shortestText(value);
    } else {
        return std::to_string(value);
    }
}

} // namespace

std::int64_t forEachRecord(SqlConnection& connection, const Dialect& dialect,
                           const AdminCommand& filter,
                           const std::function<void(const AdminRecord&)>& sink) {
    struct Source {
        const char* table;
        const char* state;
        const char* only;
    };
    const auto sources =
        filter.heldOnly
            ? std::vector<Source>{{"withheld", "state", " AND state = 'held'"}}
            : std::vector<Source>{{"scores", "'public'", ""}, {"withheld", "state", ""}};
    std::int64_t passed = 0;
    for (const auto& source : sources) {
        std::vector<SqlValue> values{std::int64_t{0}};
        const std::string sql = selectFrom(dialect, source.table, source.state) + source.only +
                                conditions(filter, values) + " ORDER BY id LIMIT ?";
        values.emplace_back(kBatch);
        for (bool more = true; more;) {
            const auto rows = connection.run(sql, values);
            for (const auto& row : rows) {
                sink(record(row));
            }
            passed += static_cast<std::int64_t>(rows.size());
            more = static_cast<std::int64_t>(rows.size()) == kBatch;
            values[0] = rows.empty() ? std::int64_t{0} : asInteger(rows.back()[0]);
        }
    }
    return passed;
}

std::optional<AdminRecord> findRecord(SqlConnection& connection, const Dialect& dialect,
                                      std::int64_t id) {
    for (const auto& [table, state] : {std::pair{"scores", "'public'"}, {"withheld", "state"}}) {
        const auto rows =
            connection.run(selectFrom(dialect, table, state) + " AND id <= ?", {id - 1, id});
        if (!rows.empty()) {
            return record(rows[0]);
        }
    }
    return std::nullopt;
}

void writeListLine(std::ostream& out, const AdminRecord& r) {
    const auto& p = r.score.payload;
    out << r.score.id << '\t' << r.state << '\t' << r.score.receivedAt << '\t' << p.chip_type
        << '\t' << submission::shortestText(p.xcode_build_sec) << '\t'
        << clientText(r.score.client, "-") << '\t' << p.device_name << '\n';
}

void writeShow(std::ostream& out, const AdminRecord& r) {
    out << "id: " << r.score.id << "\nstate: " << r.state << "\nreceived_at: " << r.score.receivedAt
        << '\n';
    submission::forEachMember(r.score.payload, [&out](const char* name, const auto& value) {
        out << name << ": " << memberText(value, false) << '\n';
    });
    out << "client: " << clientText(r.score.client, "unknown")
        << "\nreview: " << (r.reviewReason.empty() ? "none" : r.reviewReason)
        << "\nreview_figures: " << (r.reviewFigures.empty() ? "none" : r.reviewFigures) << '\n';
}

void writeCsvHeader(std::ostream& out) {
    out << "id,received_at,state";
    const submission::Payload none;
    submission::forEachMember(none, [&out](const char* name, const auto&) { out << ',' << name; });
    out << ",client_product,client_version,review_reason,review_figures\r\n";
}

void writeCsv(std::ostream& out, const AdminRecord& r) {
    out << r.score.id << ',' << r.score.receivedAt << ',' << r.state;
    submission::forEachMember(r.score.payload, [&out](const char*, const auto& value) {
        out << ',' << memberText(value, true);
    });
    out << ',' << csvText(r.score.client.product) << ',' << csvText(r.score.client.version) << ','
        << csvText(r.reviewReason) << ',' << csvText(r.reviewFigures) << "\r\n";
}

void writeJsonl(std::ostream& out, const AdminRecord& r) {
    nlohmann::ordered_json line{
        {"id", r.score.id}, {"received_at", r.score.receivedAt}, {"state", r.state}};
    line.update(submission::payloadJson(r.score.payload));
    line["client_product"] = textOrNull(r.score.client.product);
    line["client_version"] = textOrNull(r.score.client.version);
    line["review_reason"] = textOrNull(r.reviewReason);
    line["review_figures"] = r.reviewFigures.empty()
                                 ? nlohmann::ordered_json(nullptr)
                                 : nlohmann::ordered_json::parse(r.reviewFigures, nullptr, false);
    out << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

} // namespace service

#include "service/admin/AdminRecords.h"

#include "submission/PlainText.h"
#include "submission/PayloadJson.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <type_traits>

namespace service {
namespace {

std::string clientText(const ClientVersion& client, const char* none) {
    return client.product.empty() ? none : client.product + "/" + client.version;
}

nlohmann::ordered_json textOrNull(const std::string& text) {
    return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
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

void writeListLine(std::ostream& out, const OperatorRecord& r) {
    const auto& p = r.score.payload;
    out << r.score.id << '\t' << r.state << '\t' << r.score.receivedAt << '\t' << p.chip_type
        << '\t' << submission::shortestText(p.xcode_build_sec) << '\t'
        << clientText(r.score.client, "-") << '\t' << p.device_name << '\n';
}

void writeShow(std::ostream& out, const OperatorRecord& r) {
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

void writeCsv(std::ostream& out, const OperatorRecord& r) {
    out << r.score.id << ',' << r.score.receivedAt << ',' << r.state;
    submission::forEachMember(r.score.payload, [&out](const char*, const auto& value) {
        out << ',' << memberText(value, true);
    });
    out << ',' << csvText(r.score.client.product) << ',' << csvText(r.score.client.version) << ','
        << csvText(r.reviewReason) << ',' << csvText(r.reviewFigures) << "\r\n";
}

void writeJsonl(std::ostream& out, const OperatorRecord& r) {
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

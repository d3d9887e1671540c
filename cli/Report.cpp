#include "cli/Report.h"

#include "model/Texts.h"
#include "submission/PlainText.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

namespace cli {
namespace {

using namespace model::texts;

constexpr std::string_view kReplacement = "\uFFFD";

const char* outcomeName(const RunReport& report) {
    const auto& result = report.submission;
    if (report.stopped) {
        return "stopped";
    }
    if (!result) {
        return "not_submitted";
    }
    switch (result->outcome) {
    case submission::Outcome::Accepted:
        return "accepted";
    case submission::Outcome::Refused:
        return "refused";
    case submission::Outcome::ConnectionFailure:
        break;
    }
    return "unreachable";
}

} // namespace

std::string printable(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (byte < 0x20 || byte == 0x7F || c1) {
            result += kReplacement;
            i += c1 ? 1 : 0;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::string factsText(const Facts& facts) {
    const std::array<std::pair<std::string_view, std::string>, 3> rows{{
        {kDeviceLabel, facts.deviceName},
        {kChipLabel, facts.chipName},
        {kRamLabel, ramText(facts.ramGB)},
    }};
    std::size_t width = 0;
    for (const auto& [label, value] : rows) {
        width = std::max(width, submission::codePoints(label));
    }
    std::string text;
    for (const auto& [label, value] : rows) {
        text += std::string(label) + std::string(width - submission::codePoints(label) + 1, ' ') +
                printable(value) + "\n";
    }
    return text;
}

std::string scoreLine(double score) {
    return std::string(kScoreCaption) + ": " + scoreText(score) + "\n";
}

std::string jsonReport(const RunReport& report) {
    // The score as the text shows it: one decimal, never a binary fraction's tail.
    const auto shown = formatOneDecimal(report.score);
    double score = 0.0;
    std::from_chars(shown.data(), shown.data() + shown.size(), score);
    using Json = nlohmann::ordered_json;
    const auto measured = [&report](double value) { return report.stopped ? Json() : Json(value); };
    const Json text = report.stopped      ? Json(kStoppedText)
                      : report.submission ? Json(report.submission->statusText)
                                          : Json();
    // Ordered: the keys come out as the README shows them, not sorted.
    Json json = {
        {"facts",
         {{"model", report.facts.deviceName},
          {"processor", report.facts.chipName},
          {"memory_gb", report.facts.ramGB}}},
        {"elapsed_sec", measured(report.elapsedSeconds)},
        {"score", measured(score)},
        {"outcome", outcomeName(report)},
        {"text", text},
    };
    if (report.submission && report.submission->id) {
        json["id"] = *report.submission->id;
    }
    if (report.submission && report.submission->url) {
        json["url"] = *report.submission->url;
    }
    // A fact that is not valid UTF-8 is replaced, not allowed to abort the report.
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

} // namespace cli

#pragma once

#include "submission/Submission.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cli {

// The three facts as the window's card shows them: unshortened, no fallbacks.
struct Facts {
    std::string deviceName;
    std::string chipName;
    std::int64_t ramGB = 0;
};

// What a run produced; `submission` is empty with --no-submit, and a run
// stopped by Ctrl-C has no time and no score.
struct RunReport {
    Facts facts;
    double elapsedSeconds = 0.0;
    double score = 0.0;
    std::optional<submission::SubmissionResult> submission;
    bool stopped = false;
};

inline constexpr const char* kStoppedText = "Test durduruldu; sonuç gönderilmedi.";

// `text` with every control character (C0, DEL, C1) replaced by U+FFFD, so a
// fact or a service's error text cannot steer the terminal it is printed on.
std::string printable(std::string_view text);

// The card's three rows, labels padded to one column, one line each.
std::string factsText(const Facts& facts);

// "Xcode Build Derleme Skoru: 12.3 Saniye" and a line end.
std::string scoreLine(double score);

// One JSON object on one line: facts, elapsed seconds, score (to one decimal,
// as the text shows it), outcome ("accepted", "refused", "unreachable",
// "not_submitted" or "stopped", with null time and score) and its text, then
// the stored record's id and page address when the service gave them.
std::string jsonReport(const RunReport& report);

} // namespace cli

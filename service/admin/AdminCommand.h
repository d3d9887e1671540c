#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace service {

// One `score-service admin …` command line, checked.
struct AdminCommand {
    std::string verb; // list, show, approve, hide, restore, delete, export, backup
    std::string database = "scores.sqlite3";
    std::int64_t id = 0;
    bool heldOnly = false;
    bool confirmed = false; // --yes
    std::optional<std::string> chip;
    std::optional<std::string> since; // ISO 8601 UTC with milliseconds
    std::optional<std::string> clientVersion;
    std::string format; // csv or jsonl
    std::string file;
};

} // namespace service

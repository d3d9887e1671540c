#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <variant>
#include <vector>

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

// The words after `admin` as a command, or why they are wrong.
std::variant<AdminCommand, std::string> parseAdmin(const std::vector<std::string>& args);

// Runs an operator command on the database a running service uses. Reports
// what it did on `out` (export writes its records there and its summary on
// `err`), and every failure on `err`. Returns the exit status: 0 done,
// 1 refused or failed, 2 a bad command line.
int runAdmin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

std::string adminUsage();

} // namespace service

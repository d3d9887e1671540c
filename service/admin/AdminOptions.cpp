#include "service/admin/Admin.h"
#include "service/rules/Flags.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

namespace service {
namespace {

const std::map<std::string, std::set<std::string>>& verbFlags() {
    static const std::map<std::string, std::set<std::string>> flags = {
        {"list", {"--held", "--chip", "--since", "--client-version"}},
        {"show", {}},
        {"approve", {}},
        {"hide", {}},
        {"restore", {}},
        {"delete", {"--yes"}},
        {"export", {"--format"}},
        {"backup", {}},
    };
    return flags;
}

bool takesValue(const std::string& flag) {
    return flag != "--held" && flag != "--yes";
}

bool digits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS[Z], as the stored text's prefix.
std::optional<std::string> parseSince(const std::string& text) {
    const std::string shape = "dddd-dd-ddTdd:dd:dd";
    const auto size = text.size() == 20 && text.back() == 'Z' ? 19 : text.size();
    if (size != 10 && size != 19) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < size; ++i) {
        if (shape[i] == 'd' ? !digits(text.substr(i, 1)) : text[i] != shape[i]) {
            return std::nullopt;
        }
    }
    return text.substr(0, size) + (size == 10 ? "T00:00:00.000Z" : ".000Z");
}

std::optional<std::string> setFlag(AdminCommand& command, const std::string& flag,
                                   const std::string& value) {
    if (flag == "--held" || flag == "--yes") {
        (flag == "--held" ? command.heldOnly : command.confirmed) = true;
    } else if (flag == "--database") {
        command.database = value;
    } else if (flag == "--chip") {
        command.chip = value;
    } else if (flag == "--client-version") {
        command.clientVersion = value;
    } else if (flag == "--format") {
        if (value != "csv" && value != "jsonl") {
            return "--format needs csv or jsonl, got '" + value + "'";
        }
        command.format = value;
    } else if (!(command.since = parseSince(value))) {
        return "--since needs YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ, got '" + value + "'";
    }
    return value.empty() && takesValue(flag) ? std::optional(flag + " needs a value")
                                             : std::nullopt;
}

std::optional<std::string> checkOperand(AdminCommand& command, const std::string& operand) {
    const auto& verb = command.verb;
    if (verb == "backup") {
        command.file = operand;
        return operand.empty() ? std::optional<std::string>("backup needs a FILE") : std::nullopt;
    }
    if (verb == "list" || verb == "export") {
        return operand.empty() ? std::nullopt : std::optional(verb + " takes no operand");
    }
    const auto* end = operand.data() + operand.size();
    const auto [rest, error] = std::from_chars(operand.data(), end, command.id);
    if (operand.empty() || error != std::errc() || rest != end || command.id < 1) {
        return verb + " needs a record id (a whole number from 1), got '" + operand + "'";
    }
    if (verb == "delete" && !command.confirmed) {
        return "delete removes the record for good; add --yes to confirm";
    }
    return std::nullopt;
}

// Every flag given is one the verb takes.
std::optional<std::string> flagsApply(const std::string& verb,
                                      const std::vector<std::string>& args) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        auto flag = args[i].substr(0, args[i].find('='));
        if (flag.starts_with("--") && flag != "--database" &&
            !verbFlags().at(verb).contains(flag)) {
            return flag.append(" does not apply to ").append(verb);
        }
    }
    return std::nullopt;
}

} // namespace

std::variant<AdminCommand, std::string> parseAdmin(const std::vector<std::string>& args) {
    AdminCommand command;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!args[i].starts_with("--")) {
            words.push_back(args[i]);
            continue;
        }
        const auto flag = readFlag(args, i, takesValue);
        const bool known = flag.name == "--database" ||
                           std::any_of(verbFlags().begin(), verbFlags().end(),
                                       [&](const auto& v) { return v.second.contains(flag.name); });
        if (!known || (!takesValue(flag.name) && flag.inlineValue)) {
            return "unknown option '" + flag.word + "'";
        }
        if (auto error = setFlag(command, flag.name, flag.value.value_or(""))) {
            return *error;
        }
    }
    if (words.empty() || !verbFlags().contains(words[0])) {
        return words.empty() ? std::string("admin needs a command")
                             : "unknown admin command '" + words[0] + "'";
    }
    command.verb = words[0];
    if (words.size() > 2) {
        return command.verb + " takes at most one operand, got '" + words[2] + "'";
    }
    if (auto error = flagsApply(command.verb, args)) {
        return *error;
    }
    if (command.verb == "export" && command.format.empty()) {
        return std::string("export needs --format csv or --format jsonl");
    }
    if (auto error = checkOperand(command, words.size() > 1 ? words[1] : "")) {
        return *error;
    }
    return command;
}

} // namespace service

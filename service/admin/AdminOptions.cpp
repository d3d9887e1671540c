#include "service/admin/Admin.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

namespace service {
namespace {

constexpr const char* kAbout =
    "Operator commands on the database of a running service, given the same --database;\n"
    "safe while it runs. list, show, export and backup only read: they refuse a database\n"
    "whose schema is older or newer than theirs; the commands that write upgrade it.";
constexpr const char* kFooter =
    "Each command takes --help. Exit status: 0 done, 1 refused or failed (an unknown id,\n"
    "a database it cannot open), 2 a bad command line.";

bool digits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS[Z], as the stored text's prefix.
std::string since(const std::string& text) {
    const std::string shape = "dddd-dd-ddTdd:dd:dd";
    const auto size = text.size() == 20 && text.back() == 'Z' ? 19 : text.size();
    bool fits = size == 10 || size == 19;
    for (std::size_t i = 0; fits && i < size; ++i) {
        fits = shape[i] == 'd' ? digits(text.substr(i, 1)) : text[i] == shape[i];
    }
    if (!fits) {
        throw CLI::ValidationError("--since",
                                   "needs YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ, got '" + text + "'");
    }
    return text.substr(0, size) + (size == 10 ? "T00:00:00.000Z" : ".000Z");
}

std::int64_t recordId(const std::string& text) {
    std::int64_t id = 0;
    const auto* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, id);
    if (text.empty() || error != std::errc() || rest != end || id < 1) {
        throw CLI::ValidationError("ID",
                                   "a record id is a whole number from 1, got '" + text + "'");
    }
    return id;
}

// The one table of the operator commands and their flags.
void addCommands(CLI::App& app, AdminCommand& c) {
    app.add_option("--database", c.database, "the service's database (a SQLite file must exist)")
        ->type_name("PATH_OR_URL");
    auto* list = app.add_subcommand(
        "list", "one tab-separated line per record: id, state, received, processor, score, "
                "client, device");
    list->add_flag("--held", c.heldOnly, "only the records held for review");
    list->add_option_function<std::string>(
            "--chip", [&c](const std::string& v) { c.chip = v; }, "only this processor's")
        ->type_name("NAME");
    list->add_option_function<std::string>(
            "--since", [&c](const std::string& v) { c.since = since(v); },
            "only those received since then (UTC)")
        ->type_name("YYYY-MM-DD[THH:MM:SSZ]");
    list->add_option_function<std::string>(
            "--client-version", [&c](const std::string& v) { c.clientVersion = v; },
            "only those sent by this client")
        ->type_name("[PRODUCT/]VERSION");
    for (const auto& [verb, help] : std::array<std::pair<const char*, const char*>, 5>{{
             {"show", "every stored value of a record, with its review figures"},
             {"approve", "puts a record held for review on the board"},
             {"hide", "takes a record off the board (or a held one out of review)"},
             {"restore", "puts a hidden record back on the board"},
             {"delete", "removes a record for good, from counts and ranks too"},
         }}) {
        auto* command = app.add_subcommand(verb, help);
        command
            ->add_option_function<std::string>(
                "ID", [&c](const std::string& v) { c.id = recordId(v); }, "the record's id")
            ->required()
            ->type_name("");
        if (std::string_view(verb) == "delete") {
            command->add_flag("--yes", c.confirmed, "confirms it");
        }
    }
    app.add_subcommand("export", "every record to standard output, streamed; its count to "
                                 "standard error")
        ->add_option("--format", c.format, "csv or jsonl")
        ->required()
        ->check(CLI::IsMember({"csv", "jsonl"}))
        ->type_name("FORMAT");
    app.add_subcommand("backup", "a consistent copy of a SQLite database into a new FILE (for "
                                 "PostgreSQL, pg_dump)")
        ->add_option("FILE", c.file, "the new file")
        ->required()
        ->type_name("");
}

// What was wrong, said for the command it was wrong for.
Refused refusal(const CLI::App& app, const Refused& refused) {
    const auto commands = app.get_subcommands();
    if (!commands.empty()) {
        return {commands.front()->get_name() + ": " + refused.reason};
    }
    for (const auto& word : app.remaining()) {
        if (!word.starts_with("-")) {
            return {"unknown admin command '" + word + "'"};
        }
    }
    return refused;
}

} // namespace

CommandLine<AdminCommand> parseAdmin(const std::vector<std::string>& args) {
    AdminCommand command;
    CLI::App app(kAbout, "score-service admin");
    describeFlags(app);
    app.footer(kFooter);
    app.require_subcommand(0, 1);
    app.fallthrough(); // --database may come after the command too
    addCommands(app, command);
    auto read = readFlags(app, args);
    if (auto* informed = std::get_if<Informed>(&read)) {
        return *informed;
    }
    if (auto* refused = std::get_if<Refused>(&read)) {
        return refusal(app, *refused);
    }
    if (app.get_subcommands().empty()) {
        return Refused{"admin needs a command"};
    }
    command.verb = app.get_subcommands().front()->get_name();
    if (command.verb == "delete" && !command.confirmed) {
        return Refused{"delete removes the record for good; add --yes to confirm"};
    }
    return command;
}

} // namespace service

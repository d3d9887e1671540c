#include "submission/CommandLine.h"

#include <CLI/CLI.hpp>
#include <optional>
#include <sstream>

namespace submission {

CommandLineRead readCommandLine(CLI::App& app, const std::vector<std::string>& args,
                                const std::function<std::string(const std::string&)>& refuseWord) {
    using Kind = CommandLineRead::Kind;
    const auto unknown = [&]() -> std::optional<CommandLineRead> {
        const auto words = app.remaining(true);
        if (words.empty()) {
            return std::nullopt;
        }
        return CommandLineRead{Kind::refused, refuseWord(words.front())};
    };
    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 reads from the back
    try {
        app.parse(reversed);
    } catch (const CLI::Success& asked) {
        if (auto refused = unknown()) {
            return *refused;
        }
        std::ostringstream out, ignored;
        app.exit(asked, out, ignored);
        return {Kind::printed, out.str()};
    } catch (const CLI::ParseError& error) {
        return unknown().value_or(CommandLineRead{Kind::refused, error.what()});
    }
    return {};
}

} // namespace submission

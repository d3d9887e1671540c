#include "service/rules/Flags.h"

#include "submission/CommandLine.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <sstream>

namespace service {
namespace {

constexpr std::size_t kNameColumn = 36;
constexpr std::size_t kWidth = 100;

// Words moved to lines of at most `width`; CLI11 indents each new line.
std::string wrapped(const std::string& text, std::size_t width) {
    std::string out;
    std::size_t lineStart = 0;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (out.size() > lineStart && out.size() - lineStart + 1 + word.size() > width) {
            out += '\n';
            lineStart = out.size();
        } else if (out.size() > lineStart) {
            out += ' ';
        }
        out += word;
    }
    return out;
}

// "--threads N   threads that run requests, 1 to 256 (default 16)": the
// value's name, then the help with its default, which the table holds once.
class FlagFormatter final : public CLI::Formatter {
public:
    std::string make_option_opts(const CLI::Option* option) const override {
        const auto type = option->get_type_name();
        return option->get_type_size() == 0 || type.empty() ? "" : " " + type;
    }
    std::string make_subcommand(const CLI::App* command) const override {
        std::ostringstream out;
        CLI::detail::format_help(out, command->get_name(),
                                 wrapped(command->get_description(), kWidth - kNameColumn),
                                 kNameColumn);
        return out.str();
    }
    std::string make_option_desc(const CLI::Option* option) const override {
        const auto& fallback = option->get_default_str();
        const bool shown = option->get_type_size() != 0 && !fallback.empty();
        return wrapped((option->get_required() ? "required: " : "") + option->get_description() +
                           (shown ? " (default " + fallback + ")" : ""),
                       kWidth - kNameColumn);
    }
};

} // namespace

void describeFlags(CLI::App& app) {
    app.formatter(std::make_shared<FlagFormatter>());
    app.get_formatter()->column_width(kNameColumn);
    app.option_defaults()->always_capture_default()->disable_flag_override()->multi_option_policy(
        CLI::MultiOptionPolicy::TakeLast);
}

std::variant<std::monostate, Informed, Refused> readFlags(CLI::App& app,
                                                          const std::vector<std::string>& args) {
    const auto read = submission::readCommandLine(app, args, [](const std::string& word) {
        return (word.starts_with("-") ? "unknown option '" : "unexpected argument '") + word + "'";
    });
    using Kind = submission::CommandLineRead::Kind;
    if (read.kind == Kind::printed) {
        return Informed{read.text};
    }
    if (read.kind == Kind::refused) {
        return Refused{read.text};
    }
    return std::monostate{};
}

} // namespace service

#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cli {

struct Options {
    enum class Action { Run, Help, Version };
    Action action = Action::Run;
    bool submit = true; // --no-submit measures only
    bool json = false;  // one JSON object instead of lines of text
};

// Either options or the reason the command line was refused.
struct ParsedArguments {
    std::optional<Options> options;
    std::string error;
};

// The arguments after the program's name. Any argument it does not know makes
// the whole line a usage error, even next to --help.
ParsedArguments parseArguments(const std::vector<std::string>& arguments);

std::string usageText();
std::string versionText();

} // namespace cli

#pragma once

#include <string>
#include <variant>
#include <vector>

namespace cli {

struct Options {
    bool submit = true; // --no-submit measures only
    bool json = false;  // one JSON object instead of lines of text
};

// What --help and --version print; the program then exits 0.
struct Shown {
    std::string text;
};

// Why the command line was refused (a usage error), naming the word at fault.
struct Refused {
    std::string reason;
};

using ParsedArguments = std::variant<Options, Shown, Refused>;

// The arguments after the program's name, read from the one table of its
// flags. Any argument it does not know makes the whole line a usage error,
// even next to --help.
ParsedArguments parseArguments(const std::vector<std::string>& arguments);

} // namespace cli

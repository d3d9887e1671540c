#pragma once
// How both programs run their table of flags (CLI11) over a command line, so
// that a word neither table knows is refused the same way everywhere.

#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
} // namespace CLI

namespace submission {

struct CommandLineRead {
    enum class Kind { read, printed, refused } kind = Kind::read;
    std::string text; // what --help or --version print, or why the line is refused
};

// Runs `app` over `args` (the words after the program's or command's name).
// A word no table knows refuses the whole line, even beside --help, worded
// by `refuseWord`; CLI11's own refusals name their flag.
CommandLineRead readCommandLine(CLI::App& app, const std::vector<std::string>& args,
                                const std::function<std::string(const std::string&)>& refuseWord);

} // namespace submission

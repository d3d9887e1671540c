#pragma once

#include <string>
#include <variant>
#include <vector>

namespace CLI {
class App;
} // namespace CLI

namespace service {

// What --help or --version print; the program then exits 0.
struct Informed {
    std::string text;
};

// Why a command line was refused, naming the flag or word at fault.
struct Refused {
    std::string reason;
};

// A command line read: run with `T`, print and stop, or refuse.
template <class T> using CommandLine = std::variant<T, Informed, Refused>;

// Settings every table of flags shares: a flag given twice takes its last
// value (as a unit file's override expects), and --help shows each default.
void describeFlags(CLI::App& app);

// Runs `app`'s table over `args` (the words after the program's name, or
// after `admin`). A word it does not know refuses the whole line, even
// beside --help.
std::variant<std::monostate, Informed, Refused> readFlags(CLI::App& app,
                                                          const std::vector<std::string>& args);

} // namespace service

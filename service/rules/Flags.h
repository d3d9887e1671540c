#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace service {

// One option of a command line: "--name=value", or "--name" followed, when
// the name takes a value, by the next word as its value.
struct FlagWord {
    std::string word; // as written, for messages
    std::string name;
    std::optional<std::string> value; // nothing when none was given
    bool inlineValue = false;         // given after '='
};

// Reads args[i], and args[i + 1] too (moving i past it) when `takesValue`
// says the name takes a value and none came after '='.
FlagWord readFlag(const std::vector<std::string>& args, std::size_t& i,
                  const std::function<bool(const std::string&)>& takesValue);

} // namespace service

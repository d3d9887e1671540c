#include "service/rules/Flags.h"

namespace service {

FlagWord readFlag(const std::vector<std::string>& args, std::size_t& i,
                  const std::function<bool(const std::string&)>& takesValue) {
    FlagWord flag{args[i], args[i], std::nullopt, false};
    if (const auto equals = flag.word.find('='); equals != std::string::npos) {
        flag.name = flag.word.substr(0, equals);
        flag.value = flag.word.substr(equals + 1);
        flag.inlineValue = true;
    } else if (takesValue(flag.name) && i + 1 < args.size()) {
        flag.value = args[++i];
    }
    return flag;
}

} // namespace service

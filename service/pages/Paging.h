#pragma once

#include <cstdint>
#include <string>

namespace service {

// Where one page of a list lies among all, "51–100 / 1.234 sonuç", and the
// links to the pages before and after it: each given as its address
// (escaped for an attribute), empty where there is none.
std::string pagingBar(std::int64_t first, std::size_t shown, std::int64_t total, const char* noun,
                      const std::string& previous, const std::string& next);

} // namespace service

#pragma once

#include "service/store/Records.h"

#include <string>

namespace service {

// Two processors' distributions on one axis, each bin's bar the share of
// that processor's results in it, so that a processor with many results does
// not dwarf one with few: the first solid, the second hatched and outlined,
// told apart without colour, with a legend. Best read with both in the same
// bins (ScoreStore::comparison); `id` makes its element ids unique on the page.
std::string comparisonFigure(const Distribution& a, const Distribution& b, const std::string& nameA,
                             const std::string& nameB, const std::string& id);

} // namespace service

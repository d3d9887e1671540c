#pragma once

#include "service/store/Records.h"

#include <string>

namespace service {

// One processor's page: its distribution, percentiles and best, the results
// held for review, its results by installed memory when it has several sizes,
// a form to compare it with another, and page `page` of its best results.
std::string renderProcessor(const ProcessorData& data, int pageNumber);

// The page for a name that no processor on the board has.
std::string missingProcessorPage(const std::string& chip);

} // namespace service

#pragma once

#include "submission/Payload.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace model {

// Every non-overlapping occurrence of `needle`, left to right, removed.
std::string removeAll(std::string_view text, std::string_view needle);

// The record of one run: the facts with their fallbacks for what could not be
// read, and the two derived times. The fallbacks touch only the record.
submission::Payload makePayload(const std::string& deviceName, const std::string& chipName,
                                std::int64_t ramGB, double elapsedSeconds);

} // namespace model

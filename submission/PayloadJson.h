#pragma once

#include "submission/Payload.h"

#include <nlohmann/json.hpp>

namespace submission {

// The seven members under their wire names, in the order the client sends
// them: the request body, and the part of any JSON that shows a record.
nlohmann::ordered_json payloadJson(const Payload& payload);

} // namespace submission

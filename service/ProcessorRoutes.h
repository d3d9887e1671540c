#pragma once
// The routes that answer which processor is faster and by how much: the
// processors list, a processor's page, a comparison of two, and their API.

#include "service/Handler.h"

#include <string>
#include <string_view>

namespace service {

// /processors, /compare, /api/processors and /api/processor.
bool isProcessorRoute(std::string_view path);

// Answers a read of one of those routes.
Response routeProcessors(const Request& request, ServiceContext& context);

// The page of the processor named exactly `chip`, with page `page` of its best results.
Response processorPage(const std::string& chip, int pageNumber, ServiceContext& context);

} // namespace service

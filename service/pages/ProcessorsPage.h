#pragma once

#include "service/store/Records.h"

#include <optional>
#include <string>
#include <string_view>

namespace service {

// Processors in one page of the processors list.
inline constexpr int kProcessorRows = 50;

// An order of the processors list by the name its address gives it
// ("median", "count", "name"); nothing for any other name.
std::optional<ProcessorOrder> orderNamed(std::string_view name);
const char* orderName(ProcessorOrder order);

// Which page of the processors list to show: the search as typed, the order
// and the page number (1 is the first).
struct ProcessorsView {
    std::string search;
    ProcessorOrder order = ProcessorOrder::median;
    int pageNumber = 1;
};

// The last page of a list of `total` processors: 1 for none.
std::int64_t lastProcessorsPage(std::int64_t total);

// The processors list: each processor's count, median, middle half, best and
// speed against the fastest median listed, sortable by three orders, paged,
// with processors of fewer than kFewResults results marked.
std::string renderProcessors(const ProcessorList& list, const ProcessorsView& view);

// The search box, a form a keyboard alone can use; it keeps `order` when set.
std::string searchForm(const std::string& search, std::optional<ProcessorOrder> order);

// " *" after a count under kFewResults, and the line that says what it means.
std::string fewMark(std::int64_t count);
std::string fewLegend();

// The page for an address whose parameters are not valid, naming `problem`.
std::string badParametersPage(const std::string& problem);

} // namespace service

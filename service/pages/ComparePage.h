#pragma once

#include "service/store/Records.h"

#include <string>
#include <vector>

namespace service {

// The bins both distributions of a comparison share.
inline constexpr int kCompareBins = 20;

// A result's time against its processor's median, as a sentence whose name
// links to the processor's page; empty below kFewResults results, where a
// median says little.
std::string medianSentence(double time, const std::string& chip, std::int64_t count, double median);

// How much faster or slower the first processor's median is than the
// second's, and whether their middle halves overlap: where they do, the
// difference is within the spread and no clear win.
std::string comparisonSentence(const ProcessorRow& a, const ProcessorRow& b);

// Two processors compared: the sentence, both distributions on one chart and
// their figures side by side.
std::string renderComparison(const ProcessorData& a, const ProcessorData& b);

// The address comparing two processors, escaped for an attribute.
std::string compareAddress(const std::string& a, const std::string& b);

// The page for a comparison naming `missing`, which no processor on the board
// has: the processors whose names hold it, each linked to a comparison with
// `other` in its place (first when `missingFirst`).
std::string missingInComparisonPage(const std::string& missing, const std::string& other,
                                    bool missingFirst, const std::vector<ProcessorRow>& alike);

} // namespace service

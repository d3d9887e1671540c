#pragma once

#include "service/store/Records.h"

#include <optional>
#include <string>
#include <vector>

namespace service {

// Rows in one page of the best results.
inline constexpr int kPageRows = 50;
// Pages past this are not served: an offset is walked, not jumped to.
inline constexpr int kMaxPage = 2000;
// The chosen processor's distribution's bins.
inline constexpr int kLeaderboardBins = 20;

// The leaderboard as one HTML page without scripts: the best results,
// `kPageRows` from page `page` on (1 is the first), the processors with most
// results as a chart and a table, and the way to all of them, from `data`
// read for that page. Every stored text is escaped.
std::string renderLeaderboard(const LeaderboardData& data, int pageNumber = 1);

// A page of the best results (of `chip` when set) and where it lies among
// `total`, linking the pages before and after.
std::string paging(const std::optional<std::string>& chip, int pageNumber, std::size_t shown,
                   std::int64_t total);
// Page `page` of the best results as a table, `faster` records before its first.
std::string bestTable(const std::vector<StoredScore>& scores, int pageNumber, std::int64_t faster);

// The ranks of `scores`, a list of the best from the `first`th (0 is the best)
// with `faster` records before its first: equal times share a rank, one more
// than the records faster than them, on the pages and in the API alike.
std::vector<std::int64_t> sharedRanks(const std::vector<StoredScore>& scores, std::int64_t first,
                                      std::int64_t faster);

// The last page that `total` results fill, at least 1 and at most kMaxPage.
int lastPage(std::int64_t total);

// The page for a page number that is not from 1 to `last`, naming that range.
std::string pageOutOfRange(const std::optional<std::string>& chip, int last);

// The page for an address that names nothing here.
std::string missingPage();

// The page shown instead when the database cannot be read.
std::string unavailablePage();

} // namespace service

#pragma once
// What the store hands out: plain values, so that the pages render them
// without reaching the store.

#include "service/rules/ClientVersion.h"
#include "service/rules/Spread.h"
#include "submission/Payload.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace service {

// What the metrics show of the board: results on it, and results held for
// review (hidden ones count in neither).
struct BoardCounts {
    std::int64_t records = 0;
    std::int64_t held = 0;
};

// A record as stored: the submitted values, its id and its UTC receive time.
struct StoredScore {
    std::int64_t id = 0;
    std::string receivedAt; // ISO 8601 in UTC, e.g. 2026-01-31T12:00:00.000Z
    submission::Payload payload;
    ClientVersion client; // empty when the submission named none
};

// Where a new record stands among the records of its processor.
struct Placement {
    std::int64_t id = 0;
    std::int64_t rank = 0;  // 1 is the shortest time
    std::int64_t total = 0; // records of the processor, this one included
    bool held = false;      // kept off the board for review; rank and total say where it would be
    // Its processor's median as the review saw it just before this record,
    // when the processor had kFewResults or more on the board.
    std::optional<double> median;
};

// A stored record with its place among its processor's records.
struct Standing {
    StoredScore score;
    std::int64_t rank = 0;  // 1 is the shortest time
    std::int64_t total = 0; // records of the processor, this one included
};

struct ChipSummary {
    std::string chip;
    double best = 0.0;
    double median = 0.0;
    std::int64_t count = 0;
};

// Counts of one processor's times in equal-width bins from `low` up. The
// bins cover the bulk of the times; the few far outside it are counted in
// `below` and `above`, so that one outlier cannot leave the bins empty.
struct Distribution {
    double low = 0.0;
    double binWidth = 0.0;
    std::vector<std::int64_t> counts;
    std::int64_t below = 0;
    std::int64_t above = 0;
};

// One result's page, read at one moment of the database: the record and its
// place, its processor's median and the distribution it is marked in.
struct ResultData {
    Standing standing;
    double median = 0.0;
    Distribution distribution;
};

// Some of the best results and how many there are in all, read together.
struct Listing {
    std::vector<StoredScore> rows;
    std::int64_t total = 0;
    std::int64_t fasterThanFirst = 0; // records faster than rows[0]: its rank is one more
};

// One processor with its figures, as the processors list shows it.
struct ProcessorRow {
    std::string chip;
    Spread spread;
};

enum class ProcessorOrder { median, count, name };

// Which processors a list shows: those whose name holds `search` (folded
// by foldName; all when empty), in `order`, `limit` from the `offset`th.
struct ProcessorQuery {
    std::string search;
    ProcessorOrder order = ProcessorOrder::median;
    std::int64_t offset = 0;
    int limit = 50;
};

struct ProcessorList {
    std::vector<ProcessorRow> rows;
    std::int64_t total = 0;     // processors that match
    double fastestMedian = 0.0; // of those that match: the bars' scale
};

// A processor's results with one amount of installed memory.
struct MemoryRow {
    std::int64_t ramGb = 0;
    std::int64_t count = 0;
    double best = 0.0;
};

// One processor's page, read at one moment of the database.
struct ProcessorData {
    ProcessorRow row;
    std::int64_t held = 0; // its results held for review, off the board
    std::vector<MemoryRow> byMemory;
    Distribution distribution;
    std::vector<StoredScore> best;
    std::int64_t fasterThanBest = 0; // its records faster than best[0]: its rank is one more
};

// Two processors read at one moment, their distributions in the same bins,
// so that they can be drawn on one axis; either empty when it has no result
// on the board. Neither has its best results nor its memory sizes.
struct Comparison {
    std::optional<ProcessorData> a;
    std::optional<ProcessorData> b;
};

// What one leaderboard page shows, read at one moment of the database.
struct LeaderboardData {
    std::vector<ChipSummary> chips;
    std::vector<StoredScore> best;
    std::int64_t total = 0;                   // records the best are drawn from
    std::optional<Distribution> distribution; // of the chosen processor
    std::int64_t fasterThanBest = 0;          // records faster than best[0]: its rank is one more
};

// What the public views show, as a tally that moves whenever any of it
// changes, whichever process changed it: the changes the counting triggers
// number on every processor, and the results held for review (a held one
// leaves `withheld` alone when an operator hides or deletes it).
struct BoardTally {
    std::int64_t changes = 0;
    std::int64_t held = 0;
    bool operator==(const BoardTally&) const = default;
};

} // namespace service

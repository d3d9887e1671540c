#pragma once
// What the processors list, a processor's page and the leaderboard's short
// list read: each processor's figures, kept while its count holds.

#include "service/store/Memo.h"
#include "service/store/Records.h"
#include "service/store/Sql.h"

namespace service {

// A processor's results on the board and the changes ever made to them, as
// the counting triggers keep them: what was read at one tally holds until the
// tally moves, whichever instance or operator moved it.
struct Tally {
    std::int64_t records = 0;
    std::int64_t changes = 0;
};
Tally readTally(SqlConnection& connection, const std::string& chip);

// Every processor's Spread, read again only when its tally moved. Bounded: a
// flood of names costs reads, never memory. Safe to call from several threads
// at once.
class ProcessorSpreads {
public:
    static constexpr std::size_t kMaxKept = 250000;

    Spread read(SqlConnection& connection, const Dialect& dialect, const std::string& chip,
                Tally tally);
    // The processors with most results, at most `limit`, most first.
    std::vector<ChipSummary> mostResults(SqlConnection& connection, const Dialect& dialect,
                                         int limit);
    ProcessorList list(SqlConnection& connection, const Dialect& dialect,
                       const ProcessorQuery& query);

private:
    struct Known {
        Spread value;
        std::int64_t changes = 0;
    };
    Memo<Known> known_{kMaxKept};
};

// A processor's results by installed memory, smallest first; its results held for review.
std::vector<MemoryRow> readByMemory(SqlConnection& connection, const std::string& chip);
std::int64_t readHeld(SqlConnection& connection, const std::string& chip);

// The processors on the board whose name folds to `folded`, as a subquery of
// one parameter, and read in order of name.
extern const std::string kChipsFolding;
std::vector<std::string> readChipsFolding(SqlConnection& connection, const std::string& folded);

// Names search finds a processor by (foldName), one row each, made as its
// first records are written; `namedChips` are those of a batch.
extern const std::string kNameChip;
void nameChips(SqlConnection& connection, const std::vector<std::string>& chips);

} // namespace service

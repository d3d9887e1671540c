#pragma once

#include "service/store/Records.h"

#include <cstdint>
#include <optional>
#include <string>

namespace service {

// The database behind the service. Its reads feed the public views (page,
// result page, /api/scores): a result kept from the public belongs in none
// of them, and each view is read in one snapshot, so that none of its
// numbers contradicts another. Every operation returns nothing when the
// database cannot be reached or refuses, so the caller can answer 503; none
// throws. Implementations are safe to call from several threads at once.
class ScoreStore {
public:
    virtual ~ScoreStore() = default;

    // Judges the time by the review rule (`reviewTime`, rules/Review.h)
    // against its processor's records as they stood just before it, and
    // stores it in one transaction: on the board, or held for review
    // (`Placement::held`, ranked as if on the board). Returns once committed.
    virtual std::optional<Placement> add(const submission::Payload& payload,
                                         const std::string& receivedAt,
                                         const ClientVersion& client) = 0;
    std::optional<Placement> add(const submission::Payload& payload,
                                 const std::string& receivedAt) {
        return add(payload, receivedAt, ClientVersion{});
    }
    // How many records there are, of one processor when `chip` is set.
    virtual std::optional<std::int64_t> records(const std::optional<std::string>& chip) = 0;
    // The board's results and the review queue's, in one cheap statement.
    virtual std::optional<BoardCounts> counts() = 0;
    // `limit` best results (shortest times first) from the `offset`th, and
    // their number; when `chip` is set, of the processors whose name is the
    // same as `chip` but for letter case, as search compares them (foldName).
    virtual std::optional<Listing> listing(const std::optional<std::string>& chip, int limit,
                                           std::int64_t offset) = 0;
    // One record's page with its processor's distribution in `bins`; an empty
    // inner value when there is no such id on the board.
    virtual std::optional<std::optional<ResultData>> result(std::int64_t id, int bins) = 0;
    // The processors (each with its best and median time and count, most
    // results first), `rows` best results from the `offset`th (of `chip` when
    // set), how many there are, and the chosen processor's distribution.
    virtual std::optional<LeaderboardData> leaderboard(const std::optional<std::string>& chip,
                                                       int rows, std::int64_t offset, int bins) = 0;
    // The processors with results on the board that `query` asks for.
    virtual std::optional<ProcessorList> processors(const ProcessorQuery& query) = 0;
    // One processor's figures, distribution in `bins` and `rows` best results
    // from the `offset`th; an empty inner value when it has none on the board.
    virtual std::optional<std::optional<ProcessorData>>
    processor(const std::string& chip, int rows, std::int64_t offset, int bins) = 0;
    // Two processors' figures with their distributions in the same `bins`.
    virtual std::optional<Comparison> comparison(const std::string& a, const std::string& b,
                                                 int bins) = 0;
    // The board's tally as it stands; one cheap statement, for a caller that
    // keeps pages to learn whether another process changed what they show.
    virtual std::optional<BoardTally> boardTally() = 0;
    // Whether a submission would be stored now, found without storing one.
    virtual bool reachable() = 0;
    // From now on, a submission not yet being written fails unwritten (a
    // failed add); one being written finishes.
    virtual void closeWrites() = 0;
};

} // namespace service

#pragma once

#include "service/Review.h"
#include "submission/Payload.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace service {

// A record as stored: the submitted values, its id and its UTC receive time.
struct StoredScore {
    std::int64_t id = 0;
    std::string receivedAt; // ISO 8601 in UTC, e.g. 2026-01-31T12:00:00.000Z
    submission::Payload payload;
};

// Where a new record stands among the records of its processor.
struct Placement {
    std::int64_t id = 0;
    std::int64_t rank = 0;  // 1 is the shortest time
    std::int64_t total = 0; // records of the processor, this one included
    bool held = false;      // kept off the board for review; rank and total say where it would be
};

struct ChipSummary {
    std::string chip;
    double best = 0.0;
    double median = 0.0;
    std::int64_t count = 0;
};

// Counts of one processor's times in equal-width bins from `low` up.
struct Distribution {
    double low = 0.0;
    double binWidth = 0.0;
    std::vector<std::int64_t> counts;
};

// The database behind the service. Every operation returns nothing when the
// database cannot be reached or refuses, so the caller can answer 503; none
// throws. Implementations are safe to call from several threads at once.
class ScoreStore {
public:
    virtual ~ScoreStore() = default;

    // Stores the record and returns only once it is committed.
    virtual std::optional<Placement> add(const submission::Payload& payload,
                                         const std::string& receivedAt,
                                         const ClientVersion& client) = 0;
    std::optional<Placement> add(const submission::Payload& payload,
                                 const std::string& receivedAt) {
        return add(payload, receivedAt, ClientVersion{});
    }
    // Shortest times first, of one processor when `chip` is set.
    virtual std::optional<std::vector<StoredScore>> best(const std::optional<std::string>& chip,
                                                         int limit) = 0;
    // Every processor with its best and median time and count, most results first.
    virtual std::optional<std::vector<ChipSummary>> chips() = 0;
    virtual std::optional<Distribution> distribution(const std::string& chip, int bins) = 0;
    virtual bool reachable() = 0;
};

} // namespace service

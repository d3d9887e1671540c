// Which tries a batch of submissions gets, so that each is stored at most
// once and every one answered as stored is: a try whose COMMIT went
// unanswered may have stored its records, so the next one reads back what it
// stored before writing the rest.
#include "service/store/SqlScoreStore.h"

#include <algorithm>
#include <numeric>
#include <thread>

namespace service {
namespace {

// Bounds the rounds for any sequence of failures; the patience's time
// bounds them first.
constexpr int kMaxTries = 64;

using Batch = SqlScoreStore::Batch;
using Written = SqlScoreStore::Written;
using Pending = std::vector<std::size_t>; // indexes of the records not yet settled

// The pending records as a batch of their own, and which of them a commit
// that went unanswered may have stored already.
std::pair<Batch, std::vector<bool>>
pendingPart(const Batch& batch, const std::vector<Written>& written, const Pending& pending) {
    std::pair<Batch, std::vector<bool>> part;
    for (const auto i : pending) {
        part.first.push_back(batch[i]);
        part.second.push_back(!written[i].mayBeStoredAs.empty());
    }
    return part;
}

void placedAs(Written& written, const std::optional<Placement>& placed) {
    written.placement = placed;
}

// What a record may be stored as when its try's COMMIT went unanswered.
void mayBeStoredAs(Written& written, const std::optional<Placement>& placed) {
    if (placed) {
        written.mayBeStoredAs.push_back(placed->id);
    }
}

// Hands each pending record what the try made for it, in the batch's order.
void settle(const std::vector<std::optional<Placement>>& placed, const Pending& pending,
            std::vector<Written>& written,
            void (*note)(Written&, const std::optional<Placement>&)) {
    for (std::size_t k = 0; k < pending.size() && k < placed.size(); ++k) {
        note(written[pending[k]], placed[k]);
    }
}

// Takes the records on `chip` out of the batch, marked to be written alone.
void takeOutBlocked(const Batch& batch, const std::string& chip, Pending& pending,
                    std::vector<Written>& written) {
    std::erase_if(pending, [&](std::size_t i) {
        const bool busy = batch[i]->payload.chip_type == chip;
        written[i].blocked = busy;
        return busy;
    });
}

// Every id an unanswered commit gave a record still not found stored.
std::vector<std::int64_t> uncertainIds(const std::vector<Written>& written,
                                       const Pending& pending) {
    std::vector<std::int64_t> ids;
    for (const auto i : pending) {
        ids.insert(ids.end(), written[i].mayBeStoredAs.begin(), written[i].mayBeStoredAs.end());
    }
    return ids;
}

} // namespace

std::optional<Placement> SqlScoreStore::add(const submission::Payload& payload,
                                            const std::string& receivedAt,
                                            const ClientVersion& client) {
    const Submission submission{payload, receivedAt, client, nextKey()};
    auto written = commits_.submit(submission);
    if (written.blocked) {
        // Its processor's count row is held elsewhere: it waits for the row
        // alone, up to the database's statement limit, holding up no batch.
        written.blocked = false;
        written = addBatch({&submission}, true, {std::move(written)}).at(0);
    }
    return written.placement;
}

// Keys of one store follow each other, so their index grows at one end; the
// salt keeps another run's, or another instance's, apart.
std::int64_t SqlScoreStore::nextKey() {
    const auto made = keysMade_.fetch_add(1, std::memory_order_relaxed) & 0xffffffffU;
    return static_cast<std::int64_t>((keySalt_ << 32) | made);
}

SqlScoreStore::Attempt SqlScoreStore::writePlainly(const Batch& batch, bool patient) {
    auto tried = writeAtOnce(batch, patient);
    return tried.end == Attempt::End::declined ? writeInTurn(batch, patient, false, {}) : tried;
}

std::vector<SqlScoreStore::Written> SqlScoreStore::addBatch(const Batch& batch, bool patient,
                                                            std::vector<Written> before) {
    using End = Attempt::End;
    const auto started = std::chrono::steady_clock::now();
    before.resize(batch.size());
    Pending pending(batch.size());
    std::iota(pending.begin(), pending.end(), std::size_t{0});
    // Savepoints cost two statements a record, so a batch goes without them
    // until it failed; then each record is written alone.
    bool alone = false;
    int resolutions = 0; // tries made to learn what an unanswered commit stored
    for (int tries = 0; !pending.empty() && tries < kMaxTries; ++tries) {
        const auto [part, unsure] = pendingPart(batch, before, pending);
        const bool resolving = std::find(unsure.begin(), unsure.end(), true) != unsure.end();
        if (resolving && resolutions++ > 0 &&
            std::chrono::steady_clock::now() - started >= patience_.settle) {
            break;
        }
        auto tried = alone || resolving ? writeInTurn(part, patient, true, unsure)
                                        : writePlainly(part, patient);
        if (tried.end == End::committed) {
            settle(tried.placed, pending, before, placedAs);
            pending.clear();
            noteBatch(part.size(), started);
        } else if (tried.end == End::busy) {
            takeOutBlocked(batch, tried.busyChip, pending, before);
            --tries; // each busy try takes a processor out: bounded by their number
        } else if (tried.end == End::unknown) {
            settle(tried.placed, pending, before, mayBeStoredAs);
            alone = true;
        } else if (!resolving && (alone || pending.size() == 1)) {
            break; // failed before its commit: certainly nothing stored
        } else {
            if (resolving) { // the database cannot be reached: a pause before asking again
                std::this_thread::sleep_for(patience_.pause);
            }
            alone = true;
        }
    }
    reportUncertain(uncertainIds(before, pending));
    return before;
}

void SqlScoreStore::noteBatch(std::size_t records, std::chrono::steady_clock::time_point started) {
    if (onBatch_) {
        onBatch_(records, std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - started));
    }
}

void SqlScoreStore::reportUncertain(const std::vector<std::int64_t>& ids) {
    if (ids.empty()) {
        return;
    }
    std::string list;
    for (const auto id : ids) {
        list += (list.empty() ? "" : ", ") + std::to_string(id);
    }
    onUncertain_("database: a commit went unanswered and the database could not be asked what it "
                 "stored; answered as not stored, these may be stored: ids " +
                 list);
}

} // namespace service

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
    std::vector<std::size_t> pending(batch.size());
    std::iota(pending.begin(), pending.end(), std::size_t{0});
    // Savepoints cost two statements a record, so a batch goes without them
    // until it failed; then each record is written alone.
    bool alone = false;
    int resolutions = 0; // tries made to learn what an unanswered commit stored
    for (int tries = 0; !pending.empty() && tries < kMaxTries; ++tries) {
        Batch part;
        std::vector<bool> unsure;
        for (const auto i : pending) {
            part.push_back(batch[i]);
            unsure.push_back(!before[i].mayBeStoredAs.empty());
        }
        const bool resolving = std::find(unsure.begin(), unsure.end(), true) != unsure.end();
        if (resolving && resolutions++ > 0 &&
            std::chrono::steady_clock::now() - started >= patience_.settle) {
            break;
        }
        auto tried = alone || resolving ? writeInTurn(part, patient, true, unsure)
                                        : writePlainly(part, patient);
        if (tried.end == End::committed) {
            for (std::size_t k = 0; k < pending.size(); ++k) {
                before[pending[k]].placement = tried.placed[k];
            }
            pending.clear();
            if (onBatch_) {
                onBatch_(part.size(), std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - started));
            }
        } else if (tried.end == End::busy) {
            std::erase_if(pending, [&](std::size_t i) {
                const bool busy = batch[i]->payload.chip_type == tried.busyChip;
                before[i].blocked = busy;
                return busy;
            });
            --tries; // each busy try takes a processor out: bounded by their number
        } else if (tried.end == End::unknown) {
            for (std::size_t k = 0; k < tried.placed.size(); ++k) {
                if (tried.placed[k]) {
                    before[pending[k]].mayBeStoredAs.push_back(tried.placed[k]->id);
                }
            }
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
    std::vector<std::int64_t> uncertain;
    for (const auto i : pending) {
        const auto& ids = before[i].mayBeStoredAs;
        uncertain.insert(uncertain.end(), ids.begin(), ids.end());
    }
    if (!uncertain.empty()) {
        reportUncertain(uncertain);
    }
    return before;
}

void SqlScoreStore::reportUncertain(const std::vector<std::int64_t>& ids) {
    std::string list;
    for (const auto id : ids) {
        list += (list.empty() ? "" : ", ") + std::to_string(id);
    }
    onUncertain_("database: a commit went unanswered and the database could not be asked what it "
                 "stored; answered as not stored, these may be stored: ids " +
                 list);
}

} // namespace service

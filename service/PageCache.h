#pragma once
// The board's reads rendered once and served until the board changes.

#include "service/edge/HttpCaching.h"
#include "service/store/Records.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace service {

// How long a kept page is served before the board's tally is read again:
// what another process changed (an operator's command, another instance's
// submission) shows at most this late.
inline constexpr std::chrono::milliseconds kBoardCheckInterval{1000};

// Bytes of pages kept at most, their gzipped forms included.
inline constexpr std::size_t kPageCacheBytes = std::size_t{64} << 20;

// Pages by the request they answer, each valid for the board as it stood
// when it was rendered. A page is served while no change this process made
// came after it and the board's tally, read at most `kBoardCheckInterval`
// ago, has not moved since; a change empties it. Past its byte budget the
// pages found least recently go first, so a flood of distinct addresses
// costs renders, never memory. Safe to share between threads; no call
// waits on anything but a short lock.
class PageCache {
public:
    using Page = std::shared_ptr<const Cacheable>;
    using Clock = std::chrono::steady_clock;

    explicit PageCache(std::size_t budgetBytes = kPageCacheBytes) : budget_(budgetBytes) {}

    // The page kept under `key`, when it may be served at `now`.
    Page find(const std::string& key, Clock::time_point now);
    // What a render must say it began at: a page rendered across a change is never kept.
    std::uint64_t stamp();
    // Keeps `page` under `key` when nothing changed since `stamp`.
    void keep(const std::string& key, std::uint64_t stamp, Page page);
    // This process changed the board.
    void changed();
    // Whether the caller is to read the board's tally now, before a page is
    // served: true once an interval has passed, and for one caller at a
    // time, who then reports what it read (`observed`) or nothing (`unobserved`).
    bool claimCheck(Clock::time_point now);
    // The tally as read by a read begun at `begun`.
    void observed(const BoardTally& tally, Clock::time_point begun);
    void unobserved();
    std::size_t bytes();

private:
    struct Kept {
        Page page;
        std::list<std::string>::iterator age;
        std::size_t bytes = 0;
    };
    struct Shelf {
        std::unordered_map<std::string, Kept> pages;
        std::list<std::string> byAge; // keys, found most recently first
        std::size_t bytes = 0;
    };
    // Moves to a new stamp and hands back what was kept, for the caller to
    // drop once it has let the lock go. With the lock held.
    Shelf emptied();

    std::size_t budget_;
    std::mutex mutex_; // guards what follows
    Shelf shelf_;
    std::uint64_t stamp_ = 0;
    std::optional<BoardTally> tally_;
    std::optional<Clock::time_point> checked_; // when the last tally read began
    bool checking_ = false;
};

// The request a page answers, as the handler routes it: its path and every
// query parameter, named and valued exactly; GET and HEAD alike.
std::string pageKey(const Request& request);

} // namespace service

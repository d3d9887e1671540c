#include "service/PageCache.h"

#include <algorithm>
#include <utility>

namespace service {
namespace {

// What a kept page costs beyond its texts: the map's and the list's nodes, the headers.
constexpr std::size_t kEntryBytes = 512;

std::size_t footprint(const std::string& key, const Cacheable& page) {
    return kEntryBytes + 2 * key.size() + page.plain->size() +
           (page.packed ? page.packed->size() : 0) + page.plainTag.size() + page.packedTag.size();
}

} // namespace

PageCache::Page PageCache::find(const std::string& key, Clock::time_point now) {
    const std::lock_guard lock(mutex_);
    const auto kept = shelf_.pages.find(key);
    if (kept == shelf_.pages.end() || !checked_ || now >= *checked_ + kBoardCheckInterval) {
        return nullptr;
    }
    shelf_.byAge.splice(shelf_.byAge.begin(), shelf_.byAge, kept->second.age);
    return kept->second.page;
}

std::uint64_t PageCache::stamp() {
    const std::lock_guard lock(mutex_);
    return stamp_;
}

void PageCache::keep(const std::string& key, std::uint64_t stamp, Page page) {
    const std::size_t bytes = footprint(key, *page);
    Shelf forgotten; // destroyed after the lock is let go
    const std::lock_guard lock(mutex_);
    if (stamp != stamp_ || bytes > budget_) {
        return;
    }
    if (const auto old = shelf_.pages.find(key); old != shelf_.pages.end()) {
        shelf_.bytes -= old->second.bytes;
        shelf_.byAge.erase(old->second.age);
        shelf_.pages.erase(old);
    }
    while (shelf_.bytes + bytes > budget_) {
        const auto oldest = shelf_.pages.find(shelf_.byAge.back());
        shelf_.bytes -= oldest->second.bytes;
        forgotten.pages.insert(shelf_.pages.extract(oldest));
        shelf_.byAge.pop_back();
    }
    shelf_.byAge.push_front(key);
    shelf_.pages.emplace(key, Kept{std::move(page), shelf_.byAge.begin(), bytes});
    shelf_.bytes += bytes;
}

void PageCache::changed() {
    Shelf forgotten;
    const std::lock_guard lock(mutex_);
    forgotten = emptied();
}

bool PageCache::claimCheck(Clock::time_point now) {
    const std::lock_guard lock(mutex_);
    if (checking_ || (checked_ && now < *checked_ + kBoardCheckInterval)) {
        return false;
    }
    checking_ = true;
    return true;
}

void PageCache::observed(const BoardTally& tally, Clock::time_point begun) {
    Shelf forgotten;
    const std::lock_guard lock(mutex_);
    if (tally_ != tally) {
        tally_ = tally;
        forgotten = emptied();
    }
    checked_ = std::max(checked_.value_or(begun), begun);
    checking_ = false;
}

void PageCache::unobserved() {
    const std::lock_guard lock(mutex_);
    checking_ = false;
}

std::size_t PageCache::bytes() {
    const std::lock_guard lock(mutex_);
    return shelf_.bytes;
}

PageCache::Shelf PageCache::emptied() {
    ++stamp_;
    return std::exchange(shelf_, {});
}

std::string pageKey(const Request& request) {
    // Each text after its length, so that no two requests make one key.
    std::string key;
    const auto add = [&key](const std::string& text) {
        key += std::to_string(text.size());
        key += ':';
        key += text;
    };
    add(request.path);
    for (const auto& [name, value] : request.query) {
        add(name);
        add(value);
    }
    return key;
}

} // namespace service

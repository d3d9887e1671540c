#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace service {

// What one connection keeps of each statement it ran (a compiled statement, a
// server-side name): parsing and planning cost more than running most of the
// store's statements. The service runs a few dozen distinct ones; past the
// limit all are forgotten, so made-up SQL could not grow memory. One per
// connection, used by one thread at a time.
template <class Kept> class StatementCache {
public:
    static constexpr std::size_t kLimit = 128;

    Kept* find(std::string_view sql) {
        const auto found = kept_.find(sql);
        return found == kept_.end() ? nullptr : &found->second;
    }
    // Before making a new entry: when full, `forget()` releases what the
    // entries hold elsewhere (the server's prepared statements), then all go.
    // True when they went.
    template <class Forget> bool makeRoom(Forget forget) {
        if (kept_.size() < kLimit) {
            return false;
        }
        forget();
        kept_.clear();
        return true;
    }
    Kept& keep(std::string_view sql, Kept value) {
        return kept_.insert_or_assign(std::string(sql), std::move(value)).first->second;
    }

private:
    // Searched with a string_view, as run() gets the SQL.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    std::unordered_map<std::string, Kept, TextHash, std::equal_to<>> kept_;
};

} // namespace service

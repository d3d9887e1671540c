#include "service/store/GroupCommit.h"

#include "service/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <stdexcept>

namespace service {
namespace {

// Callers that arrive while a batch is written share the next one, up to its bound; each gets
// its own item's result, and a batch whose writer throws fails its own items only.
TEST(GroupCommit, SharesBatchesAndAnswersEachCallerItsOwn) {
    std::mutex mutex;
    std::vector<std::size_t> sizes;
    GroupCommit<int, std::optional<int>> commits(3, [&](const std::vector<const int*>& items) {
        const std::lock_guard lock(mutex);
        // The first batch is written once everyone else waits.
        waitFor([&] { return !sizes.empty() || commits.waiting() >= 7; }, std::chrono::seconds(60));
        sizes.push_back(items.size());
        std::vector<std::optional<int>> doubled;
        for (const int* item : items) {
            if (*item == 7) {
                throw std::runtime_error("a failed batch");
            }
            doubled.emplace_back(*item * 2);
        }
        return doubled;
    });
    std::vector<std::future<std::optional<int>>> answers;
    for (int item = 0; item < 8; ++item) {
        answers.push_back(
            std::async(std::launch::async, [&, item] { return commits.submit(item); }));
    }
    int failed = 0;
    for (int item = 0; item < 8; ++item) {
        const auto answer = answers[item].get();
        failed += !answer;
        EXPECT_TRUE(!answer || *answer == item * 2);
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{1, 3, 3, 1})); // then 7 waiting, 3 at a time
    EXPECT_TRUE(failed >= 1 && failed <= 3);                  // item 7 and its batch
}

// Once closed, what waits for a batch fails unwritten, as does what comes later; the batch
// being written finishes and answers its own.
TEST(GroupCommit, AClosedOneWritesOnlyTheBatchUnderWay) {
    std::vector<int> written; // by one batch at a time, read once every caller is answered
    std::promise<void> writing;
    std::promise<void> release;
    GroupCommit<int, std::optional<int>> commits(8, [&](const std::vector<const int*>& items) {
        std::vector<std::optional<int>> doubled;
        for (const int* item : items) {
            written.push_back(*item);
            doubled.emplace_back(*item * 2);
        }
        if (written.size() == items.size()) {
            writing.set_value();
            release.get_future().wait();
        }
        return doubled;
    });
    auto first = std::async(std::launch::async, [&] { return commits.submit(1); });
    writing.get_future().wait();
    auto queued = std::async(std::launch::async, [&] { return commits.submit(2); });
    waitFor([&] { return commits.waiting() >= 1; }, std::chrono::seconds(60));
    commits.close();
    release.set_value();
    EXPECT_EQ(std::make_tuple(first.get(), queued.get(), commits.submit(3)),
              std::make_tuple(std::optional(2), std::nullopt, std::nullopt));
    EXPECT_EQ(written, std::vector<int>{1});
}

} // namespace
} // namespace service

#include "model/Publisher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using model::Published;
using model::Publisher;

TEST(PublisherTest, AnnouncesEveryAssignmentBeforeStoringIt) {
    Publisher willChange;
    Published<std::string> field(willChange, "old");
    std::vector<std::string> seenAtEvent;
    auto subscription = willChange.subscribe([&] { seenAtEvent.push_back(*field); });

    field = "new";
    field = "new"; // same value: announced all the same

    EXPECT_EQ(seenAtEvent, (std::vector<std::string>{"old", "new"}));
    EXPECT_EQ(*field, "new");
}

TEST(PublisherTest, ServesManySubscribersUntilTheirSubscriptionEnds) {
    Publisher willChange;
    int first = 0;
    int second = 0;
    auto a = willChange.subscribe([&] { ++first; });
    {
        auto b = willChange.subscribe([&] { ++second; });
        willChange.emit();
    }
    willChange.emit();

    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 1);
}

TEST(PublisherTest, SubscriptionsMaySafelyOutliveOrLeaveDuringAnEvent) {
    Publisher::Subscription survivor;
    int calls = 0;
    {
        Publisher willChange;
        Publisher::Subscription self;
        self = willChange.subscribe([&] {
            ++calls;
            self = {}; // unsubscribes itself from inside the event
        });
        survivor = willChange.subscribe([] {});
        willChange.emit();
        willChange.emit();
    }
    EXPECT_EQ(calls, 1);
    // `survivor` is destroyed after its publisher: must not touch freed memory.
}

} // namespace

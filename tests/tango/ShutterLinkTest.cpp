// The server's link thread, without TANGO: what becomes of requests that outlast their time.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "tango/ShutterLink.h"

TEST(ShutterLinkTest, ARequestThatTimesOutBeforeItStartsIsNeverRun)
{
    const quillonctl::Outcome ok;
    // Device 0 of the simulator; each request waits at most 2 x 100 + 500 ms.
    ShutterLink link({"sim", 2, "0", true, 100}, {QUILLON_BUILD_DIR, {}}, [](auto&, auto&) {});
    std::promise<void> started, release;
    std::thread first([&, released = release.get_future().share()] {
        const auto holding =
            link.Run([&, released](auto&) { return started.set_value(), released.wait(), ok; });
        ASSERT_TRUE(holding);
        EXPECT_NE(holding->message.find("still under way"), std::string::npos);
    });
    started.get_future().wait();
    std::atomic<bool> ran{false};
    const auto queued = link.Run([&](auto&) { return ran = true, ok; });
    ASSERT_TRUE(queued);
    EXPECT_NE(queued->message.find("withdrawn"), std::string::npos) << queued->message;
    first.join();  // the held job ends only after both requests have run out of time
    release.set_value();
    EXPECT_FALSE(link.Run([&](auto&) { return ok; })) << "the link goes on";
    EXPECT_FALSE(ran) << "the withdrawn request ran later";
}

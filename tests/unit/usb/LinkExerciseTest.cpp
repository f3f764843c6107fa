#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

#include "usb/LinkExercise.h"
#include "usb/LinkFlags.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A scripted driver: records each write and wait, answers from a status list (the last one
// repeats), and may change the speed as a write happens. Waits never sleep.
struct Script {
    std::vector<FT_STATUS> statuses{FT_OK};
    std::function<void(std::size_t index)> onWrite;
    std::vector<Bytes> writes;
    std::vector<unsigned> waits;

    // Runs a worker to its end; a script must end with a failing status.
    void RunWorker()
    {
        LinkExercise exercise(
            [this](std::uint8_t* bytes, DWORD count) {
                writes.emplace_back(bytes, bytes + count);
                if (onWrite)
                    onWrite(writes.size() - 1);
                return statuses[std::min(writes.size() - 1, statuses.size() - 1)];
            },
            [this](unsigned ms) {
                waits.push_back(ms);
                return true;
            });
        ASSERT_TRUE(exercise.Start());
        exercise.Join();
        EXPECT_FALSE(exercise.Running());
        EXPECT_EQ(g_bBlinkRunning, 0);
    }
};

class LinkExerciseTest : public testing::Test {
protected:
    void SetUp() override { g_bBlinkRunning = g_nBlinkSpeed = 0; }
    void TearDown() override { g_bBlinkRunning = g_nBlinkSpeed = 0; }
};

Bytes Pattern(std::size_t count)
{
    Bytes bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(0x40 | (i & 0x0F)));
    }
    return bytes;
}

// Input/output errors (4) are tolerated; any other failure ends the worker after that write.
TEST_F(LinkExerciseTest, SendsThePatternAtTheSpeedUntilAWriteFails)
{
    std::vector<FT_STATUS> twenty(20, FT_OK);
    twenty.back() = FT_INVALID_HANDLE;
    const std::pair<int, std::vector<FT_STATUS>> cases[] = {
        {0, twenty},
        {0, {FT_IO_ERROR, FT_IO_ERROR, FT_OK, FT_INVALID_HANDLE}},
        {250, {FT_OK, FT_DEVICE_NOT_OPENED}},
        {500, {FT_IO_ERROR, FT_INVALID_HANDLE}},
    };
    for (const auto& [speed, statuses] : cases) {
        g_nBlinkSpeed = speed;
        Script script;
        script.statuses = statuses;
        script.RunWorker();
        std::vector<Bytes> expected;
        for (std::uint8_t byte : Pattern(statuses.size())) {
            expected.push_back(speed < 500 ? Bytes{byte} : Pattern(64));
        }
        EXPECT_EQ(script.writes, expected) << "speed " << speed;
        EXPECT_EQ(script.waits,
                  std::vector<unsigned>(statuses.size(), speed < 500 ? 500 - speed : 1));
    }
}

// Speed 499 sends one byte per millisecond, 500 sends 64-byte bursts; the count jumps to 64 in a
// burst, so single bytes resume at 0x40.
TEST_F(LinkExerciseTest, SpeedChangesBetweenSinglesAndBursts)
{
    g_nBlinkSpeed = 499;
    Script script;
    script.statuses = {FT_OK, FT_OK, FT_OK, FT_OK, FT_OK, FT_INVALID_HANDLE};
    script.onWrite = [](std::size_t index) {
        if (index == 2 || index == 3) {
            g_nBlinkSpeed = index == 2 ? 500 : 499;
        }
    };
    script.RunWorker();
    EXPECT_EQ(script.writes,
              (std::vector<Bytes>{{0x40}, {0x41}, {0x42}, Pattern(64), {0x40}, {0x41}}));
    EXPECT_EQ(script.waits, std::vector<unsigned>(6, 1u));
}

// Runs fn, which must end within the limit. A stop that does not end a wait would otherwise
// hang the suite until its time-out; the process ends with a failure instead.
template <class Fn>
void EndsWithin(std::chrono::seconds limit, const char* what, Fn fn)
{
    auto done = std::async(std::launch::async, std::move(fn));
    if (done.wait_for(limit) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: %s did not end within %lld s\n", what,
                     static_cast<long long>(limit.count()));
        std::_Exit(1);
    }
    done.get();
}

// Until cond holds, or false after the deadline.
template <class Cond>
bool Eventually(Cond cond)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// Each stop comes while the wait is in progress, not before it begins, so a stop that failed to
// wake the wait is always seen.
TEST_F(LinkExerciseTest, StopEndsTheWaitAtOnceAndNothingIsSentAfterIt)
{
    std::atomic<int> writes{0};
    LinkExercise exercise([&writes](std::uint8_t*, DWORD) {
        ++writes;
        return FT_OK;
    });
    g_bBlinkRunning = 1;
    std::atomic<int> woken{-1};
    EndsWithin(std::chrono::seconds(5), "a stopped hour-long wait", [&] {
        auto waiting = std::async(std::launch::async,
                                  [&] { woken = exercise.WaitUnlessStopped(3'600'000) ? 1 : 0; });
        ASSERT_TRUE(Eventually([&] { return exercise.Waiting(); }));
        exercise.Stop();
        waiting.get();
    });
    EXPECT_EQ(woken, 0) << "a stopped wait reports the stop";

    // A worker stopped in its wait before a byte sends nothing. Its waits are made an hour long
    // so that none can end by itself before the stop comes.
    LinkExercise* self = nullptr;
    LinkExercise worker(
        [&writes](std::uint8_t*, DWORD) {
            ++writes;
            return FT_OK;
        },
        [&self](unsigned) { return self->WaitUnlessStopped(3'600'000); });
    self = &worker;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(Eventually([&] { return worker.Waiting(); }));
    EndsWithin(std::chrono::seconds(5), "a stopped worker", [&] { worker.StopAndJoin(); });
    EXPECT_FALSE(worker.Running());
    EXPECT_EQ(writes, 0);
}

TEST_F(LinkExerciseTest, StartWhileRunningKeepsTheOneWorkerAndStartAfterItsEndMakesANewOne)
{
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> waits{0}, writes{0};
    LinkExercise exercise(
        [&writes](std::uint8_t*, DWORD) {
            ++writes;
            return FT_INVALID_HANDLE;
        },
        [&](unsigned) {
            if (waits++ == 0)
                entered.set_value();
            released.wait();
            return true;
        });
    ASSERT_TRUE(exercise.Start());
    entered.get_future().wait();
    EXPECT_FALSE(exercise.Start());
    EXPECT_TRUE(exercise.Running());
    release.set_value();

    // A worker that has decided to end must not swallow the next start.
    while (exercise.Running()) std::this_thread::yield();
    EXPECT_TRUE(exercise.Start());
    exercise.Join();
    EXPECT_EQ(waits, 2);
    EXPECT_EQ(writes, 2);
}

}  // namespace

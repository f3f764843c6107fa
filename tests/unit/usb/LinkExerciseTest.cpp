#include <gtest/gtest.h>

#include <chrono>
#include <future>
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
                if (onWrite) {
                    onWrite(writes.size() - 1);
                }
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

TEST_F(LinkExerciseTest, SingleBytesCycleThroughThePatternAtSpeedZero)
{
    Script script;
    script.statuses.assign(19, FT_OK);
    script.statuses.push_back(FT_INVALID_HANDLE);
    script.RunWorker();
    ASSERT_EQ(script.writes.size(), 20u);
    for (std::size_t i = 0; i < script.writes.size(); ++i) {
        EXPECT_EQ(script.writes[i], Bytes{static_cast<std::uint8_t>(0x40 | (i & 0x0F))}) << i;
    }
    EXPECT_EQ(script.waits, std::vector<unsigned>(20, 500u));
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
    Bytes burst;
    for (int i = 0; i < 64; ++i) {
        burst.push_back(static_cast<std::uint8_t>(0x40 | (i & 0x0F)));
    }
    EXPECT_EQ(script.writes, (std::vector<Bytes>{{0x40}, {0x41}, {0x42}, burst, {0x40}, {0x41}}));
    EXPECT_EQ(script.waits, std::vector<unsigned>(6, 1u));
}

TEST_F(LinkExerciseTest, InputOutputErrorsAreToleratedAnyOtherFailureStops)
{
    const struct {
        int speed;
        std::vector<FT_STATUS> statuses;
        std::size_t writes;
    } cases[] = {
        {0, {FT_IO_ERROR, FT_IO_ERROR, FT_OK, FT_INVALID_HANDLE}, 4},
        {250, {FT_OK, FT_DEVICE_NOT_OPENED}, 2},
        {500, {FT_IO_ERROR, FT_INVALID_HANDLE}, 2},
    };
    for (const auto& c : cases) {
        g_nBlinkSpeed = c.speed;
        Script script;
        script.statuses = c.statuses;
        script.RunWorker();
        EXPECT_EQ(script.writes.size(), c.writes) << "speed " << c.speed;
    }
}

TEST_F(LinkExerciseTest, StopEndsTheWaitAtOnceAndNothingIsSentAfterIt)
{
    std::atomic<int> writes{0};
    LinkExercise exercise([&writes](std::uint8_t*, DWORD) {
        ++writes;
        return FT_OK;
    });
    // An hour-long wait that did not wake on a stop would hang here until the test times out.
    g_bBlinkRunning = 1;
    auto waiting = std::async(std::launch::async,
                              [&exercise] { return exercise.WaitUnlessStopped(3'600'000); });
    exercise.Stop();
    EXPECT_FALSE(waiting.get());

    // Speed 0 waits 500 ms before the first byte; the stop cuts that wait short.
    ASSERT_TRUE(exercise.Start());
    exercise.StopAndJoin();
    EXPECT_FALSE(exercise.Running());
    EXPECT_EQ(writes, 0);
}

TEST_F(LinkExerciseTest, StartWhileRunningKeepsTheOneWorker)
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
            if (waits++ == 0) {
                entered.set_value();
            }
            released.wait();
            return true;
        });
    ASSERT_TRUE(exercise.Start());
    entered.get_future().wait();
    EXPECT_FALSE(exercise.Start());
    EXPECT_TRUE(exercise.Running());
    release.set_value();
    exercise.Join();
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(writes, 1);
}

// A worker that has decided to end must not swallow the next start.
TEST_F(LinkExerciseTest, StartAfterTheWorkerEndedByItselfStartsANewOne)
{
    std::atomic<int> writes{0};
    LinkExercise exercise(
        [&writes](std::uint8_t*, DWORD) {
            ++writes;
            return FT_INVALID_HANDLE;
        },
        [](unsigned) { return true; });
    ASSERT_TRUE(exercise.Start());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (exercise.Running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_FALSE(exercise.Running());
    EXPECT_TRUE(exercise.Start());
    exercise.Join();
    EXPECT_EQ(writes, 2);
}

}  // namespace

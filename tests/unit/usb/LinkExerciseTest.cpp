#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

#include "usb/LinkExercise.h"
#include "usb/LinkFlags.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A scripted driver: records each write and answers from a status list; the last status repeats.
struct ScriptedWrites {
    std::vector<FT_STATUS> statuses{FT_OK};
    std::function<void(std::size_t index)> onWrite;
    std::vector<Bytes> writes;
    std::vector<unsigned> waits;

    LinkExercise::WriteFn Write()
    {
        return [this](std::uint8_t* bytes, DWORD count) {
            writes.emplace_back(bytes, bytes + count);
            const std::size_t index = writes.size() - 1;
            if (onWrite) {
                onWrite(index);
            }
            return statuses[std::min(index, statuses.size() - 1)];
        };
    }
    LinkExercise::WaitFn Wait()
    {
        return [this](unsigned ms) {
            waits.push_back(ms);
            return true;
        };
    }
};

class LinkExerciseTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_bBlinkRunning = 0;
        g_nBlinkSpeed = 0;
    }
    void TearDown() override
    {
        g_bBlinkRunning = 0;
        g_nBlinkSpeed = 0;
    }
};

Bytes Singles(std::initializer_list<int> values)
{
    return Bytes(values.begin(), values.end());
}

TEST_F(LinkExerciseTest, SingleBytesCycleThroughPatternAtSpeedZero)
{
    ScriptedWrites script;
    script.statuses = std::vector<FT_STATUS>(19, FT_OK);
    script.statuses.push_back(FT_INVALID_HANDLE);
    LinkExercise exercise(script.Write(), script.Wait());
    ASSERT_TRUE(exercise.Start());
    exercise.Join();

    ASSERT_EQ(script.writes.size(), 20u);
    for (std::size_t i = 0; i < script.writes.size(); ++i) {
        EXPECT_EQ(script.writes[i], Bytes{static_cast<std::uint8_t>(0x40 | (i & 0x0F))}) << i;
    }
    EXPECT_EQ(script.waits, std::vector<unsigned>(20, 500u));
    EXPECT_EQ(g_bBlinkRunning, 0);
}

// Speed 499 sends single bytes each millisecond, 500 sends 64-byte bursts; the count jumps to 64
// in a burst, so single bytes resume at 0x40.
TEST_F(LinkExerciseTest, SpeedChangesBetweenSinglesAndBursts)
{
    g_nBlinkSpeed = 499;
    ScriptedWrites script;
    script.statuses = {FT_OK, FT_OK, FT_OK, FT_OK, FT_OK, FT_INVALID_HANDLE};
    script.onWrite = [](std::size_t index) {
        if (index == 2) {
            g_nBlinkSpeed = 500;
        } else if (index == 3) {
            g_nBlinkSpeed = 499;
        }
    };
    LinkExercise exercise(script.Write(), script.Wait());
    exercise.Start();
    exercise.Join();

    Bytes burst;
    for (int i = 0; i < 64; ++i) {
        burst.push_back(static_cast<std::uint8_t>(0x40 | (i & 0x0F)));
    }
    const std::vector<Bytes> expected = {Singles({0x40}), Singles({0x41}), Singles({0x42}),
                                         burst,           Singles({0x40}), Singles({0x41})};
    EXPECT_EQ(script.writes, expected);
    EXPECT_EQ(script.waits, std::vector<unsigned>(6, 1u));
}

TEST_F(LinkExerciseTest, WriteStatusDecidesWhetherToGoOn)
{
    struct Case {
        int speed;
        std::vector<FT_STATUS> statuses;
        std::size_t writes;
    };
    const Case cases[] = {
        {0, {FT_IO_ERROR, FT_IO_ERROR, FT_OK, FT_INVALID_HANDLE}, 4},
        {0, {FT_OK, FT_DEVICE_NOT_OPENED}, 2},
        {250, {2}, 1},
        {500, {FT_IO_ERROR, FT_INVALID_HANDLE}, 2},
    };
    for (const Case& c : cases) {
        g_nBlinkSpeed = c.speed;
        ScriptedWrites script;
        script.statuses = c.statuses;
        LinkExercise exercise(script.Write(), script.Wait());
        exercise.Start();
        exercise.Join();
        EXPECT_EQ(script.writes.size(), c.writes) << "speed " << c.speed;
        EXPECT_EQ(g_bBlinkRunning, 0);
        EXPECT_FALSE(exercise.Running());
    }
}

TEST_F(LinkExerciseTest, StopEndsALongWaitAtOnce)
{
    LinkExercise exercise([](std::uint8_t*, DWORD) { return FT_OK; });
    g_bBlinkRunning = 1;
    // An hour-long wait that did not wake on a stop would hang here until the test times out.
    auto waiting = std::async(std::launch::async,
                              [&exercise] { return exercise.WaitUnlessStopped(3'600'000); });
    exercise.Stop();
    EXPECT_FALSE(waiting.get());
}

TEST_F(LinkExerciseTest, StopAndJoinLeavesNoWorkerAndSendsNothingAfterTheStop)
{
    std::atomic<int> writes{0};
    LinkExercise exercise([&writes](std::uint8_t*, DWORD) {
        ++writes;
        return FT_OK;
    });
    ASSERT_TRUE(exercise.Start());
    exercise.StopAndJoin();
    EXPECT_FALSE(exercise.Running());
    EXPECT_EQ(g_bBlinkRunning, 0);
    // Speed 0 waits 500 ms before the first byte; the stop cut that wait short.
    EXPECT_EQ(writes, 0);
}

TEST_F(LinkExerciseTest, SecondStartWhileRunningKeepsTheOneWorker)
{
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> waits{0};
    ScriptedWrites script;
    script.statuses = {FT_INVALID_HANDLE};
    LinkExercise exercise(script.Write(), [&](unsigned) {
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
    EXPECT_EQ(script.writes.size(), 1u);
}

TEST_F(LinkExerciseTest, StartAfterTheWorkerEndedByItselfStartsANewOne)
{
    ScriptedWrites script;
    script.statuses = {FT_INVALID_HANDLE};
    LinkExercise exercise(script.Write(), script.Wait());
    ASSERT_TRUE(exercise.Start());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (exercise.Running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_FALSE(exercise.Running());
    EXPECT_TRUE(exercise.Start());
    exercise.Join();
    EXPECT_EQ(script.writes.size(), 2u);
}

}  // namespace

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

class LinkExerciseTest : public testing::Test {
protected:
    void SetUp() override { g_bBlinkRunning = g_nBlinkSpeed = 0; }
    void TearDown() override { g_bBlinkRunning = g_nBlinkSpeed = 0; }

    // Runs a worker against a scripted driver to its end: each write is answered from the status
    // list (the last one repeats, and must fail), onWrite may change the speed, waits never sleep.
    void RunWorker(std::vector<FT_STATUS> statuses, std::function<void(std::size_t)> onWrite = {})
    {
        LinkExercise exercise(
            [&](std::uint8_t* bytes, DWORD count) {
                writes.emplace_back(bytes, bytes + count);
                if (onWrite)
                    onWrite(writes.size() - 1);
                return statuses[std::min(writes.size(), statuses.size()) - 1];
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

    std::vector<Bytes> writes;
    std::vector<unsigned> waits;
};

Bytes Pattern(std::size_t count)
{
    Bytes bytes;
    for (std::size_t i = 0; i < count; ++i) bytes.push_back(std::uint8_t(0x40 | (i & 0x0F)));
    return bytes;
}

// Input/output errors (4) are tolerated; any other failure ends the worker after that write, and
// an ended worker is no longer running, so the next start makes a new one.
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
        writes.clear();
        waits.clear();
        RunWorker(statuses);
        std::vector<Bytes> expected;
        for (std::uint8_t byte : Pattern(statuses.size())) {
            expected.push_back(speed < 500 ? Bytes{byte} : Pattern(64));
        }
        EXPECT_EQ(writes, expected) << "speed " << speed;
        EXPECT_EQ(waits, std::vector<unsigned>(statuses.size(), speed < 500 ? 500 - speed : 1));
    }
}

// While the worker waits (an hour, so the wait cannot end by itself) a second start keeps the one
// worker, and a stop ends the wait at once with nothing sent. A stop that failed to wake the wait
// would hang the suite, so the process ends with a failure instead.
TEST_F(LinkExerciseTest, StartWhileWaitingKeepsTheOneWorkerAndStopEndsTheWaitAtOnce)
{
    std::atomic<int> writes{0};
    LinkExercise* self = nullptr;
    LinkExercise worker(
        [&writes](std::uint8_t*, DWORD) {
            ++writes;
            return FT_OK;
        },
        [&self](unsigned) { return self->WaitUnlessStopped(3'600'000); });
    self = &worker;
    ASSERT_TRUE(worker.Start());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!worker.Waiting()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the worker never waited";
        std::this_thread::yield();
    }
    EXPECT_FALSE(worker.Start());
    EXPECT_TRUE(worker.Running());
    auto stopped = std::async(std::launch::async, [&] { worker.StopAndJoin(); });
    if (stopped.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: a stopped worker did not end within 5 s\n");
        std::_Exit(1);
    }
    EXPECT_FALSE(worker.Running());
    EXPECT_EQ(writes, 0);
}

}  // namespace

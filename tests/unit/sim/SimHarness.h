#pragma once
// Shared helpers for the simulator's tests: a reset simulator on the manual clock, one open
// handle on device 0, and short ways to write frames and drain the receive queue.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "QuillonSim.h"
#include "QuillonSimD2xx.h"

using Bytes = std::vector<uint8_t>;

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { QuillonSim_Reset(); }

    QSIM_FT_HANDLE OpenFirst()
    {
        QSIM_FT_HANDLE h = nullptr;
        EXPECT_EQ(FT_Open(0, &h), QSIM_FT_OK);
        return h;
    }

    static void Write(QSIM_FT_HANDLE h, Bytes bytes)
    {
        QSIM_DWORD written = 0;
        ASSERT_EQ(FT_Write(h, bytes.data(), QSIM_DWORD(bytes.size()), &written), QSIM_FT_OK);
        ASSERT_EQ(written, bytes.size());
    }

    // Everything queued now, without waiting.
    static Bytes Drain(QSIM_FT_HANDLE h)
    {
        QSIM_DWORD queued = 0;
        EXPECT_EQ(FT_GetQueueStatus(h, &queued), QSIM_FT_OK);
        Bytes out(queued);
        QSIM_DWORD got = 0;
        if (queued) {
            EXPECT_EQ(FT_Read(h, out.data(), queued, &got), QSIM_FT_OK);
        }
        out.resize(got);
        return out;
    }

    // Free-run reports with their times, as the transcript has them.
    static std::vector<std::pair<uint64_t, uint8_t>> Received()
    {
        std::vector<QuillonSimEvent> ev(QuillonSim_Transcript(nullptr, 0));
        QuillonSim_Transcript(ev.data(), ev.size());
        std::vector<std::pair<uint64_t, uint8_t>> out;
        for (const auto& e : ev)
            if (e.direction == QUILLON_SIM_FROM_DEVICE)
                out.push_back({e.timeMs, e.byte});
        return out;
    }
};

#pragma once
// The simulator's tests: a reset simulator on the manual clock, and short ways to open device 0,
// write frames and drain the receive queue.

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "QuillonSim.h"
#include "QuillonSimD2xx.h"

using Bytes = std::vector<uint8_t>;

// "FA F0 00 01" as bytes.
inline Bytes Hex(const std::string& text)
{
    std::istringstream in(text);
    Bytes bytes;
    for (unsigned byte = 0; in >> std::hex >> byte;) bytes.push_back(uint8_t(byte));
    return bytes;
}

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
};

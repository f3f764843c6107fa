// The D2XX face of the simulator: devices, handles, listing, reads against the clock, the call
// log, unplugging and the variant libraries.

#include <dlfcn.h>

#include <cstring>

#include "SimHarness.h"

namespace {

using SimDevice = SimTest;

TEST_F(SimDevice, ListsCountDescriptionsAndSerials)
{
    const QuillonSimDevice devs[] = {{"Quillon SC", "A1"}, {"Quillon SC B", "B2"}, {"X", "C3"}};
    QuillonSim_SetDevices(devs, 3);
    QSIM_DWORD count = 0;
    ASSERT_EQ(FT_ListDevices(&count, nullptr, 0x80000000u), QSIM_FT_OK);
    EXPECT_EQ(count, 3u);
    for (QSIM_DWORD flags : {0x20000002u, 0x20000001u}) {
        char bufs[3][64];
        char* ptrs[4] = {bufs[0], bufs[1], bufs[2], nullptr};
        ASSERT_EQ(FT_ListDevices(ptrs, &count, flags), QSIM_FT_OK);
        EXPECT_EQ(count, 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_STREQ(bufs[i], flags == 0x20000002u ? devs[i].description : devs[i].serial);
        }
    }
}

TEST_F(SimDevice, ListingSeventyDevicesStopsAtTheCallersNullEntry)
{
    std::vector<std::string> names;
    std::vector<QuillonSimDevice> devs;
    for (int i = 0; i < 70; ++i)
        names.push_back("Device " + std::string(80, 'x') + std::to_string(i));
    for (auto& n : names) devs.push_back({n.c_str(), n.c_str()});
    QuillonSim_SetDevices(devs.data(), 70);
    QSIM_DWORD count = 0;
    ASSERT_EQ(FT_ListDevices(&count, nullptr, 0x80000000u), QSIM_FT_OK);
    EXPECT_EQ(count, 70u);

    // 63 buffers of 64 bytes, each followed by a guard; then the NULL entry.
    std::vector<char> area(63 * 80, '#');
    std::vector<char*> ptrs;
    for (int i = 0; i < 63; ++i) ptrs.push_back(&area[size_t(i) * 80]);
    ptrs.push_back(nullptr);
    ASSERT_EQ(FT_ListDevices(ptrs.data(), &count, 0x20000002u), QSIM_FT_OK);
    EXPECT_EQ(count, 63u);
    for (int i = 0; i < 63; ++i) {
        EXPECT_EQ(std::strlen(ptrs[size_t(i)]), 63u);
        for (int g = 64; g < 80; ++g) ASSERT_EQ(area[size_t(i) * 80 + size_t(g)], '#');
    }
}

TEST_F(SimDevice, StaleAndClosedHandlesAreInvalid)
{
    QSIM_FT_HANDLE h = OpenFirst();
    QSIM_DWORD n;
    EXPECT_EQ(FT_Close(h), QSIM_FT_OK);
    EXPECT_EQ(FT_GetQueueStatus(h, &n), QSIM_FT_INVALID_HANDLE);
    EXPECT_EQ(FT_Close(h), QSIM_FT_INVALID_HANDLE);
    EXPECT_EQ(FT_Close(nullptr), QSIM_FT_INVALID_HANDLE);
    h = OpenFirst();
    QuillonSim_Reset();
    EXPECT_EQ(FT_GetQueueStatus(h, &n), QSIM_FT_INVALID_HANDLE);
    QSIM_FT_HANDLE fresh = OpenFirst();
    EXPECT_NE(fresh, h);  // handles are never reused
}

TEST_F(SimDevice, ReadTimesOutOnTheManualClock)
{
    QSIM_FT_HANDLE h = OpenFirst();
    uint8_t buf[2];
    QSIM_DWORD got = 99;
    EXPECT_EQ(FT_Read(h, buf, 2, &got), QSIM_FT_OK);  // no time-out set: no wait
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(QuillonSim_NowMs(), 0u);
    FT_SetTimeouts(h, 3000, 3000);
    QuillonSim_SetSilent(0, 1);
    Write(h, {0xEE});
    EXPECT_EQ(FT_Read(h, buf, 2, &got), QSIM_FT_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(QuillonSim_NowMs(), 3000u);
    // A read that waits for a delayed answer stops the clock where the answer comes.
    QuillonSim_SetSilent(0, 0);
    Write(h, {0xFB});
    EXPECT_EQ(FT_Read(h, buf, 1, &got), QSIM_FT_OK);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(QuillonSim_NowMs(), 3000u + QUILLON_SIM_RESET_MARKER_MS);
}

TEST_F(SimDevice, RealTimeReadWaitsScaledBySpeed)
{
    QuillonSim_UseRealTime(100.0);
    QSIM_FT_HANDLE h = OpenFirst();
    FT_SetTimeouts(h, 3000, 3000);  // 30 ms of real time
    Write(h, {0xFB});               // the marker comes after 200 simulated ms
    uint8_t b = 0;
    QSIM_DWORD got = 0;
    const uint64_t start = QuillonSim_NowMs();
    EXPECT_EQ(FT_Read(h, &b, 1, &got), QSIM_FT_OK);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(b, 0x0D);
    EXPECT_GE(QuillonSim_NowMs() - start, uint64_t(QUILLON_SIM_RESET_MARKER_MS));
}

TEST_F(SimDevice, UnpluggedHandlesFailUntilClosed)
{
    QSIM_FT_HANDLE h = OpenFirst();
    QuillonSim_Unplug(0);
    QSIM_DWORD n = 0;
    uint8_t b = 0xEE;
    EXPECT_EQ(FT_GetQueueStatus(h, &n), QSIM_FT_IO_ERROR);
    EXPECT_EQ(FT_Read(h, &b, 1, &n), QSIM_FT_IO_ERROR);
    EXPECT_EQ(FT_Write(h, &b, 1, &n), QSIM_FT_IO_ERROR);
    EXPECT_EQ(FT_ListDevices(&n, nullptr, 0x80000000u), QSIM_FT_OK);
    EXPECT_EQ(n, 0u);
    QSIM_FT_HANDLE again;
    EXPECT_NE(FT_Open(0, &again), QSIM_FT_OK);
    EXPECT_EQ(FT_Close(h), QSIM_FT_OK);
    EXPECT_EQ(FT_Close(h), QSIM_FT_INVALID_HANDLE);
    QuillonSim_Replug(0);
    EXPECT_EQ(FT_Open(0, &again), QSIM_FT_OK);
}

TEST_F(SimDevice, WriteStatusAndPurge)
{
    QSIM_FT_HANDLE h = OpenFirst();
    QuillonSim_SetWriteStatus(0, 4);
    uint8_t b = 0xEE;
    QSIM_DWORD n = 9;
    EXPECT_EQ(FT_Write(h, &b, 1, &n), 4u);
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(Drain(h).empty());
    QuillonSim_SetWriteStatus(0, 0);
    Write(h, {0xEE});
    EXPECT_EQ(FT_Purge(h, 1), QSIM_FT_OK);
    EXPECT_TRUE(Drain(h).empty());
}

TEST(SimVariants, LackTheirEntryPoint)
{
    struct Case {
        const char* file;
        const char* missing;
    };
    for (const Case& c : {Case{"libquillon-sim-nobaud.so", "FT_SetBaudRate"},
                          Case{"libquillon-sim-nowrite.so", "FT_Write"}}) {
        const std::string path = std::string(QUILLON_BUILD_DIR) + "/" + c.file;
        void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
        EXPECT_EQ(dlsym(lib, c.missing), nullptr) << c.file;
        for (const char* name : {"FT_Open", "FT_Read", "FT_SetUSBParameters", "QuillonSim_Reset"}) {
            EXPECT_NE(dlsym(lib, name), nullptr) << c.file << " " << name;
        }
        dlclose(lib);
    }
}

}  // namespace

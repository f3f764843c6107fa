// The D2XX face of the simulator: devices, handles, listing, reads against the clock, the call
// log, unplugging and the variant libraries.

#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "SimHarness.h"

namespace {

using SimDevice = SimTest;

TEST_F(SimDevice, HandshakeAnswersEeAndOneMoreByte)
{
    QSIM_FT_HANDLE h = OpenFirst();
    ASSERT_EQ(FT_SetTimeouts(h, 3000, 3000), QSIM_FT_OK);
    Write(h, {0xEE});
    uint8_t buf[2] = {};
    QSIM_DWORD got = 0;
    ASSERT_EQ(FT_Read(h, buf, 2, &got), QSIM_FT_OK);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(buf[0], 0xEE);
    EXPECT_EQ(QuillonSim_NowMs(), 0u);  // the answer was there at once
}

TEST_F(SimDevice, StartupSequenceIsLoggedExactly)
{
    QSIM_FT_HANDLE h = nullptr;
    ASSERT_EQ(FT_OpenEx(const_cast<char*>("Quillon SC"), 2, &h), QSIM_FT_OK);
    FT_ResetDevice(h);
    FT_SetTimeouts(h, 3000, 3000);
    FT_Purge(h, 1);
    FT_SetLatencyTimer(h, 2);
    FT_SetBaudRate(h, 128000);
    FT_SetUSBParameters(h, 64, 0);
    Write(h, {0xEE});
    uint8_t buf[2];
    QSIM_DWORD got;
    FT_Read(h, buf, 2, &got);
    QSIM_DWORD queued;
    FT_GetQueueStatus(h, &queued);
    FT_Close(h);
    EXPECT_EQ(CallLog(),
              "FT_OpenEx(\"Quillon SC\",2)\nFT_ResetDevice\nFT_SetTimeouts(3000,3000)\n"
              "FT_Purge(1)\nFT_SetLatencyTimer(2)\nFT_SetBaudRate(128000)\n"
              "FT_SetUSBParameters(64,0)\nFT_Write(EE)\nFT_Read(2)\nFT_GetQueueStatus\nFT_Close\n");
    QuillonSimLink link;
    ASSERT_EQ(QuillonSim_GetLink(0, &link), 0);
    EXPECT_EQ(link.baudRate, 128000u);
    EXPECT_EQ(link.latencyMs, 2u);
    EXPECT_EQ(link.inTransferSize, 64u);
    EXPECT_EQ(link.openHandles, 0);
}

TEST_F(SimDevice, OpensByEachMethodAndRejectsUnknownDevices)
{
    QSIM_FT_HANDLE h = nullptr;
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("QSC10001"), 1, &h), QSIM_FT_OK);
    EXPECT_EQ(FT_OpenEx(const_cast<char*>("Quillon SC"), 2, &h), QSIM_FT_OK);
    EXPECT_EQ(FT_Open(0, &h), QSIM_FT_OK);
    EXPECT_NE(FT_Open(1, &h), QSIM_FT_OK);
    EXPECT_NE(FT_OpenEx(const_cast<char*>("Quillon"), 2, &h), QSIM_FT_OK);
    EXPECT_NE(FT_OpenEx(const_cast<char*>("Quillon SC"), 1, &h), QSIM_FT_OK);
    QuillonSim_SetDevices(nullptr, 0);
    EXPECT_EQ(FT_Open(0, &h), QSIM_FT_DEVICE_NOT_FOUND);
}

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

TEST_F(SimDevice, BlockedRealTimeReadLetsOtherThreadsIn)
{
    QuillonSim_UseRealTime(1.0);
    QSIM_FT_HANDLE h = OpenFirst();
    FT_SetTimeouts(h, 3000, 3000);
    const auto start = std::chrono::steady_clock::now();
    QSIM_DWORD got = 0;
    uint8_t b = 0;
    std::thread reader([&] { FT_Read(h, &b, 1, &got); });
    const uint8_t byte = 0x42;
    QuillonSim_Inject(0, &byte, 1);  // would wait out the reader's 3 s if it kept the lock
    reader.join();
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(b, 0x42);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
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

// The D2XX face of the simulator: listing, handles, unplugging, reads against the clock and the
// variant libraries.

#include <dlfcn.h>

#include <cstring>

#include "SimHarness.h"

namespace {

using SimDevice = SimTest;

TEST_F(SimDevice, ListingSeventyDevicesStopsAtTheCallersNullEntry)
{
    const std::string name = "Device " + std::string(80, 'x');  // longer than a buffer
    const std::vector<QuillonSimDevice> devs(70, {name.c_str(), name.c_str()});
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

TEST_F(SimDevice, ClosedStaleAndUnpluggedHandlesFail)
{
    QSIM_FT_HANDLE h = OpenFirst();
    QSIM_DWORD n = 0;
    EXPECT_EQ(FT_Close(h), QSIM_FT_OK);
    EXPECT_EQ(FT_GetQueueStatus(h, &n), QSIM_FT_INVALID_HANDLE);
    EXPECT_EQ(FT_Close(h), QSIM_FT_INVALID_HANDLE);
    EXPECT_EQ(FT_Close(nullptr), QSIM_FT_INVALID_HANDLE);
    const QSIM_FT_HANDLE stale = OpenFirst();
    QuillonSim_Reset();
    EXPECT_EQ(FT_GetQueueStatus(stale, &n), QSIM_FT_INVALID_HANDLE);
    h = OpenFirst();
    EXPECT_NE(h, stale);  // handles are never reused

    // An unplugged device's handles fail until they are closed.
    QuillonSim_Unplug(0);
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

TEST_F(SimDevice, PurgeAndReadsOnTheManualClock)
{
    QSIM_FT_HANDLE h = OpenFirst();
    uint8_t buf[2];
    QSIM_DWORD got = 99;
    Write(h, {0xEE});
    EXPECT_EQ(FT_Purge(h, 1), QSIM_FT_OK);            // drops the answer
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

// As the D2XX library without USB access: every listing fails with 18, and an open takes the
// process down.
TEST_F(SimDevice, ImitatesALibraryThatCannotReachUsb)
{
    QuillonSim_ImitateNoUsb(1);
    QSIM_DWORD count = 7;
    char name[64] = "";
    char* names[] = {name, nullptr};
    EXPECT_EQ(FT_ListDevices(&count, nullptr, 0x80000000u), QSIM_FT_OTHER_ERROR);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(FT_ListDevices(names, &count, 0x20000002u), QSIM_FT_OTHER_ERROR);
    QSIM_FT_HANDLE h = nullptr;
    char description[] = "Quillon SC";
    EXPECT_DEATH(FT_Open(0, &h), "FT_Open called while imitating a library without USB");
    EXPECT_DEATH(FT_OpenEx(description, QSIM_FT_OPEN_BY_DESCRIPTION, &h), "FT_OpenEx called");
    QuillonSim_Reset();
    EXPECT_EQ(FT_Open(0, &h), QSIM_FT_OK);
}

TEST(SimVariants, LackOnlyTheirEntryPoint)
{
    for (const auto& [file, missing] :
         {std::pair{"nobaud", "FT_SetBaudRate"}, std::pair{"nowrite", "FT_Write"},
          std::pair{"nolist", "FT_ListDevices"}}) {
        const std::string path = std::string(QUILLON_BUILD_DIR "/libquillon-sim-") + file + ".so";
        void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
        EXPECT_EQ(dlsym(lib, missing), nullptr) << file;
        for (const char* name : {"FT_Open", "FT_Read", "FT_SetUSBParameters", "QuillonSim_Reset"}) {
            EXPECT_NE(dlsym(lib, name), nullptr) << file << " " << name;
        }
        dlclose(lib);
    }
}

}  // namespace

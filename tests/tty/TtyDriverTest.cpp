// The kernel serial backend's D2XX face on a fake sysfs tree whose ports are pseudo-terminals
// held by the test.

#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ReadWithin.h"
#include "RefusingPort.h"
#include "TtyD2xx.h"
#include "tty/FakeSysfs.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The test's end of a pseudo-terminal: the backend opens the other end through the fake tree.
class PtyPeer : public TermEnd {
public:
    PtyPeer() : TermEnd(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        grantpt(fd_);
        unlockpt(fd_);
        char name[128] = {};
        ptsname_r(fd_, name, sizeof name);
        terminal_ = name;
    }
    const std::string& Terminal() const { return terminal_; }

private:
    std::string terminal_;
};

QTTY_FT_HANDLE Open(int number)
{
    QTTY_FT_HANDLE h = nullptr;
    EXPECT_EQ(FT_Open(number, &h), QTTY_FT_OK);
    return h;
}

QTTY_DWORD Count()
{
    QTTY_DWORD n = 99;
    EXPECT_EQ(FT_ListDevices(&n, nullptr, QTTY_FT_LIST_NUMBER_ONLY), QTTY_FT_OK);
    return n;
}

// FT_ListDevices with `buffers` 64-byte buffers (NULL-ended array).
Strings List(QTTY_DWORD flags, size_t buffers)
{
    std::vector<std::vector<char>> storage(buffers, std::vector<char>(64, 'x'));
    std::vector<char*> pointers;
    for (auto& s : storage) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    QTTY_DWORD filled = 0;
    EXPECT_EQ(FT_ListDevices(pointers.data(), &filled, QTTY_FT_LIST_ALL | flags), QTTY_FT_OK);
    Strings out;
    for (QTTY_DWORD i = 0; i < filled; ++i) out.push_back(storage[i].data());
    return out;
}

// Waits, bounded, until the backend's queue holds n bytes; the terminal passes bytes on
// asynchronously.
bool WaitQueued(QTTY_FT_HANDLE h, QTTY_DWORD n)
{
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    QTTY_DWORD queued = 0;
    while (Clock::now() < deadline) {
        if (FT_GetQueueStatus(h, &queued) != QTTY_FT_OK)
            return false;
        if (queued == n)
            return true;
        std::this_thread::yield();
    }
    return false;
}

// Every call but FT_Close on a handle.
std::map<std::string, std::function<QTTY_FT_STATUS(QTTY_FT_HANDLE)>> HandleCalls()
{
    static uint8_t buffer[8];
    static QTTY_DWORD n;
    return {
        {"FT_Read", [](QTTY_FT_HANDLE h) { return FT_Read(h, buffer, 1, &n); }},
        {"FT_Write", [](QTTY_FT_HANDLE h) { return FT_Write(h, buffer, 1, &n); }},
        {"FT_SetTimeouts", [](QTTY_FT_HANDLE h) { return FT_SetTimeouts(h, 1, 1); }},
        {"FT_ResetDevice", [](QTTY_FT_HANDLE h) { return FT_ResetDevice(h); }},
        {"FT_Purge", [](QTTY_FT_HANDLE h) { return FT_Purge(h, QTTY_FT_PURGE_RX); }},
        {"FT_GetQueueStatus", [](QTTY_FT_HANDLE h) { return FT_GetQueueStatus(h, &n); }},
        {"FT_SetBaudRate", [](QTTY_FT_HANDLE h) { return FT_SetBaudRate(h, 128000); }},
        {"FT_SetLatencyTimer", [](QTTY_FT_HANDLE h) { return FT_SetLatencyTimer(h, 2); }},
        {"FT_SetUSBParameters", [](QTTY_FT_HANDLE h) { return FT_SetUSBParameters(h, 64, 0); }},
    };
}

TEST(TtyListTest, ListsFtdiPortsBySerialNumberThenPort)
{
    FakeSysfs tree;
    const auto usb = [](const char* product, const char* serial, int interface = 0) {
        return FakeSysfs::Usb{"0403", product, serial, interface};
    };
    const std::string missing = (tree.Root() / "none").string();
    tree.AddUsbPort("ttyUSB4", "1-4", usb("Quillon SC", "QSC20002"), missing);
    tree.AddUsbPort("ttyUSB3", "1-3", usb("Quillon SC", "QSC10001"), missing);
    tree.AddUsbPort("ttyUSB1", "1-2", usb("Dual RS232", "A9", 1), missing);
    tree.AddUsbPort("ttyUSB2", "1-2", usb("Dual RS232", "A9", 0), missing);
    tree.AddUsbPort("ttyUSB10", "1-6", usb("Blank B", ""), missing);
    tree.AddUsbPort("ttyUSB9", "1-5", usb("Blank A", ""), missing);
    tree.AddUsbPort("ttyACM0", "1-7", {"2341", "Arduino", "7543"}, missing);
    tree.AddPlatformPort("ttyS0");
    tree.AddVirtualTerminal("tty0");

    EXPECT_EQ(Count(), 6u);
    EXPECT_EQ(List(QTTY_FT_OPEN_BY_SERIAL_NUMBER, 8),
              (Strings{"", "", "A9", "A9", "QSC10001", "QSC20002"}));
    EXPECT_EQ(
        List(QTTY_FT_OPEN_BY_DESCRIPTION, 6),
        (Strings{"Blank A", "Blank B", "Dual RS232", "Dual RS232", "Quillon SC", "Quillon SC"}));
    EXPECT_EQ(List(QTTY_FT_OPEN_BY_DESCRIPTION, 2), (Strings{"Blank A", "Blank B"}))
        << "stops at the caller's NULL entry";
    char one[64];
    const auto byIndex = [&](uintptr_t i) {
        return FT_ListDevices(reinterpret_cast<void*>(i), one,
                              QTTY_FT_LIST_BY_INDEX | QTTY_FT_OPEN_BY_SERIAL_NUMBER);
    };
    EXPECT_EQ(byIndex(4), QTTY_FT_OK);
    EXPECT_STREQ(one, "QSC10001");
    EXPECT_EQ(byIndex(6), QTTY_FT_DEVICE_NOT_FOUND);
    QTTY_DWORD n = 0;
    EXPECT_EQ(FT_ListDevices(nullptr, nullptr, QTTY_FT_LIST_NUMBER_ONLY),
              QTTY_FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_ListDevices(&n, nullptr, QTTY_FT_LIST_ALL), QTTY_FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_ListDevices(&n, nullptr, 0x10000002u), QTTY_FT_INVALID_PARAMETER);

    // The device numbers follow the same order; the node named in the failure tells which port.
    const char* nodes[] = {"ttyUSB9", "ttyUSB10", "ttyUSB2", "ttyUSB1", "ttyUSB3", "ttyUSB4"};
    for (int number = 0; number < 6; ++number) {
        testing::internal::CaptureStderr();
        QTTY_FT_HANDLE h = nullptr;
        EXPECT_EQ(FT_Open(number, &h), QTTY_FT_DEVICE_NOT_OPENED);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("cannot open " + (tree.Dev() / nodes[number]).string() + " "),
                  std::string::npos)
            << said;
        EXPECT_NE(said.find("No such file or directory"), std::string::npos) << said;
    }

    setenv("QUILLON_TTY_SYSFS_ROOT", (tree.Root() / "absent").c_str(), 1);
    EXPECT_EQ(Count(), 0u);
    QTTY_FT_HANDLE h = nullptr;
    EXPECT_EQ(FT_Open(0, &h), QTTY_FT_DEVICE_NOT_FOUND);
}

// Two controllers on two terminals, and a node that is no serial port.
class TtyOpenTest : public testing::Test {
protected:
    TtyOpenTest()
    {
        // Device 1; device 0 has the lower serial number and no latency attribute.
        tree.AddUsbPort("ttyUSB0", "1-1", FakeSysfs::Usb{}, peerA.Terminal());
        tree.AddUsbPort("ttyUSB1", "1-2", {"0403", "Quillon SC-2", "QSC00009", 0, false},
                        peerB.Terminal());
        tree.AddUsbPort("ttyUSB7", "1-7", {"0403", "Quillon SC", "QSC99999"}, "/dev/null");
    }
    // A controller of its own on port ttyUSB<number>, opened.
    QTTY_FT_HANDLE AddAndOpen(PtyPeer& peer, int number)
    {
        FakeSysfs::Usb usb{"0403", "Quillon SC", "EXTRA" + std::to_string(number)};
        tree.AddUsbPort("ttyUSB" + std::to_string(number), "2-" + std::to_string(number), usb,
                        peer.Terminal());
        QTTY_FT_HANDLE h = nullptr;
        EXPECT_EQ(FT_OpenEx(usb.serial.data(), QTTY_FT_OPEN_BY_SERIAL_NUMBER, &h), QTTY_FT_OK);
        EXPECT_EQ(FT_SetTimeouts(h, 10000, 10000), QTTY_FT_OK);
        return h;
    }

    FakeSysfs tree;
    PtyPeer peerA;
    PtyPeer peerB;
};

TEST_F(TtyOpenTest, OpensByDescriptionSerialNumberAndNumber)
{
    struct Case {
        std::function<QTTY_FT_STATUS(QTTY_FT_HANDLE*)> open;
        QTTY_FT_STATUS status;
        PtyPeer* peer;
    };
    auto ex = [](const char* text, QTTY_DWORD flags) {
        return [=](QTTY_FT_HANDLE* h) { return FT_OpenEx(const_cast<char*>(text), flags, h); };
    };
    auto number = [](int n) { return [=](QTTY_FT_HANDLE* h) { return FT_Open(n, h); }; };
    const QTTY_DWORD byText = QTTY_FT_OPEN_BY_DESCRIPTION, bySerial = QTTY_FT_OPEN_BY_SERIAL_NUMBER;
    const Case cases[] = {
        {ex("Quillon SC", byText), QTTY_FT_OK, &peerA},
        {ex("Quillon SC-2", byText), QTTY_FT_OK, &peerB},
        {ex("QSC10001", bySerial), QTTY_FT_OK, &peerA},
        {ex("QSC00009", bySerial), QTTY_FT_OK, &peerB},
        {number(0), QTTY_FT_OK, &peerB},
        {number(1), QTTY_FT_OK, &peerA},
        {ex("QSC10001", byText), QTTY_FT_DEVICE_NOT_FOUND, nullptr},
        {ex("quillon sc", byText), QTTY_FT_DEVICE_NOT_FOUND, nullptr},
        {ex("QSC1000", bySerial), QTTY_FT_DEVICE_NOT_FOUND, nullptr},
        {ex("QSC99999", bySerial), QTTY_FT_DEVICE_NOT_OPENED, nullptr},
        {number(2), QTTY_FT_DEVICE_NOT_OPENED, nullptr},
        {number(3), QTTY_FT_DEVICE_NOT_FOUND, nullptr},
        {number(-1), QTTY_FT_DEVICE_NOT_FOUND, nullptr},
        {ex("QSC10001", 4), QTTY_FT_INVALID_PARAMETER, nullptr},
        {[](QTTY_FT_HANDLE* h) { return FT_OpenEx(nullptr, byText, h); }, QTTY_FT_INVALID_PARAMETER,
         nullptr},
        {[](QTTY_FT_HANDLE*) { return FT_Open(0, nullptr); }, QTTY_FT_INVALID_PARAMETER, nullptr},
    };
    uint8_t mark = 0x40;
    for (const Case& c : cases) {
        SCOPED_TRACE(int(&c - cases));
        QTTY_FT_HANDLE h = nullptr;
        testing::internal::CaptureStderr();
        ASSERT_EQ(c.open(&h), c.status);
        const std::string said = testing::internal::GetCapturedStderr();
        if (c.status == QTTY_FT_DEVICE_NOT_OPENED) {
            EXPECT_NE(said.find("ttyUSB7 (\"Quillon SC\", serial \"QSC99999\"): not a serial port"),
                      std::string::npos)
                << said;
        }
        if (!c.peer) {
            EXPECT_EQ(h, nullptr);
            continue;
        }
        // The byte written reaches the expected controller and no other.
        QTTY_DWORD written = 0;
        ASSERT_EQ(FT_Write(h, &mark, 1, &written), QTTY_FT_OK);
        EXPECT_EQ(c.peer->Receive(1), Bytes{mark});
        PtyPeer& other = c.peer == &peerA ? peerB : peerA;
        EXPECT_EQ(other.Receive(1, std::chrono::milliseconds(0)), Bytes{});
        EXPECT_EQ(FT_Close(h), QTTY_FT_OK);
        ++mark;
    }
}

TEST_F(TtyOpenTest, OpenMakesTheLinkRawEightNoneOneWithTheExactRateAndLowLatency)
{
    // Whatever the terminal was left with: canonical, echo, 7E2, both kinds of flow control.
    // Its settings act on the terminal whichever end asks.
    termios2 t{};
    ioctl(peerA.Fd(), TCGETS2, &t);
    t.c_lflag |= ICANON | ECHO | ISIG;
    t.c_iflag |= IXON | IXOFF | ICRNL;
    t.c_oflag |= OPOST | ONLCR;
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    ioctl(peerA.Fd(), TCSETS2, &t);

    QTTY_FT_HANDLE h = Open(1);
    ASSERT_EQ(FT_SetBaudRate(h, 128000), QTTY_FT_OK);
    ioctl(peerA.Fd(), TCGETS2, &t);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t(BOTHER));
    EXPECT_EQ(t.c_ospeed, 128000u);
    EXPECT_EQ(t.c_ispeed, 128000u);

    // Raw both ways: a carriage return and a flow-control byte pass unchanged.
    const Bytes raw = {0x0D, 0x11, 0x13, 0x0A, 0x03, 0xFF};
    QTTY_DWORD n = 0;
    ASSERT_EQ(FT_Write(h, const_cast<uint8_t*>(raw.data()), QTTY_DWORD(raw.size()), &n),
              QTTY_FT_OK);
    EXPECT_EQ(peerA.Receive(raw.size()), raw);
    peerA.Send(raw);
    ASSERT_TRUE(WaitQueued(h, QTTY_DWORD(raw.size())));
    Bytes got(raw.size());
    ASSERT_EQ(FT_Read(h, got.data(), QTTY_DWORD(got.size()), &n), QTTY_FT_OK);
    EXPECT_EQ(got, raw);

    EXPECT_EQ(FT_SetLatencyTimer(h, 2), QTTY_FT_OK);
    EXPECT_EQ(tree.LatencyOf("ttyUSB0"), "2");
    FT_Close(h);
    // No sysfs attribute and no low-latency setting (a terminal): the link works as it is.
    h = Open(0);
    EXPECT_EQ(FT_SetLatencyTimer(h, 2), QTTY_FT_OK);
    EXPECT_FALSE(std::filesystem::exists(tree.Sys() / "class/tty/ttyUSB1/device/latency_timer"));
    FT_Close(h);
}

// One open port on peerA.
class TtyIoTest : public TtyOpenTest {
protected:
    void SetUp() override { h = Open(1); }
    void TearDown() override { FT_Close(h); }
    QTTY_FT_HANDLE h = nullptr;
};

TEST_F(TtyIoTest, ReadWaitsForTheCountOrTheTimeOut)
{
    struct Case {
        Bytes queued;
        QTTY_DWORD toRead;
        QTTY_ULONG timeoutMs;
        size_t expected;
        double minMs, maxMs;  // bounds of the read's duration
    };
    const Case cases[] = {
        {{}, 4, 0, 0, 0, 1000},                         // 0: do not wait
        {{}, 4, 40, 0, 40, 2000},                       // nothing: the whole time-out
        {{1, 2, 3}, 5, 40, 3, 40, 2000},                // fewer: what there is, at the time-out
        {{1, 2, 3, 4, 5}, 5, 10000, 5, 0, 5000},        // enough: at once
        {{1, 2, 3, 4, 5, 6, 7}, 5, 10000, 5, 0, 5000},  // more: the count, the rest stays
        {{}, 0, 10000, 0, 0, 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(&c - cases));
        ASSERT_EQ(FT_Purge(h, QTTY_FT_PURGE_RX), QTTY_FT_OK);
        if (!c.queued.empty()) {
            peerA.Send(c.queued);
            ASSERT_TRUE(WaitQueued(h, QTTY_DWORD(c.queued.size())));
        }
        ASSERT_EQ(FT_SetTimeouts(h, c.timeoutMs, c.timeoutMs), QTTY_FT_OK);
        Bytes buffer(c.toRead + 1, 0xEE);
        QTTY_DWORD got = 99;
        const auto start = Clock::now();
        EXPECT_EQ(FT_Read(h, buffer.data(), c.toRead, &got), QTTY_FT_OK);
        const double ms = MsSince(start);
        EXPECT_GE(ms, c.minMs);
        EXPECT_LT(ms, c.maxMs);
        ASSERT_EQ(got, c.expected);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + got),
                  Bytes(c.queued.begin(), c.queued.begin() + got));
        EXPECT_EQ(buffer[c.toRead], 0xEE) << "nothing past the count";
        QTTY_DWORD left = 0;
        EXPECT_EQ(FT_GetQueueStatus(h, &left), QTTY_FT_OK);
        EXPECT_EQ(left, c.queued.size() - got);
    }
}

TEST_F(TtyIoTest, PurgeAndResetDropWhatIsQueued)
{
    const std::pair<const char*, std::function<QTTY_FT_STATUS()>> drops[] = {
        {"purge rx", [&] { return FT_Purge(h, QTTY_FT_PURGE_RX); }},
        {"purge both", [&] { return FT_Purge(h, QTTY_FT_PURGE_RX | QTTY_FT_PURGE_TX); }},
        {"reset", [&] { return FT_ResetDevice(h); }},
    };
    for (const auto& [name, drop] : drops) {
        SCOPED_TRACE(name);
        peerA.Send({1, 2, 3});
        ASSERT_TRUE(WaitQueued(h, 3));
        EXPECT_EQ(drop(), QTTY_FT_OK);
        EXPECT_TRUE(WaitQueued(h, 0));
        peerA.Send({4});
        ASSERT_TRUE(WaitQueued(h, 1)) << "bytes that come later still arrive";
        FT_Purge(h, QTTY_FT_PURGE_RX);
    }
    peerA.Send({5});
    ASSERT_TRUE(WaitQueued(h, 1));
    EXPECT_EQ(FT_Purge(h, QTTY_FT_PURGE_TX), QTTY_FT_OK);
    EXPECT_TRUE(WaitQueued(h, 1)) << "a transmit purge keeps the receive queue";
}

// The controller's end closes (unplugged, hung up) with part of a reply queued, or FT_Close comes
// while a read waits on another thread. Whichever call comes first notices; a waiting read ends
// at once with the bytes it took; the bytes not yet read are gone (the kernel drops them with the
// hang-up, as the driver loses its queue on an unplug). Every later call says the device is gone.
TEST_F(TtyOpenTest, TheControllerSideGoingAway)
{
    const Bytes head = {0xCC, 0xAC, 0xDC, 0x00, 0xA1, 0xB2, 0x10};
    const auto calls = HandleCalls();
    int number = 10;
    for (const std::string first :
         {"read waiting", "FT_Close while reading", "FT_Read", "FT_Write", "FT_GetQueueStatus",
          "FT_Purge", "FT_ResetDevice", "FT_SetBaudRate"}) {
        SCOPED_TRACE(first);
        PtyPeer peer;
        QTTY_FT_HANDLE h = AddAndOpen(peer, number++);
        const bool waiting = !calls.count(first), closing = first == "FT_Close while reading";
        peer.Send(head);
        ASSERT_TRUE(WaitQueued(h, QTTY_DWORD(head.size())));
        uint8_t reply[20];
        QTTY_DWORD got = 99;
        QTTY_FT_STATUS status = 99;
        const auto start = Clock::now();
        if (waiting) {
            std::thread reader([&] { status = FT_Read(h, reply, 20, &got); });
            EXPECT_TRUE(WaitQueued(h, 0)) << "the read has taken the bytes and waits for the rest";
            if (closing)
                FT_Close(h);
            else
                peer.Close();
            reader.join();
        } else {
            peer.Close();
            EXPECT_EQ(calls.at(first)(h), QTTY_FT_IO_ERROR);
            status = FT_Read(h, reply, 20, &got);
        }
        EXPECT_EQ(status, closing ? QTTY_FT_INVALID_HANDLE : QTTY_FT_IO_ERROR);
        const QTTY_DWORD expected = waiting ? QTTY_DWORD(head.size()) : 0;
        ASSERT_EQ(got, expected);
        EXPECT_EQ(Bytes(reply, reply + got), Bytes(head.begin(), head.begin() + expected));
        EXPECT_LT(MsSince(start), 5000) << "not the read's time-out";
        if (closing)
            continue;
        for (const auto& [name, call] : calls) EXPECT_EQ(call(h), QTTY_FT_IO_ERROR) << name;
        EXPECT_EQ(FT_Close(h), QTTY_FT_OK);
        EXPECT_EQ(FT_Close(h), QTTY_FT_INVALID_HANDLE);
    }
}

TEST_F(TtyIoTest, UnknownAndClosedHandlesAreInvalid)
{
    QTTY_FT_HANDLE closed = Open(1);
    ASSERT_EQ(FT_Close(closed), QTTY_FT_OK);
    QTTY_FT_HANDLE reopened = Open(0);
    ASSERT_NE(reopened, closed) << "handle values are never reused";
    for (QTTY_FT_HANDLE bad : {QTTY_FT_HANDLE(nullptr), closed, QTTY_FT_HANDLE(&closed)}) {
        for (const auto& [name, call] : HandleCalls())
            EXPECT_EQ(call(bad), QTTY_FT_INVALID_HANDLE) << name;
        EXPECT_EQ(FT_Close(bad), QTTY_FT_INVALID_HANDLE);
    }
    FT_Close(reopened);
    uint8_t b = 0;
    QTTY_DWORD got = 0;
    EXPECT_EQ(FT_Read(h, &b, 1, nullptr), QTTY_FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_Read(h, nullptr, 1, &got), QTTY_FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_GetQueueStatus(h, nullptr), QTTY_FT_INVALID_PARAMETER);
}

// The link exercise writes from its own thread while the panel's timer reads on the UI thread.
TEST_F(TtyIoTest, AWriterThreadAndAReaderShareTheHandle)
{
    constexpr size_t kBytes = 2000;
    Bytes toHost(kBytes), toDevice(kBytes);
    for (size_t i = 0; i < kBytes; ++i) {
        toHost[i] = uint8_t(i * 7);
        toDevice[i] = uint8_t(0x40 + i % 16);
    }
    ASSERT_EQ(FT_SetTimeouts(h, 100, 1000), QTTY_FT_OK);
    Bytes atDevice;
    std::thread device([&] { atDevice = peerA.Receive(kBytes); });
    std::thread writer([&] {
        QTTY_DWORD n = 0;
        for (size_t i = 0; i < kBytes; ++i)
            if (FT_Write(h, &toDevice[i], 1, &n) != QTTY_FT_OK || n != 1)
                break;
    });
    peerA.Send(toHost);
    Bytes atHost;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (atHost.size() < kBytes && Clock::now() < deadline) {
        QTTY_DWORD queued = 0;
        ASSERT_EQ(FT_GetQueueStatus(h, &queued), QTTY_FT_OK);
        Bytes chunk(queued);
        QTTY_DWORD got = 0;
        if (queued > 0) {
            ASSERT_EQ(FT_Read(h, chunk.data(), queued, &got), QTTY_FT_OK);
        }
        atHost.insert(atHost.end(), chunk.begin(), chunk.begin() + got);
    }
    writer.join();
    device.join();
    EXPECT_EQ(atHost, toHost);
    EXPECT_EQ(atDevice, toDevice);
}

TEST_F(TtyIoTest, APortThatRefusesTheRateSaysSo)
{
    using Mode = RefusingPort::Mode;
    struct Case {
        Mode mode;
        uint32_t readBack;
        QTTY_ULONG baud;
        const char* said;  // nullptr: accepted, and nothing said
    };
    const Case cases[] = {
        {Mode::Accept, 0, 128000, nullptr},
        {Mode::RejectSet, 0, 128000, "refuses 128000 baud: Invalid argument"},
        {Mode::ReadBack, 115200, 128000, "refuses 128000 baud: it set 115200"},
        {Mode::ReadBack, 9600, 128000, "refuses 128000 baud: it set 9600"},
        // What a bridge's divider makes of 128000 is close enough for the link.
        {Mode::ReadBack, 127659, 128000, nullptr},
        {Mode::Accept, 0, 0, "refuses 0 baud"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(&c - cases));
        testing::internal::CaptureStderr();
        QTTY_FT_STATUS status;
        {
            RefusingPort refusing(c.mode, c.readBack);
            status = FT_SetBaudRate(h, c.baud);
        }
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.said ? QTTY_FT_INVALID_BAUD_RATE : QTTY_FT_OK);
        if (c.said) {
            EXPECT_NE(said.find(tree.Dev().string() + "/ttyUSB0 " + c.said), std::string::npos)
                << said;
        } else {
            EXPECT_EQ(said, "");
        }
    }
    QTTY_DWORD n = 0;
    EXPECT_EQ(FT_GetQueueStatus(h, &n), QTTY_FT_OK) << "a refused rate leaves the port usable";
}

}  // namespace

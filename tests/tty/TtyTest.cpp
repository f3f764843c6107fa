// The kernel serial backend on a fake sysfs tree whose ports are pseudo-terminals held by the
// test; quillon-sim-pty used as any serial program would use it; quillonctl through the backend.

#include <asm/termbits.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/ioctl.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <functional>
#include <map>
#include <thread>

#include "QuillonSim.h"
#include "TtyD2xx.h"
#include "tty/FakeSysfs.h"
#include "tty/SimPtyProcess.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using testing::AllOf;
using testing::HasSubstr;

// While set, every port of the process acts as one whose driver refuses a rate: TCSETS2 fails
// with EINVAL (0), or TCGETS2 then reports this output rate.
std::atomic<int> g_refusedRate{-1};

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One end of a terminal; reads stop at n bytes or the deadline.
struct Fd {
    explicit Fd(int fd) : fd(fd) {}
    Fd(Fd&& other) : fd(std::exchange(other.fd, -1)) {}
    ~Fd() { Close(); }
    void Close()
    {
        if (fd >= 0)
            close(std::exchange(fd, -1));
    }
    void Send(const Bytes& b) { ASSERT_EQ(write(fd, b.data(), b.size()), ssize_t(b.size())); }
    Bytes Receive(size_t n, milliseconds within = std::chrono::seconds(5)) const
    {
        const auto deadline = Clock::now() + within;
        Bytes out(n);
        size_t got = 0;
        for (pollfd p{fd, POLLIN, 0}; got < n;) {
            const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
            const ssize_t r =
                left > 0 && poll(&p, 1, int(left)) == 1 ? read(fd, &out[got], n - got) : 0;
            if (r <= 0)
                break;
            got += size_t(r);
        }
        out.resize(got);
        return out;
    }
    int fd;
};

// A terminal opened as a serial program opens it: raw, 8N1 at the link's 128000 baud.
Fd OpenRaw(const std::string& path)
{
    Fd end(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios2 t{};
    t.c_cflag = CS8 | CREAD | CLOCAL | BOTHER;
    t.c_ispeed = t.c_ospeed = 128000;
    EXPECT_EQ(ioctl(end.fd, TCSETS2, &t), 0);
    return end;
}

// The test's end of a pseudo-terminal; others open `name`.
struct Pty : Fd {
    Pty() : Fd(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        grantpt(fd), unlockpt(fd);
        char buffer[128] = {};
        ptsname_r(fd, buffer, sizeof buffer);
        name = buffer;
    }
    std::string name;
};

QTTY_FT_HANDLE Open(int number)
{
    QTTY_FT_HANDLE h = nullptr;
    EXPECT_EQ(FT_Open(number, &h), QTTY_FT_OK);
    return h;
}

// Waits, bounded, until the backend's queue holds n bytes; the terminal passes bytes on
// asynchronously.
bool WaitQueued(QTTY_FT_HANDLE h, QTTY_DWORD n)
{
    QTTY_DWORD queued = 0;
    for (auto end = Clock::now() + std::chrono::seconds(5); Clock::now() < end;) {
        if (FT_GetQueueStatus(h, &queued) != QTTY_FT_OK || queued == n)
            return queued == n;
        std::this_thread::yield();
    }
    return false;
}

// Every call but FT_Close on a handle.
std::map<std::string, std::function<QTTY_FT_STATUS(QTTY_FT_HANDLE)>> HandleCalls()
{
    static uint8_t b[8];
    static QTTY_DWORD n;
    return {
        {"FT_Read", [](QTTY_FT_HANDLE h) { return FT_Read(h, b, 1, &n); }},
        {"FT_Write", [](QTTY_FT_HANDLE h) { return FT_Write(h, b, 1, &n); }},
        {"FT_SetTimeouts", [](QTTY_FT_HANDLE h) { return FT_SetTimeouts(h, 1, 1); }},
        {"FT_ResetDevice", [](QTTY_FT_HANDLE h) { return FT_ResetDevice(h); }},
        {"FT_Purge", [](QTTY_FT_HANDLE h) { return FT_Purge(h, QTTY_FT_PURGE_RX); }},
        {"FT_GetQueueStatus", [](QTTY_FT_HANDLE h) { return FT_GetQueueStatus(h, &n); }},
        {"FT_SetBaudRate", [](QTTY_FT_HANDLE h) { return FT_SetBaudRate(h, 128000); }},
        {"FT_SetLatencyTimer", [](QTTY_FT_HANDLE h) { return FT_SetLatencyTimer(h, 2); }},
        {"FT_SetUSBParameters", [](QTTY_FT_HANDLE h) { return FT_SetUSBParameters(h, 64, 0); }},
    };
}

TEST(TtyTest, ListsFtdiPortsBySerialNumberThenPort)
{
    FakeSysfs tree;
    const auto usb = [&](const char* port, const char* dev, const char* product, const char* serial,
                         int interface = 0) {
        tree.AddUsbPort(port, dev, {"0403", product, serial, interface}, tree.Root() / "none");
    };
    usb("ttyUSB4", "1-4", "Quillon SC", "QSC20002");
    usb("ttyUSB3", "1-3", "Quillon SC", "QSC10001");
    usb("ttyUSB1", "1-2", "Dual RS232", "A9", 1);
    usb("ttyUSB2", "1-2", "Dual RS232", "A9 \t", 0);  // listed without its trailing blanks
    usb("ttyUSB10", "1-6", "Blank B", "");
    usb("ttyUSB9", "1-5", "Blank A", "");
    tree.AddUsbPort("ttyACM0", "1-7", {"2341", "Arduino", "7543"}, "none");
    tree.AddPlatformPort("ttyS0");
    tree.AddVirtualTerminal("tty0");

    const auto list = [](QTTY_DWORD by, size_t buffers) {
        std::vector<std::array<char, 64>> storage(buffers);
        std::vector<char*> pointers;
        for (auto& s : storage) pointers.push_back(s.data());
        pointers.push_back(nullptr);
        QTTY_DWORD filled = 0;
        EXPECT_EQ(FT_ListDevices(pointers.data(), &filled, QTTY_FT_LIST_ALL | by), QTTY_FT_OK);
        return Strings(pointers.begin(), pointers.begin() + filled);
    };
    QTTY_DWORD n = 0;
    EXPECT_EQ(FT_ListDevices(&n, nullptr, QTTY_FT_LIST_NUMBER_ONLY), QTTY_FT_OK);
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(list(QTTY_FT_OPEN_BY_SERIAL_NUMBER, 8),
              (Strings{"", "", "A9", "A9", "QSC10001", "QSC20002"}));
    EXPECT_EQ(list(QTTY_FT_OPEN_BY_DESCRIPTION, 2), (Strings{"Blank A", "Blank B"}))
        << "stops at the caller's NULL entry";
    char one[64];
    const auto byIndex = [&](uintptr_t i) {
        return FT_ListDevices(reinterpret_cast<void*>(i), one,
                              QTTY_FT_LIST_BY_INDEX | QTTY_FT_OPEN_BY_SERIAL_NUMBER);
    };
    EXPECT_EQ(byIndex(4), QTTY_FT_OK);
    EXPECT_STREQ(one, "QSC10001");
    EXPECT_EQ(byIndex(6), QTTY_FT_DEVICE_NOT_FOUND);
    for (auto [count, flags] : {std::pair<void*, QTTY_DWORD>{nullptr, QTTY_FT_LIST_NUMBER_ONLY},
                                {&n, QTTY_FT_LIST_ALL},
                                {&n, 0x10000002u}})
        EXPECT_EQ(FT_ListDevices(count, nullptr, flags), QTTY_FT_INVALID_PARAMETER);

    // Numbers follow the same order, and a description or serial number opens the first port
    // that has it; the failure names the node and why.
    tree.AddUsbPort("ttyUSB7", "1-8", {"0403", "Quillon SC", "QSC99999"}, "/dev/null");
    const auto ex = [](const char* text, QTTY_DWORD flags) {
        return [=](QTTY_FT_HANDLE* h) { return FT_OpenEx(const_cast<char*>(text), flags, h); };
    };
    const auto number = [](int n) { return [=](QTTY_FT_HANDLE* h) { return FT_Open(n, h); }; };
    const QTTY_DWORD byText = QTTY_FT_OPEN_BY_DESCRIPTION, bySerial = QTTY_FT_OPEN_BY_SERIAL_NUMBER;
    const QTTY_FT_STATUS opened = QTTY_FT_DEVICE_NOT_OPENED, none = QTTY_FT_DEVICE_NOT_FOUND,
                         invalid = QTTY_FT_INVALID_PARAMETER;
    const struct {
        std::function<QTTY_FT_STATUS(QTTY_FT_HANDLE*)> open;
        QTTY_FT_STATUS status;
        const char* node;  // named in the failure, with why
    } opens[] = {
        // clang-format off
        {number(0), opened, "ttyUSB9"}, {number(1), opened, "ttyUSB10"}, {number(2), opened, "ttyUSB2"},
        {number(3), opened, "ttyUSB1"}, {number(4), opened, "ttyUSB3"}, {number(5), opened, "ttyUSB4"},
        {number(6), opened, "ttyUSB7"}, {ex("Quillon SC", byText), opened, "ttyUSB3"},
        {ex("Dual RS232", byText), opened, "ttyUSB2"}, {ex("QSC20002", bySerial), opened, "ttyUSB4"},
        {ex("QSC10001", byText), none, ""}, {ex("quillon sc", byText), none, ""},
        {ex("QSC1000", bySerial), none, ""}, {ex("Arduino", byText), none, ""},
        {number(7), none, ""}, {number(-1), none, ""}, {ex("QSC10001", 4), invalid, ""},
        {ex(nullptr, byText), invalid, ""}, {[](QTTY_FT_HANDLE*) { return FT_Open(0, nullptr); }, invalid, ""},
        // clang-format on
    };
    for (const auto& c : opens) {
        SCOPED_TRACE(int(&c - opens));
        QTTY_FT_HANDLE h = nullptr;
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.open(&h), c.status);
        EXPECT_EQ(h, nullptr);
        const std::string said = testing::internal::GetCapturedStderr();
        if (*c.node != '\0') {
            EXPECT_THAT(said, HasSubstr("cannot open " + (tree.Dev() / c.node).string() + " ("));
            EXPECT_THAT(said, HasSubstr(c.node == std::string("ttyUSB7") ? "): not a serial port"
                                                                         : "): No such file or"));
        }
    }
    setenv("QUILLON_TTY_SYSFS_ROOT", (tree.Root() / "absent").c_str(), 1);
    EXPECT_EQ(FT_ListDevices(&n, nullptr, QTTY_FT_LIST_NUMBER_ONLY), QTTY_FT_OK);
    EXPECT_EQ(n, 0u);
    QTTY_FT_HANDLE h = nullptr;
    EXPECT_EQ(FT_Open(0, &h), QTTY_FT_DEVICE_NOT_FOUND);
}

// Two controllers on two terminals.
class TtyPortTest : public testing::Test {
protected:
    TtyPortTest()
    {
        // Device 1; device 0 has the lower serial number and no latency attribute.
        tree.AddUsbPort("ttyUSB0", "1-1", FakeSysfs::Usb{}, peerA.name);
        tree.AddUsbPort("ttyUSB1", "1-2", {"0403", "Quillon SC-2", "QSC00009", 0, false},
                        peerB.name);
    }
    // A controller of its own on port ttyUSB<number>, opened.
    QTTY_FT_HANDLE AddAndOpen(const Pty& peer, int number)
    {
        FakeSysfs::Usb usb{"0403", "Quillon SC", "EXTRA" + std::to_string(number)};
        tree.AddUsbPort("ttyUSB" + std::to_string(number), "2-" + std::to_string(number), usb,
                        peer.name);
        QTTY_FT_HANDLE h = nullptr;
        EXPECT_EQ(FT_OpenEx(usb.serial.data(), QTTY_FT_OPEN_BY_SERIAL_NUMBER, &h), QTTY_FT_OK);
        EXPECT_EQ(FT_SetTimeouts(h, 10000, 10000), QTTY_FT_OK);
        return h;
    }

    FakeSysfs tree;
    Pty peerA, peerB;
};

TEST_F(TtyPortTest, OpenMakesTheLinkRawEightNoneOneWithTheExactRateAndLowLatency)
{
    // Whatever the terminal was left with: canonical, echo, 7E2, both kinds of flow control.
    // Its settings act on the terminal whichever end asks.
    termios2 t{};
    ioctl(peerA.fd, TCGETS2, &t);
    t.c_lflag |= ICANON | ECHO | ISIG;
    t.c_iflag |= IXON | IXOFF | ICRNL;
    t.c_oflag |= OPOST | ONLCR;
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    ioctl(peerA.fd, TCSETS2, &t);

    QTTY_FT_HANDLE h = Open(1);
    const int again = open(peerA.name.c_str(), O_RDWR | O_NOCTTY);  // root may, others may not
    int exclusive = again < 0 && errno == EBUSY;
    if (again >= 0)
        ioctl(again, TIOCGEXCL, &exclusive), close(again);
    EXPECT_EQ(exclusive, 1) << "a second program could open the port and mix its frames in";
    ASSERT_EQ(FT_SetBaudRate(h, 128000), QTTY_FT_OK);
    ioctl(peerA.fd, TCGETS2, &t);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD | CBAUD),
              tcflag_t(CS8 | CLOCAL | CREAD | BOTHER));
    EXPECT_EQ(std::tuple(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), t.c_oflag & OPOST,
                         t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), t.c_ospeed, t.c_ispeed),
              std::tuple(0u, 0u, 0u, 128000u, 128000u));

    // Raw both ways: a carriage return and a flow-control byte pass unchanged.
    const Bytes raw = {0x0D, 0x11, 0x13, 0x0A, 0x03, 0xFF};
    Bytes got(raw.size());
    QTTY_DWORD n = 0;
    ASSERT_EQ(FT_Write(h, const_cast<uint8_t*>(raw.data()), 6, &n), QTTY_FT_OK);
    EXPECT_EQ(peerA.Receive(raw.size()), raw);
    peerA.Send(raw);
    ASSERT_TRUE(WaitQueued(h, 6));
    ASSERT_EQ(FT_Read(h, got.data(), 6, &n), QTTY_FT_OK);
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
class TtyIoTest : public TtyPortTest {
protected:
    void SetUp() override { h = Open(1); }
    void TearDown() override { FT_Close(h); }
    QTTY_FT_HANDLE h = nullptr;
};

TEST_F(TtyIoTest, ReadWaitsForTheCountOrTheTimeOut)
{
    const struct {
        Bytes queued, later;  // later: sent once the read has taken what was queued
        QTTY_DWORD toRead;
        QTTY_ULONG timeoutMs;
        size_t expected;
        double minMs;  // the read waits at least this long
    } cases[] = {
        {{}, {}, 4, 0, 0, 0},                         // 0: do not wait
        {{}, {}, 4, 40, 0, 40},                       // nothing: the whole time-out
        {{1, 2, 3}, {}, 5, 40, 3, 40},                // fewer: what there is, at the time-out
        {{1, 2, 3, 4, 5, 6, 7}, {}, 5, 10000, 5, 0},  // more: the count, the rest stays
        {{1, 2}, {3, 4, 5}, 5, 10000, 5, 0},          // in two pieces
        {{}, {}, 0, 10000, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(&c - cases));
        ASSERT_EQ(FT_Purge(h, QTTY_FT_PURGE_RX), QTTY_FT_OK);
        peerA.Send(c.queued);
        ASSERT_TRUE(WaitQueued(h, QTTY_DWORD(c.queued.size())));
        ASSERT_EQ(FT_SetTimeouts(h, c.timeoutMs, c.timeoutMs), QTTY_FT_OK);
        Bytes buffer(c.toRead + 1, 0xEE);
        QTTY_DWORD got = 99, left = 0;
        std::thread later(
            [&] { c.later.empty() || !WaitQueued(h, 0) ? void() : peerA.Send(c.later); });
        const auto start = Clock::now();
        EXPECT_EQ(FT_Read(h, buffer.data(), c.toRead, &got), QTTY_FT_OK);
        const double ms = MsSince(start);
        later.join();
        EXPECT_GE(ms, c.minMs);
        EXPECT_LT(ms, 5000) << "not a longer wait than asked";
        ASSERT_EQ(got, c.expected);
        Bytes all = c.queued;
        all.insert(all.end(), c.later.begin(), c.later.end());
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + got),
                  Bytes(all.begin(), all.begin() + got));
        EXPECT_EQ(buffer[c.toRead], 0xEE) << "nothing past the count";
        EXPECT_EQ(FT_GetQueueStatus(h, &left), QTTY_FT_OK);
        EXPECT_EQ(left, all.size() - got);
    }
}

TEST_F(TtyIoTest, PurgeAndResetDropOnlyTheReceiveQueue)
{
    const std::pair<QTTY_FT_STATUS (*)(QTTY_FT_HANDLE), bool> drops[] = {
        {[](QTTY_FT_HANDLE h) { return FT_Purge(h, QTTY_FT_PURGE_RX); }, true},
        {[](QTTY_FT_HANDLE h) { return FT_Purge(h, QTTY_FT_PURGE_RX | QTTY_FT_PURGE_TX); }, true},
        {[](QTTY_FT_HANDLE h) { return FT_ResetDevice(h); }, true},
        {[](QTTY_FT_HANDLE h) { return FT_Purge(h, QTTY_FT_PURGE_TX); }, false},
    };
    int row = 0;
    for (const auto& [drop, dropsReceived] : drops) {
        SCOPED_TRACE(row++);
        peerA.Send({1, 2, 3});
        ASSERT_TRUE(WaitQueued(h, 3));
        EXPECT_EQ(drop(h), QTTY_FT_OK);
        EXPECT_TRUE(WaitQueued(h, dropsReceived ? 0 : 3));
        peerA.Send({4});
        EXPECT_TRUE(WaitQueued(h, dropsReceived ? 1 : 4)) << "bytes that come later still arrive";
        FT_Purge(h, QTTY_FT_PURGE_RX);
    }
}

// The controller's end closes (unplugged, hung up) with part of a reply queued, or FT_Close comes
// while a read waits on another thread. Whichever call comes first notices; a waiting read ends
// at once with the bytes it took; the bytes not yet read are gone (the kernel drops them with the
// hang-up, as the driver loses its queue on an unplug). Every later call says the device is gone.
TEST_F(TtyPortTest, TheControllerSideGoingAway)
{
    const Bytes head = {0xCC, 0xAC, 0xDC, 0x00, 0xA1, 0xB2, 0x10};
    const auto calls = HandleCalls();
    int number = 10;
    for (const std::string first :
         {"read waiting", "FT_Close while reading", "FT_Read", "FT_Write", "FT_GetQueueStatus",
          "FT_Purge", "FT_ResetDevice", "FT_SetBaudRate"}) {
        SCOPED_TRACE(first);
        Pty peer;
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
            closing ? void(FT_Close(h)) : peer.Close();
            reader.join();
        } else {
            peer.Close();
            EXPECT_EQ(calls.at(first)(h), QTTY_FT_IO_ERROR);
            status = FT_Read(h, reply, 20, &got);
        }
        EXPECT_EQ(status, closing ? QTTY_FT_INVALID_HANDLE : QTTY_FT_IO_ERROR);
        ASSERT_EQ(got, waiting ? head.size() : 0);
        EXPECT_EQ(Bytes(reply, reply + got), Bytes(head.begin(), head.begin() + got));
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
    QTTY_FT_HANDLE closed = Open(0);
    ASSERT_EQ(FT_Close(closed), QTTY_FT_OK);
    for (QTTY_FT_HANDLE bad : {QTTY_FT_HANDLE(nullptr), closed, QTTY_FT_HANDLE(&closed)}) {
        for (const auto& [name, call] : HandleCalls())
            EXPECT_EQ(call(bad), QTTY_FT_INVALID_HANDLE) << name;
        EXPECT_EQ(FT_Close(bad), QTTY_FT_INVALID_HANDLE);
    }
    QTTY_FT_HANDLE again = Open(0);
    EXPECT_NE(again, closed) << "handle values are never reused";
    FT_Close(again);
    uint8_t b = 0;
    EXPECT_EQ(FT_Read(h, &b, 1, nullptr), QTTY_FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_GetQueueStatus(h, nullptr), QTTY_FT_INVALID_PARAMETER);
}

TEST_F(TtyIoTest, APortThatRefusesTheRateSaysSo)
{
    const struct {
        int refused;  // -1: the port takes the rate; 0: refuses it; else it sets this one
        QTTY_ULONG baud;
        const char* said;  // nullptr: accepted, and nothing said
    } cases[] = {
        {-1, 128000, nullptr},
        {0, 128000, "refuses 128000 baud: Invalid argument"},
        {115200, 128000, "refuses 128000 baud: it set 115200"},
        // What a bridge's divider makes of 128000 is close enough for the link.
        {127659, 128000, nullptr},
        {-1, 0, "refuses 0 baud"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(&c - cases));
        testing::internal::CaptureStderr();
        g_refusedRate = c.refused;
        const QTTY_FT_STATUS status = FT_SetBaudRate(h, c.baud);
        g_refusedRate = -1;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.said ? QTTY_FT_INVALID_BAUD_RATE : QTTY_FT_OK);
        EXPECT_EQ(said, c.said
                            ? "libquillon-tty: " + tree.Dev().string() + "/ttyUSB0 " + c.said + "\n"
                            : "");
    }
    QTTY_DWORD n = 0;
    EXPECT_EQ(FT_GetQueueStatus(h, &n), QTTY_FT_OK) << "a refused rate leaves the port usable";
}

TEST(SimPtyTest, AnswersFramesOnItsTerminalAsTheyComeAndInRealTime)
{
    SimPtyProcess sim({"--serial", "PTY12345678"});
    ASSERT_TRUE(sim.Terminal().starts_with("/dev/pts/")) << sim.Terminal();
    Fd t = OpenRaw(sim.Terminal());
    const std::string identity = "\xFDPTY12345V1.0";
    const struct {
        std::vector<Bytes> writes;  // a frame may come in pieces
        Bytes answer;
        int minMs;  // the answer's delay at least
    } cases[] = {
        {{{0xFD}}, Bytes(identity.begin(), identity.end()), 0},
        {{{0xFA, 0x21, 0x02}, {0x03, 0x45, 0x60}}, {0xFA, 0x21, 0x02, 0x03, 0x45, 0x60, 0x0D}, 0},
        {{{0x00, 0xDD, 0x13}}, {0xDD, 0x0D}, 0},  // bytes that start no frame are skipped
        // Reset: the ready marker after its delay.
        {{{0xFB}}, {0x0D}, QUILLON_SIM_RESET_MARKER_MS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(&c - cases));
        const auto start = Clock::now();
        for (size_t i = 0; i < c.writes.size(); ++i) {
            t.Send(c.writes[i]);
            // Short of the 100 ms after which the controller drops a frame cut off.
            EXPECT_TRUE(i + 1 == c.writes.size() || t.Receive(1, milliseconds(5)).empty())
                << "half a frame gets no answer";
        }
        EXPECT_EQ(t.Receive(c.answer.size()), c.answer);
        EXPECT_GE(MsSince(start), c.minMs);
        EXPECT_EQ(t.Receive(1, milliseconds(0)), Bytes{}) << "nothing more at once";
    }
}

TEST(SimPtyTest, ExitStatusAndFakeSysfs)
{
    const struct {
        Strings args;
        int signal;  // 0: ends by itself
        int status;
    } cases[] = {
        {{}, SIGTERM, 0}, {{}, SIGINT, 0}, {{}, SIGHUP, 0}, {{"--help"}, 0, 0}, {{"--bogus"}, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::to_string(c.signal) : c.args[0]);
        SimPtyProcess sim(c.args);
        EXPECT_TRUE(!c.signal || !sim.Terminal().empty());
        EXPECT_EQ(c.signal ? sim.Stop(c.signal) : sim.Wait(5000), c.status);
    }

    // Its terminal described as an FTDI port that the serial backend lists and opens, removed
    // again at exit.
    FakeSysfs root;
    SimPtyProcess sim({"--fake-sysfs", root.Root().string(), "--serial", "QSC55555",
                       "--description", "Bench unit"});
    ASSERT_FALSE(sim.Terminal().empty());
    char description[64], serial[64];
    const QTTY_DWORD byIndex = QTTY_FT_LIST_BY_INDEX;
    EXPECT_EQ(FT_ListDevices(nullptr, description, byIndex | QTTY_FT_OPEN_BY_DESCRIPTION), 0);
    EXPECT_EQ(FT_ListDevices(nullptr, serial, byIndex | QTTY_FT_OPEN_BY_SERIAL_NUMBER), 0);
    EXPECT_EQ(std::string(description) + "," + serial, "Bench unit,QSC55555");
    FT_Close(Open(0));
    EXPECT_EQ(sim.Stop(), 0);
    QTTY_DWORD n = 1;
    EXPECT_EQ(FT_ListDevices(&n, nullptr, QTTY_FT_LIST_NUMBER_ONLY), QTTY_FT_OK);
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(std::filesystem::exists(root.Dev())) << "what was there stays";
}

// quillonctl's shell as a child process through the backend to the virtual controller: the times
// and count it sets go out, the run counts its cycles, and the status shows what was set.
TEST(QuillonctlTtyTest, CoreCommandsThroughTheSerialBackend)
{
    FakeSysfs root;
    SimPtyProcess sim({"--fake-sysfs", root.Root().string()});
    ASSERT_FALSE(sim.Terminal().empty());
    ToolProcess tool({"--driver", "tty", "shell"});
    tool.Send(
        "mode soft\ntrigger enable-high\nsync high\ntimer closed 0:00:00.005\n"
        "timer exposure 0:00:00.003\nrepeat 2\nrun go --wait\nstatus\n");
    tool.CloseInput();
    std::string out;
    while (const auto line = tool.ReadLine(std::chrono::seconds(10))) out += *line + "\n";
    EXPECT_EQ(out,
              "sent command=mode\nsent command=trigger\nsent command=sync\n"
              "sent command=timer\nsent command=timer\nsent command=repeat\nsent command=run\n"
              "shutter state=opened\nshutter state=closed\ncycle left=1\n"
              "shutter state=opened\nshutter state=closed\ncycle left=0\nrun-end\n"
              "status shutter=closed mode=soft nd-steps=0 trigger=enable-high sync=high "
              "closed-time=0:00:00.0050 exposure-time=0:00:00.0030 cycle-time=0:00:00.1480 "
              "run=go repeat=2\n");
    EXPECT_EQ(tool.Wait(5000), 0);
    char err[512];
    EXPECT_EQ(read(tool.Err(), err, sizeof err), 0) << "nothing on standard error";
}

}  // namespace

// Every ioctl of the process passes here before the C library's: a port that refuses a rate.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    using Ioctl = int (*)(int, unsigned long, ...);
    static const Ioctl real = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
    const int refused = g_refusedRate;
    if (refused == 0 && request == TCSETS2) {
        errno = EINVAL;
        return -1;
    }
    const int result = real(fd, request, arg);
    if (refused > 0 && request == TCGETS2 && result == 0)
        static_cast<termios2*>(arg)->c_ospeed = uint32_t(refused);
    return result;
}

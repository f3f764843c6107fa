// quillon-sim-pty from the outside, its terminal used as any serial program would use it, without
// the serial backend.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "QuillonSim.h"
#include "tty/FakeSysfs.h"
#include "tty/ReadWithin.h"
#include "tty/SimPtyProcess.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class Terminal : public TermEnd {
public:
    explicit Terminal(const std::string& path)
        : TermEnd(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
};

TEST(SimPtyTest, AnswersFramesOnItsTerminal)
{
    SimPtyProcess sim({"--serial", "PTY12345678"});
    ASSERT_TRUE(sim.Terminal().rfind("/dev/pts/", 0) == 0) << sim.Terminal();
    Terminal t(sim.Terminal());
    ASSERT_GE(t.Fd(), 0);
    const std::string identity = "\xFDPTY12345V1.0";
    struct Case {
        std::vector<Bytes> writes;  // a frame may come in pieces
        Bytes answer;
    };
    const Case cases[] = {
        {{{0xEE}}, {0xEE, 0x01}},
        {{{0xCC}}, {0xCC, 0xAC, 0xDC, 0x00, 0xA1, 0xB2, 0x10, 0x00, 0x00, 0x00,
                    0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x00, 0x00, 0x0D}},
        {{{0xFD}}, Bytes(identity.begin(), identity.end())},
        {{{0xAA}}, {0xAA, 0x0D}},
        {{{0xFA, 0x21, 0x02}, {0x03, 0x45, 0x60}}, {0xFA, 0x21, 0x02, 0x03, 0x45, 0x60, 0x0D}},
        {{{0x00, 0xDD, 0x13}}, {0xDD, 0x0D}},  // bytes that start no frame are skipped
        {{{0xCC}}, {0xCC, 0xAA, 0xDD, 0x00, 0xA1, 0xB2, 0x10, 0x00, 0x00, 0x00,
                    0x00, 0x21, 0x02, 0x03, 0x45, 0x60, 0xF0, 0x00, 0x00, 0x0D}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(&c - cases));
        for (size_t i = 0; i < c.writes.size(); ++i) {
            t.Send(c.writes[i]);
            if (i + 1 < c.writes.size()) {
                EXPECT_EQ(t.Receive(1, milliseconds(50)), Bytes{}) << "half a frame gets no answer";
            }
        }
        EXPECT_EQ(t.Receive(c.answer.size()), c.answer);
        EXPECT_EQ(t.Receive(1, milliseconds(0)), Bytes{}) << "nothing more at once";
    }
}

TEST(SimPtyTest, TimedAnswersComeInRealTime)
{
    SimPtyProcess sim;
    Terminal t(sim.Terminal());
    ASSERT_GE(t.Fd(), 0);
    // Reset: the ready marker after its delay.
    auto start = Clock::now();
    t.Send({0xFB});
    EXPECT_EQ(t.Receive(1), Bytes{0x0D});
    EXPECT_GE(Clock::now() - start, milliseconds(QUILLON_SIM_RESET_MARKER_MS));

    // Two free-run cycles of closed 5 ms and exposure 3 ms with 12 ms transitions, from closed.
    t.Send({0xFA, 0x10, 0x00, 0x00, 0x00, 0x50});
    t.Send({0xFA, 0x20, 0x00, 0x00, 0x00, 0x30});
    t.Send({0xFA, 0xF0, 0x00, 0x02});
    EXPECT_EQ(t.Receive(19).size(), 19u);
    start = Clock::now();
    t.Send({0xFA, 0xF3});
    EXPECT_EQ(t.Receive(5), (Bytes{0xAA, 0xAC, 0xAA, 0xAC, 0x0D}));
    EXPECT_GE(Clock::now() - start, milliseconds(2 * (5 + 3 + 12 + 12)));
}

TEST(SimPtyTest, ExitStatus)
{
    struct Case {
        std::vector<std::string> args;
        int signal;  // 0: ends by itself
        int status;
    };
    const Case cases[] = {
        {{}, SIGTERM, 0},   {{}, SIGINT, 0},     {{}, SIGHUP, 0},
        {{"--help"}, 0, 0}, {{"--bogus"}, 0, 2}, {{"--serial"}, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::to_string(c.signal) : c.args[0]);
        SimPtyProcess sim(c.args);
        if (c.signal) {
            ASSERT_FALSE(sim.Terminal().empty());
            EXPECT_EQ(sim.Stop(c.signal), c.status);
        } else {
            EXPECT_EQ(sim.Wait(5000), c.status);
        }
    }
}

TEST(SimPtyTest, DescribesItsTerminalAsAnFtdiPortInAFakeSysfs)
{
    FakeSysfs root;
    SimPtyProcess sim({"--fake-sysfs", root.Root().string(), "--serial", "QSC55555",
                       "--description", "Bench unit"});
    ASSERT_FALSE(sim.Terminal().empty());
    const auto port = root.Sys() / "class/tty/ttyUSB0";
    const auto usb = std::filesystem::canonical(port / "device").parent_path().parent_path();
    auto read = [](const std::filesystem::path& file) {
        std::string s;
        std::getline(std::ifstream(file) >> std::ws, s);
        return s;
    };
    EXPECT_EQ(read(usb / "idVendor"), "0403");
    EXPECT_EQ(read(usb / "product"), "Bench unit");
    EXPECT_EQ(read(usb / "serial"), "QSC55555");
    EXPECT_EQ(std::filesystem::read_symlink(root.Dev() / "ttyUSB0"), sim.Terminal());
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(port)) << "removed at exit";
    EXPECT_FALSE(std::filesystem::is_symlink(root.Dev() / "ttyUSB0"));
    EXPECT_TRUE(std::filesystem::exists(root.Dev())) << "what was there stays";
}

}  // namespace

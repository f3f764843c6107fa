// quillonctl as a child process through the kernel serial backend to the virtual controller on a
// pseudo-terminal. The tool's port is a terminal of the test, which relays every byte to the
// controller's terminal and back and so records the wire.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "config/ConfigFile.h"
#include "tty/ChildProcess.h"
#include "tty/FakeSysfs.h"
#include "tty/SimPtyProcess.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int OpenRaw(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// "> " for bytes from the tool, "< " from the controller, "+ " written by the test; one line per
// run of bytes in one direction.
void Record(std::string& wire, char direction, const uint8_t* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
        if (wire.empty() || wire[wire.rfind('\n') + 1] != direction)
            wire += (wire.empty() ? "" : "\n") + std::string(1, direction);
        wire += hex;
    }
}

struct Relayed {
    int status;
    std::string out;
    std::string err;
    std::string wire;
};

// Relays between the two terminals until the tool has closed its output. `inject` goes to the
// controller once the handshake has been answered, as from another program on the same port.
Relayed Relay(ToolProcess& tool, int port, int controller, const Bytes& inject)
{
    Relayed run{};
    int out = tool.Out(), err = tool.Err();
    bool injected = inject.empty();
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while ((out >= 0 || err >= 0) && Clock::now() < deadline) {
        pollfd fds[] = {
            {port, POLLIN, 0}, {controller, POLLIN, 0}, {out, POLLIN, 0}, {err, POLLIN, 0}};
        if (poll(fds, 4, 100) <= 0)
            continue;
        uint8_t buffer[4096];
        for (int i = 0; i < 4; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (i == 0 || i == 1) {
                if (got <= 0)
                    continue;
                Record(run.wire, i == 0 ? '>' : '<', buffer, std::size_t(got));
                EXPECT_EQ(write(i == 0 ? controller : port, buffer, std::size_t(got)), got);
                if (!injected && run.wire == "> EE\n< EE 01") {
                    EXPECT_EQ(write(controller, inject.data(), inject.size()),
                              ssize_t(inject.size()));
                    Record(run.wire, '+', inject.data(), inject.size());
                    injected = true;
                }
            } else if (got > 0) {
                (i == 2 ? run.out : run.err).append(reinterpret_cast<char*>(buffer), got);
            } else {
                (i == 2 ? out : err) = -1;
            }
        }
    }
    run.status = tool.Wait(5000);
    return run;
}

struct Row {
    std::vector<std::string> args;
    std::string input;  // for the shell
    Bytes inject;
    std::string wire;  // after the handshake
    std::string out;
};

TEST(QuillonctlTtyTest, CoreCommandsThroughTheSerialBackend)
{
    SimPtyProcess sim;
    ASSERT_FALSE(sim.Terminal().empty());
    const int controller = OpenRaw(sim.Terminal());
    // The tool's port; the test keeps its other end open so that it never hangs up.
    const int port = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(port, 0);
    grantpt(port);
    unlockpt(port);
    char name[128] = {};
    ptsname_r(port, name, sizeof name);
    const int held = OpenRaw(name);
    FakeSysfs root;
    root.AddUsbPort("ttyUSB0", "1-1", {}, name);

    ConfigFile cfg;
    cfg.shutterState = 1;
    cfg.shutterMode = 1;
    cfg.triggerMode = 0;
    cfg.syncPolarity = 1;
    cfg.closedTime = {"0", "0", "0", "5", "0"};
    cfg.exposureTime = {"0", "0", "0", "3", "0"};
    cfg.repeatNumber = "2";
    const std::string cfgPath = root.Root() / "two-cycles.cfg";
    const Bytes cfgBytes = EncodeConfigFile(cfg);
    std::ofstream(cfgPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(cfgBytes.data()), std::streamsize(cfgBytes.size()));

    const std::string cycles =
        "shutter state=opened\nshutter state=closed\ncycle left=1\n"
        "shutter state=opened\nshutter state=closed\ncycle left=0\n";
    const std::string event = "{\"schema\":1,\"type\":\"event\",\"event\":";
    const std::string opened = event + "\"shutter\",\"state\":\"opened\"}\n";
    const std::string closed = event + "\"shutter\",\"state\":\"closed\"}\n";
    // In order, on one controller: the run and the watch count the cycles the file set.
    const Row rows[] = {
        {{"status"},
         "",
         {},
         "> CC\n< CC AC DC 00 A1 B2 10 00 00 00 00 20 00 00 00 00 F0 00 00 0D",
         "shutter: closed\nmode: fast\nnd-steps: 0\ntrigger: enable-high\nsync: low\n"
         "closed-time: 0:00:00.0000\nexposure-time: 0:00:00.0000\ncycle-time: 0:00:00.0240\n"
         "run: none\nrepeat: 0\n"},
        {{"--json", "apply", cfgPath},
         "",
         {},
         "> AC\n< AC 0D\n> DD\n< DD 0D\n> FA A1\n< FA A1 0D\n> FA B2\n< FA B2 0D\n"
         "> FA 10 00 00 00 50\n< FA 10 00 00 00 50 0D\n> FA 20 00 00 00 30\n"
         "< FA 20 00 00 00 30 0D\n> FA F0 00 02\n< FA F0 00 02 0D",
         "{\"schema\":1,\"type\":\"applied\",\"file\":\"" + cfgPath + "\"}\n"},
        {{"run", "go", "--wait"},
         "",
         {},
         "> CC\n< CC AC DD 00 A1 B2 10 00 00 00 50 20 00 00 00 30 F0 00 02 0D\n"
         "> FA F3\n< AA AC AA AC 0D",
         "command: run\n" + cycles + "run-end\n"},
        {{"--json", "watch", "--until", "run-end"},
         "",
         {0xFA, 0xF3},
         "+ FA F3\n< AA AC AA AC 0D",
         opened + closed + opened + closed + event + "\"ready\"}\n"},
        {{"shell"},
         "status\n",
         {},
         "> CC\n< CC AC DD 00 A1 B2 10 00 00 00 50 20 00 00 00 30 F3 00 02 0D",
         "status shutter=closed mode=soft nd-steps=0 trigger=enable-high sync=low "
         "closed-time=0:00:00.0050 exposure-time=0:00:00.0030 cycle-time=0:00:00.1480 "
         "run=go repeat=2\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args));
        std::vector<std::string> args = {"--driver", "tty"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        ToolProcess tool(args);
        tool.Send(row.input);
        tool.CloseInput();
        const Relayed run = Relay(tool, port, controller, row.inject);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.wire, "> EE\n< EE 01\n" + row.wire);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(run.err, "");
    }
    close(held);
    close(port);
    close(controller);
}

}  // namespace

// quillon-sim-pty: the simulated controller behind a pseudo-terminal, so that the kernel serial
// backend, or any serial tool, can talk to a controller without hardware. The controller model is
// the simulator's; this program only carries its bytes over the terminal in real time.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Controller.h"

namespace fs = std::filesystem;
using quillon_sim::Answer;
using quillon_sim::Controller;

namespace {

constexpr const char* kUsage =
    "Usage: quillon-sim-pty [--serial TEXT] [--description TEXT] [--fake-sysfs DIR]\n"
    "                       [--transcript FILE]\n"
    "\n"
    "Runs a simulated Quillon controller behind a pseudo-terminal, prints the terminal's path on\n"
    "one line and answers on it until interrupted (SIGINT or SIGTERM; exit status 0).\n"
    "\n"
    "  --serial TEXT       the controller's serial number (default QSC10001); its first 8\n"
    "                      characters are in the Get Controller Info reply\n"
    "  --description TEXT  the USB product string of the fake device (default \"Quillon SC\")\n"
    "  --fake-sysfs DIR    also describe the terminal as an FTDI USB serial port ttyUSB0 in\n"
    "                      DIR/sys and DIR/dev, so that the kernel serial backend finds it with\n"
    "                      QUILLON_TTY_SYSFS_ROOT=DIR/sys QUILLON_TTY_DEV_ROOT=DIR/dev; removed "
    "at\n"
    "                      exit\n"
    "  --transcript FILE   write every frame received (TX) and every answer sent (RX) to FILE,\n"
    "                      a line each, as the simulated driver's QUILLON_SIM_TRANSCRIPT does\n";

// The rest of a frame must follow within this time, or the bytes so far are dropped, as a
// controller drops a frame cut off at the end of a transfer.
constexpr uint64_t kFrameGapUs = 100000;

struct Options {
    std::string serial = "QSC10001";
    std::string description = "Quillon SC";
    std::string fakeSysfs;
    std::string transcript;
};

uint64_t NowUs()
{
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    return uint64_t(duration_cast<microseconds>(steady_clock::now() - start).count());
}

// The files of a fake sysfs entry and device node, removed again in reverse order at exit.
class FakeSysfs {
public:
    bool Create(const fs::path& root, const Options& options, const std::string& terminal)
    {
        const fs::path device = root / "sys/devices/quillon-sim-pty/usb1/1-1";
        const fs::path interface = device / "1-1:1.0";
        const fs::path port = interface / "ttyUSB0";
        const fs::path cls = root / "sys/class/tty/ttyUSB0";
        const fs::path node = root / "dev/ttyUSB0";
        // The bus view, as the kernel's USB core and serial driver present the device.
        const fs::path bus = root / "sys/bus/usb/devices";
        const fs::path driver = root / "sys/bus/usb/drivers/ftdi_sio";
        std::error_code ec;
        for (const fs::path& dir : {port, cls, node.parent_path(), bus, driver}) {
            MakeDirs(dir);
        }
        bool ok = Write(device / "idVendor", "0403") && Write(device / "idProduct", "6001") &&
                  Write(device / "product", options.description) &&
                  Write(device / "serial", options.serial) && Write(device / "busnum", "1") &&
                  Write(device / "devnum", "2") && Write(interface / "bInterfaceNumber", "00") &&
                  Write(port / "latency_timer", "16");
        // Links left by a run that was killed are replaced.
        for (const fs::path& link : {cls / "device", node, bus / "1-1", interface / "driver"}) {
            fs::remove(link, ec);
        }
        ok = ok && Link(fs::relative(port, cls), cls / "device") && Link(terminal, node) &&
             Link(fs::relative(device, bus), bus / "1-1") &&
             Link(fs::relative(driver, interface), interface / "driver");
        return ok;
    }

    ~FakeSysfs()
    {
        std::error_code ec;
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) fs::remove(*it, ec);
    }

private:
    void MakeDirs(const fs::path& dir)
    {
        std::error_code ec;
        if (dir.empty() || fs::exists(dir, ec))
            return;
        MakeDirs(dir.parent_path());
        if (fs::create_directory(dir, ec))
            created_.push_back(dir);
    }
    bool Write(const fs::path& file, const std::string& text)
    {
        std::ofstream out(file);
        out << text << '\n';
        created_.push_back(file);
        return bool(out);
    }
    bool Link(const fs::path& target, const fs::path& at)
    {
        std::error_code ec;
        fs::create_symlink(target, at, ec);
        if (ec)
            return false;
        created_.push_back(at);
        return true;
    }

    std::vector<fs::path> created_;  // in creation order
};

// The controller on the terminal: assembles frames from the bytes as they come, and sends each
// answer byte when its time has come.
class Link {
public:
    Link(int master, const std::string& serial, FILE* transcript)
        : master_(master), controller_(serial), transcript_(transcript)
    {
    }

    void Receive(const uint8_t* bytes, size_t n, uint64_t now)
    {
        partial_.insert(partial_.end(), bytes, bytes + n);
        // Only whole frames go to the controller: a terminal may split one write in two.
        size_t complete = 0;
        for (size_t i = 0; i < partial_.size();) {
            const int len = quillon_sim::FrameLength(partial_.data() + i, partial_.size() - i);
            if (len > 0 && i + size_t(len) > partial_.size())
                break;
            const size_t step = len > 0 ? size_t(len) : 1;
            Log("TX", partial_.data() + i, step);
            i += step;
            complete = i;
        }
        if (complete > 0) {
            std::vector<Answer> out;
            controller_.Receive(partial_.data(), complete, now, out);
            Schedule(out);
            partial_.erase(partial_.begin(), partial_.begin() + std::ptrdiff_t(complete));
        }
        partialSince_ = now;
    }

    // Sends what is due; returns the time of the next event (UINT64_MAX: none).
    uint64_t Pump(uint64_t now)
    {
        if (!partial_.empty() && now - partialSince_ >= kFrameGapUs)
            partial_.clear();
        std::vector<Answer> out;
        controller_.RunUntil(now, out);
        Schedule(out);
        std::vector<uint8_t> due;
        while (!pending_.empty() && pending_.front().atUs <= now) {
            due.push_back(pending_.front().byte);
            pending_.pop_front();
        }
        // A terminal nobody reads fills up; what does not fit is lost, as on a serial line.
        if (!due.empty()) {
            const ssize_t sent = write(master_, due.data(), due.size());
            if (sent > 0)
                Log("RX", due.data(), size_t(sent));
            else if (errno != EAGAIN)
                std::fprintf(stderr, "quillon-sim-pty: write: %s\n", std::strerror(errno));
        }
        uint64_t next = UINT64_MAX;
        if (!pending_.empty())
            next = pending_.front().atUs;
        uint64_t run;
        if (controller_.NextEvent(&run))
            next = std::min(next, run);
        if (!partial_.empty())
            next = std::min(next, partialSince_ + kFrameGapUs);
        return next;
    }

private:
    // A line as the simulated driver writes one per transfer, so that one reader takes both.
    void Log(const char* direction, const uint8_t* bytes, size_t n)
    {
        if (!transcript_)
            return;
        const uint64_t us = NowUs();
        std::fprintf(transcript_, "%llu.%03llu %s %zu", (unsigned long long)(us / 1000),
                     (unsigned long long)(us % 1000), direction, n);
        for (size_t i = 0; i < n; ++i) std::fprintf(transcript_, " %02X", bytes[i]);
        std::fputc('\n', transcript_);
        std::fflush(transcript_);
    }

    void Schedule(const std::vector<Answer>& answers)
    {
        for (const Answer& a : answers) {
            auto at = std::upper_bound(pending_.begin(), pending_.end(), a.atUs,
                                       [](uint64_t t, const Answer& p) { return t < p.atUs; });
            pending_.insert(at, a);
        }
    }

    int master_;
    Controller controller_;
    std::deque<Answer> pending_;    // in time order
    std::vector<uint8_t> partial_;  // the start of a frame whose rest has not come yet
    uint64_t partialSince_ = 0;
    FILE* transcript_;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string* value = arg == "--serial"        ? &options.serial
                             : arg == "--description" ? &options.description
                             : arg == "--fake-sysfs"  ? &options.fakeSysfs
                             : arg == "--transcript"  ? &options.transcript
                                                      : nullptr;
        if (!value || i + 1 >= argc) {
            std::fprintf(stderr, "quillon-sim-pty: %s: %s\n%s", arg.c_str(),
                         value ? "a value must follow" : "unknown option", kUsage);
            return false;
        }
        *value = argv[++i];
    }
    return true;
}

void MakeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd, TCSANOW, &t);
}

int Fail(const char* what)
{
    std::fprintf(stderr, "quillon-sim-pty: %s: %s\n", what, std::strerror(errno));
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    Options options;
    if (!ParseOptions(argc, argv, options))
        return 2;

    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGHUP);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    const int signals = signalfd(-1, &stop, SFD_CLOEXEC);
    signal(SIGPIPE, SIG_IGN);

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return Fail("pseudo-terminal");
    char name[256];
    if (ptsname_r(master, name, sizeof name) != 0)
        return Fail("pseudo-terminal");
    // Held open for the program's life: between two clients the master then neither reports a
    // hang-up nor loses the terminal's raw settings.
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return Fail(name);
    MakeRaw(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    FILE* transcript = nullptr;
    if (!options.transcript.empty() && !(transcript = std::fopen(options.transcript.c_str(), "w")))
        return Fail(options.transcript.c_str());
    FakeSysfs fake;
    if (!options.fakeSysfs.empty()) {
        if (!fake.Create(options.fakeSysfs, options, name)) {
            std::fprintf(stderr, "quillon-sim-pty: cannot write the fake sysfs tree in %s\n",
                         options.fakeSysfs.c_str());
            return 1;
        }
        std::fprintf(stderr,
                     "quillon-sim-pty: serial backend: QUILLON_TTY_SYSFS_ROOT=%s/sys "
                     "QUILLON_TTY_DEV_ROOT=%s/dev\n",
                     options.fakeSysfs.c_str(), options.fakeSysfs.c_str());
    }
    std::printf("%s\n", name);
    std::fflush(stdout);

    Link link(master, options.serial, transcript);
    for (;;) {
        const uint64_t now = NowUs();
        const uint64_t next = link.Pump(now);
        timespec wait{};
        timespec* timeout = nullptr;
        if (next != UINT64_MAX) {
            const uint64_t us = next > now ? next - now : 0;
            wait.tv_sec = time_t(us / 1000000);
            wait.tv_nsec = long(us % 1000000) * 1000;
            timeout = &wait;
        }
        pollfd fds[2] = {{master, POLLIN, 0}, {signals, POLLIN, 0}};
        if (ppoll(fds, 2, timeout, nullptr) < 0 && errno != EINTR)
            return Fail("poll");
        if (fds[1].revents)
            break;
        if (fds[0].revents & POLLIN) {
            uint8_t buffer[4096];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0)
                link.Receive(buffer, size_t(n), NowUs());
        }
    }
    close(slave);
    close(master);
    if (transcript)
        std::fclose(transcript);
    return 0;
}

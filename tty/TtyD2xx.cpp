// The D2XX entry points over the kernel's serial ports. Each handle owns one open port; the
// handle table maps the opaque handle values (never reused) to ports that are shared with the
// calls in flight, so FT_Close from one thread cannot pull the descriptor from under a read in
// another: it wakes the read, and the port is closed when the last call has let go of it.

// First, so the exported functions are declared with default visibility.
#pragma GCC visibility push(default)
#include "TtyD2xx.h"
#pragma GCC visibility pop

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "KernelSerial.h"
#include "SerialPorts.h"

namespace quillon_tty {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kTextMax = 63;
// A UART link works while both ends are within a few per cent of each other.
constexpr uint32_t kBaudTolerancePercent = 2;

struct Port {
    Port(int fd, int wake, std::string node, std::string latencyFile)
        : fd(fd), wake(wake), node(std::move(node)), latencyFile(std::move(latencyFile))
    {
    }
    ~Port()
    {
        ioctl(fd, TIOCNXCL);
        close(fd);
        close(wake);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    const int fd;
    const int wake;  // eventfd, readable once the handle is closed
    const std::string node;
    const std::string latencyFile;
    std::atomic<uint32_t> readTimeoutMs{0};
    std::atomic<uint32_t> writeTimeoutMs{0};
    std::atomic<bool> gone{false};
    std::atomic<bool> closed{false};
    std::mutex readMutex;  // one reader and one writer at a time, each on its own
    std::mutex writeMutex;
};

struct Table {
    std::mutex mutex;
    std::map<uintptr_t, std::shared_ptr<Port>> ports;
    uintptr_t next = 1;
};

// Never destroyed: a worker thread of the program may still call in while the process exits.
// It lives in the library's own storage, not on the heap, so that an unload (which empties it,
// see CloseAll) leaves nothing allocated behind.
alignas(Table) unsigned char g_tableStorage[sizeof(Table)];

Table& T()
{
    static Table* table = new (g_tableStorage) Table;
    return *table;
}

// Ends a handle; the port closes when no call uses it any more. A call waiting on it wakes.
void End(std::shared_ptr<Port> port)
{
    port->closed = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(port->wake, &one, sizeof one);
}

// The program unloads the library without closing its handle: the ports are closed here, so that
// the next load can open them again.
__attribute__((destructor)) void CloseAll()
{
    std::map<uintptr_t, std::shared_ptr<Port>> ports;
    {
        std::lock_guard lock(T().mutex);
        ports.swap(T().ports);
    }
    for (auto& [id, port] : ports) End(port);
}

std::shared_ptr<Port> Find(void* h)
{
    Table& t = T();
    std::lock_guard lock(t.mutex);
    auto it = t.ports.find(reinterpret_cast<uintptr_t>(h));
    return it == t.ports.end() ? nullptr : it->second;
}

// Errors after which the port will not come back: unplugged, hung up, or the other end of a
// pseudo-terminal closed.
bool DeviceGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE || error == EBADF;
}

QTTY_FT_STATUS Lost(Port& port)
{
    port.gone = true;
    return QTTY_FT_IO_ERROR;
}

// An I/O error; the port counts as gone when the error says so.
QTTY_FT_STATUS Failed(Port& port, int error)
{
    if (DeviceGone(error))
        return Lost(port);
    return QTTY_FT_IO_ERROR;
}

void Say(const std::string& text)
{
    std::fprintf(stderr, "libquillon-tty: %s\n", text.c_str());
}

int RemainingMs(Clock::time_point deadline)
{
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    // Rounded up: waking before the deadline would only mean another wait.
    return int(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// Waits until the port has `events` or the handle is closed. Returns the port's revents, 0 at the
// time-out, -1 when the handle was closed meanwhile.
int Wait(Port& port, short events, int timeoutMs)
{
    pollfd fds[2] = {{port.fd, events, 0}, {port.wake, POLLIN, 0}};
    int n;
    do {
        n = poll(fds, 2, timeoutMs);
    } while (n < 0 && errno == EINTR);
    if (port.closed || fds[1].revents)
        return -1;
    if (n < 0)
        return POLLERR;
    return fds[0].revents;
}

void CopyText(char* dst, const std::string& src)
{
    const size_t n = std::min(src.size(), kTextMax);
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

std::string Describe(const SerialPort& port)
{
    return port.node + " (\"" + port.description + "\", serial \"" + port.serial + "\")";
}

// Raw 8N1 without flow control; the modem lines are ignored so that they cannot hang the port
// up. VMIN 1 makes a non-blocking read of an empty port fail with EAGAIN, so a read of 0 bytes
// means the port was hung up.
bool MakeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

QTTY_FT_STATUS OpenPort(const SerialPort& sp, void** handle)
{
    const int fd = open(sp.node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Say("cannot open " + Describe(sp) + ": " + std::strerror(errno));
        return QTTY_FT_DEVICE_NOT_OPENED;
    }
    // Another program writing to the same controller would interleave its frames with ours.
    if (ioctl(fd, TIOCEXCL) != 0 && errno == ENOTTY) {
        close(fd);
        Say("cannot open " + Describe(sp) + ": not a serial port");
        return QTTY_FT_DEVICE_NOT_OPENED;
    }
    if (!MakeRaw(fd)) {
        Say("cannot set up " + Describe(sp) + ": " + std::strerror(errno));
        ioctl(fd, TIOCNXCL);
        close(fd);
        return QTTY_FT_DEVICE_NOT_OPENED;
    }
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        Say("cannot open " + Describe(sp) + ": " + std::strerror(errno));
        ioctl(fd, TIOCNXCL);
        close(fd);
        return QTTY_FT_DEVICE_NOT_OPENED;
    }
    auto port = std::make_shared<Port>(fd, wake, sp.node, sp.latencyFile);
    Table& t = T();
    std::lock_guard lock(t.mutex);
    const uintptr_t id = 0x54540000u + (t.next++ << 4);
    t.ports[id] = std::move(port);
    *handle = reinterpret_cast<void*>(id);
    return QTTY_FT_OK;
}

// The handle's port, or the status to return: invalid handle, or I/O error once the device is
// gone.
struct Call {
    explicit Call(void* h) : port(Find(h))
    {
        if (!port)
            status = QTTY_FT_INVALID_HANDLE;
        else if (port->gone)
            status = QTTY_FT_IO_ERROR;
    }
    std::shared_ptr<Port> port;
    QTTY_FT_STATUS status = QTTY_FT_OK;
};

QTTY_FT_STATUS Flush(Port& port, int queue)
{
    if (tcflush(port.fd, queue) != 0 && DeviceGone(errno))
        return Lost(port);
    return QTTY_FT_OK;
}

}  // namespace
}  // namespace quillon_tty

using namespace quillon_tty;

extern "C" {

QTTY_FT_STATUS FT_Open(int deviceNumber, QTTY_FT_HANDLE* handle)
{
    if (!handle)
        return QTTY_FT_INVALID_PARAMETER;
    const std::vector<SerialPort> ports = ListFtdiPorts();
    if (deviceNumber < 0 || size_t(deviceNumber) >= ports.size())
        return QTTY_FT_DEVICE_NOT_FOUND;
    return OpenPort(ports[size_t(deviceNumber)], handle);
}

QTTY_FT_STATUS FT_OpenEx(void* arg, QTTY_DWORD flags, QTTY_FT_HANDLE* handle)
{
    const char* text = static_cast<const char*>(arg);
    if (!handle || !text)
        return QTTY_FT_INVALID_PARAMETER;
    if (flags != QTTY_FT_OPEN_BY_DESCRIPTION && flags != QTTY_FT_OPEN_BY_SERIAL_NUMBER)
        return QTTY_FT_INVALID_PARAMETER;
    for (const SerialPort& port : ListFtdiPorts()) {
        const std::string& key =
            flags == QTTY_FT_OPEN_BY_DESCRIPTION ? port.description : port.serial;
        if (key == text)
            return OpenPort(port, handle);
    }
    return QTTY_FT_DEVICE_NOT_FOUND;
}

QTTY_FT_STATUS FT_ListDevices(void* arg1, void* arg2, QTTY_DWORD flags)
{
    const std::vector<SerialPort> ports = ListFtdiPorts();
    if (flags & QTTY_FT_LIST_NUMBER_ONLY) {
        if (!arg1)
            return QTTY_FT_INVALID_PARAMETER;
        *static_cast<QTTY_DWORD*>(arg1) = QTTY_DWORD(ports.size());
        return QTTY_FT_OK;
    }
    const QTTY_DWORD by = flags & 3u;
    if (by != QTTY_FT_OPEN_BY_DESCRIPTION && by != QTTY_FT_OPEN_BY_SERIAL_NUMBER)
        return QTTY_FT_INVALID_PARAMETER;
    auto text = [&](size_t index) -> const std::string& {
        return by == QTTY_FT_OPEN_BY_DESCRIPTION ? ports[index].description : ports[index].serial;
    };
    if ((flags & ~3u) == QTTY_FT_LIST_ALL) {
        if (!arg1)
            return QTTY_FT_INVALID_PARAMETER;
        char** buffers = static_cast<char**>(arg1);
        QTTY_DWORD filled = 0;
        // Never past the caller's NULL entry.
        for (size_t i = 0; i < ports.size() && buffers[i]; ++i) {
            CopyText(buffers[i], text(i));
            ++filled;
        }
        if (arg2)
            *static_cast<QTTY_DWORD*>(arg2) = filled;
        return QTTY_FT_OK;
    }
    if ((flags & ~3u) == QTTY_FT_LIST_BY_INDEX) {
        const uintptr_t index = reinterpret_cast<uintptr_t>(arg1);
        if (!arg2)
            return QTTY_FT_INVALID_PARAMETER;
        if (index >= ports.size())
            return QTTY_FT_DEVICE_NOT_FOUND;
        CopyText(static_cast<char*>(arg2), text(index));
        return QTTY_FT_OK;
    }
    return QTTY_FT_INVALID_PARAMETER;
}

QTTY_FT_STATUS FT_Close(QTTY_FT_HANDLE h)
{
    std::shared_ptr<Port> port;
    {
        Table& t = T();
        std::lock_guard lock(t.mutex);
        auto it = t.ports.find(reinterpret_cast<uintptr_t>(h));
        if (it == t.ports.end())
            return QTTY_FT_INVALID_HANDLE;
        port = std::move(it->second);
        t.ports.erase(it);
    }
    End(std::move(port));
    return QTTY_FT_OK;
}

QTTY_FT_STATUS FT_Read(QTTY_FT_HANDLE h, void* buf, QTTY_DWORD toRead, QTTY_DWORD* got)
{
    if (got)
        *got = 0;
    Call call(h);
    if (call.status != QTTY_FT_OK)
        return call.status;
    if (!got || (!buf && toRead))
        return QTTY_FT_INVALID_PARAMETER;
    Port& port = *call.port;
    std::lock_guard lock(port.readMutex);
    const auto deadline = Clock::now() + std::chrono::milliseconds(port.readTimeoutMs.load());
    uint8_t* bytes = static_cast<uint8_t*>(buf);
    QTTY_DWORD n = 0;
    QTTY_FT_STATUS status = QTTY_FT_OK;
    bool hungUp = false;
    while (n < toRead) {
        const ssize_t r = read(port.fd, bytes + n, toRead - n);
        if (r > 0) {
            n += QTTY_DWORD(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r == 0 || hungUp) {
            status = Lost(port);
            break;
        }
        if (errno != EAGAIN) {
            status = Failed(port, errno);
            break;
        }
        const int timeout = RemainingMs(deadline);
        if (timeout == 0)
            break;
        const int revents = Wait(port, POLLIN, timeout);
        if (revents < 0) {
            status = QTTY_FT_INVALID_HANDLE;
            break;
        }
        // The next read tells what a hang-up left; if it still finds nothing, the port is gone.
        hungUp = revents & (POLLHUP | POLLERR | POLLNVAL);
    }
    *got = n;
    return status;
}

QTTY_FT_STATUS FT_Write(QTTY_FT_HANDLE h, void* buf, QTTY_DWORD toWrite, QTTY_DWORD* written)
{
    if (written)
        *written = 0;
    Call call(h);
    if (call.status != QTTY_FT_OK)
        return call.status;
    if (!buf && toWrite)
        return QTTY_FT_INVALID_PARAMETER;
    Port& port = *call.port;
    std::lock_guard lock(port.writeMutex);
    const auto deadline = Clock::now() + std::chrono::milliseconds(port.writeTimeoutMs.load());
    const uint8_t* bytes = static_cast<const uint8_t*>(buf);
    QTTY_DWORD n = 0;
    QTTY_FT_STATUS status = QTTY_FT_OK;
    bool hungUp = false;
    while (n < toWrite) {
        const ssize_t r = write(port.fd, bytes + n, toWrite - n);
        if (r > 0) {
            n += QTTY_DWORD(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (hungUp) {
            status = Lost(port);
            break;
        }
        if (r < 0 && errno != EAGAIN) {
            status = Failed(port, errno);
            break;
        }
        const int timeout = RemainingMs(deadline);
        if (timeout == 0)
            break;
        const int revents = Wait(port, POLLOUT, timeout);
        if (revents < 0) {
            status = QTTY_FT_INVALID_HANDLE;
            break;
        }
        hungUp = revents & (POLLHUP | POLLERR | POLLNVAL);
    }
    if (written)
        *written = n;
    return status;
}

QTTY_FT_STATUS FT_SetTimeouts(QTTY_FT_HANDLE h, QTTY_ULONG readMs, QTTY_ULONG writeMs)
{
    Call call(h);
    if (call.status != QTTY_FT_OK)
        return call.status;
    call.port->readTimeoutMs = readMs;
    call.port->writeTimeoutMs = writeMs;
    return QTTY_FT_OK;
}

QTTY_FT_STATUS FT_ResetDevice(QTTY_FT_HANDLE h)
{
    Call call(h);
    if (call.status != QTTY_FT_OK)
        return call.status;
    // What a serial port has of a reset: nothing left over in either direction.
    return Flush(*call.port, TCIOFLUSH);
}

QTTY_FT_STATUS FT_Purge(QTTY_FT_HANDLE h, QTTY_ULONG mask)
{
    Call call(h);
    if (call.status != QTTY_FT_OK)
        return call.status;
    const bool rx = mask & QTTY_FT_PURGE_RX;
    const bool tx = mask & QTTY_FT_PURGE_TX;
    if (!rx && !tx)
        return QTTY_FT_OK;
    return Flush(*call.port, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH);
}

QTTY_FT_STATUS FT_GetQueueStatus(QTTY_FT_HANDLE h, QTTY_DWORD* rxBytes)
{
    Call call(h);
    if (call.status != QTTY_FT_OK)
        return call.status;
    if (!rxBytes)
        return QTTY_FT_INVALID_PARAMETER;
    Port& port = *call.port;
    // An unplugged port still answers the queue length of a hung-up descriptor; poll tells.
    pollfd fd{port.fd, POLLIN, 0};
    if (poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return Lost(port);
    int queued = 0;
    if (ioctl(port.fd, FIONREAD, &queued) != 0)
        return Failed(port, errno);
    *rxBytes = QTTY_DWORD(std::max(queued, 0));
    return QTTY_FT_OK;
}

QTTY_FT_STATUS FT_SetBaudRate(QTTY_FT_HANDLE h, QTTY_ULONG baud)
{
    Call call(h);
    if (call.status != QTTY_FT_OK)
        return call.status;
    Port& port = *call.port;
    const std::string rate = std::to_string(baud) + " baud";
    if (baud == 0) {
        Say(port.node + " refuses " + rate);
        return QTTY_FT_INVALID_BAUD_RATE;
    }
    const BaudResult result = SetExactBaud(port.fd, baud);
    if (result.error != 0) {
        if (DeviceGone(result.error))
            return Lost(port);
        Say(port.node + " refuses " + rate + ": " + std::strerror(result.error));
        return QTTY_FT_INVALID_BAUD_RATE;
    }
    const uint64_t off = result.actual > baud ? result.actual - baud : baud - result.actual;
    if (off * 100 > uint64_t(baud) * kBaudTolerancePercent) {
        Say(port.node + " refuses " + rate + ": it set " + std::to_string(result.actual));
        return QTTY_FT_INVALID_BAUD_RATE;
    }
    return QTTY_FT_OK;
}

QTTY_FT_STATUS FT_SetLatencyTimer(QTTY_FT_HANDLE h, unsigned char ms)
{
    Call call(h);
    if (call.status != QTTY_FT_OK)
        return call.status;
    Port& port = *call.port;
    // Only the driver's latency is at stake, never the link: a port without either setting (a
    // pseudo-terminal) works as it is.
    const int file = open(port.latencyFile.c_str(), O_WRONLY | O_CLOEXEC);
    if (file >= 0) {
        const std::string text = std::to_string(ms) + "\n";
        const bool written = write(file, text.data(), text.size()) == ssize_t(text.size());
        close(file);
        if (written)
            return QTTY_FT_OK;
    }
    RequestLowLatency(port.fd);
    return QTTY_FT_OK;
}

QTTY_FT_STATUS FT_SetUSBParameters(QTTY_FT_HANDLE h, QTTY_ULONG inSize, QTTY_ULONG outSize)
{
    (void)inSize;
    (void)outSize;
    // The kernel driver chooses its own transfer sizes.
    Call call(h);
    return call.status;
}

}  // extern "C"

#include "RefusingPort.h"

#include <asm/termbits.h>
#include <dlfcn.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>

namespace {

std::atomic<RefusingPort::Mode> g_mode{RefusingPort::Mode::Accept};
std::atomic<uint32_t> g_readBack{0};

}  // namespace

RefusingPort::RefusingPort(Mode mode, uint32_t readBack)
{
    g_readBack = readBack;
    g_mode = mode;
}

RefusingPort::~RefusingPort()
{
    g_mode = Mode::Accept;
}

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    using Ioctl = int (*)(int, unsigned long, ...);
    static const Ioctl real = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
    const RefusingPort::Mode mode = g_mode;
    if (mode == RefusingPort::Mode::RejectSet && request == TCSETS2) {
        errno = EINVAL;
        return -1;
    }
    const int result = real(fd, request, arg);
    if (mode == RefusingPort::Mode::ReadBack && request == TCGETS2 && result == 0)
        static_cast<termios2*>(arg)->c_ospeed = g_readBack;
    return result;
}

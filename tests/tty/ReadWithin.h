#pragma once
// Reads from a terminal end until n bytes have come or the deadline passes, so no test waits
// longer than it must and none waits for ever.

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> ReadWithin(int fd, size_t n, std::chrono::milliseconds within)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + within;
    std::vector<uint8_t> out;
    while (out.size() < n) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, int(left.count())) != 1)
            break;
        uint8_t buffer[4096];
        const ssize_t r = read(fd, buffer, std::min(sizeof buffer, n - out.size()));
        if (r <= 0)
            break;
        out.insert(out.end(), buffer, buffer + r);
    }
    return out;
}

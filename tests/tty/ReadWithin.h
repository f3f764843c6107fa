#pragma once
// A test's end of a terminal. Reads stop when n bytes have come or the deadline passes, so no test
// waits longer than it must and none waits for ever.

#include <gtest/gtest.h>
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

class TermEnd {
public:
    explicit TermEnd(int fd = -1) : fd_(fd) {}
    ~TermEnd() { Close(); }
    TermEnd(const TermEnd&) = delete;
    TermEnd& operator=(const TermEnd&) = delete;

    int Fd() const { return fd_; }
    void Close()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }
    void Send(const std::vector<uint8_t>& b)
    {
        ASSERT_EQ(write(fd_, b.data(), b.size()), ssize_t(b.size()));
    }
    // What arrives within the time, up to n bytes.
    std::vector<uint8_t> Receive(size_t n,
                                 std::chrono::milliseconds within = std::chrono::seconds(5))
    {
        return ReadWithin(fd_, n, within);
    }

protected:
    int fd_;
};

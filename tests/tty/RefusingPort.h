#pragma once
// Makes every serial port of the process behave, while the object lives, like one whose driver
// refuses a rate: the test executable defines ioctl(), which the backend's calls reach before
// the C library's. Outside that time every call passes through unchanged.

#include <cstdint>

class RefusingPort {
public:
    enum class Mode {
        Accept,     // pass through
        RejectSet,  // TCSETS2 fails with EINVAL
        ReadBack,   // TCSETS2 succeeds, TCGETS2 then reports another output rate
    };
    RefusingPort(Mode mode, uint32_t readBack);
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
};

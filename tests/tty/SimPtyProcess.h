#pragma once
// quillon-sim-pty as a child of a test, its terminal's path read from its first line.

#include <string>
#include <vector>

#include "tty/ChildProcess.h"

class SimPtyProcess : public ChildProcess {
public:
    explicit SimPtyProcess(const std::vector<std::string>& options = {})
        : ChildProcess("quillon-sim-pty", options, false)
    {
        terminal_ = ReadLine(std::chrono::seconds(10)).value_or("");
    }

    // The terminal's path; empty when the program did not start.
    const std::string& Terminal() const { return terminal_; }

private:
    std::string terminal_;
};

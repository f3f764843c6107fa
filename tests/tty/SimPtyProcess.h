#pragma once

#include "tty/ChildProcess.h"

// quillon-sim-pty, its terminal's path read from its first line (empty when it did not start).
class SimPtyProcess : public ChildProcess {
public:
    explicit SimPtyProcess(const std::vector<std::string>& args = {})
        : ChildProcess("quillon-sim-pty", args, false),
          terminal_(ReadLine(std::chrono::seconds(10)).value_or(""))
    {
    }
    const std::string& Terminal() const { return terminal_; }

private:
    std::string terminal_;
};

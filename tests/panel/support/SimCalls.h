#pragma once
// What the panel asked of the simulated controller's driver, read from the simulator's call log.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QuillonSim.h"

inline std::string SimCallLog()
{
    std::string log(QuillonSim_CallLog(nullptr, 0) + 1, '\0');
    QuillonSim_CallLog(log.data(), log.size());
    log.resize(log.size() - 1);
    return log;
}

// The frames written since the log was last cleared, in hexadecimal; clears the log.
inline std::vector<std::string> SimWrites()
{
    std::vector<std::string> out;
    const std::string log = SimCallLog();
    for (std::size_t at = log.find("FT_Write("); at != std::string::npos;
         at = log.find("FT_Write(", at + 1)) {
        const std::size_t begin = at + 9;
        out.push_back(log.substr(begin, log.find(')', begin) - begin));
    }
    QuillonSim_ClearCallLog();
    return out;
}

// Ticks until the driver's queue of device 0 is empty, bounded so a fault cannot hang the test.
template <typename Tick>
void TickUntilQueueEmpty(Tick tick)
{
    for (int i = 0; i < 50; ++i) {
        tick();
        if (QuillonSim_Queued(0) == 0)
            return;
    }
    ADD_FAILURE() << "the queue never emptied";
}

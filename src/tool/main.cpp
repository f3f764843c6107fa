#include <poll.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <iostream>
#include <string>

#include "tool/Tool.h"

// QUILLON_INSTALL_LIBDIR and QUILLON_RELATIVE_LIBDIR come from the build.

namespace {

// Standard input, one line at a time, waiting at most waitMs for the next.
LineStatus ReadStdinLine(std::string& line, unsigned waitMs)
{
    static std::string pending;
    static bool ended = false;
    for (;;) {
        if (const std::size_t end = pending.find('\n'); end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return LineStatus::Line;
        }
        if (ended) {
            if (pending.empty())
                return LineStatus::End;
            line.swap(pending);
            pending.clear();
            return LineStatus::Line;
        }
        pollfd fd{0, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(waitMs)) <= 0)
            return LineStatus::None;
        char buffer[4096];
        const ssize_t got = read(0, buffer, sizeof buffer);
        if (got <= 0)
            ended = true;
        else
            pending.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // The library folder as seen from the executable first, as the panel looks for it.
    const ToolPlaces places = InstalledPlaces(QUILLON_RELATIVE_LIBDIR, QUILLON_INSTALL_LIBDIR);
    std::signal(SIGINT, [](int) { InterruptQuillonctl(); });
    return RunQuillonctl({argv + 1, argv + argc}, std::cout, std::cerr, places, ReadStdinLine);
}

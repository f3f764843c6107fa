#include <unistd.h>

#include <climits>
#include <csignal>
#include <iostream>
#include <string>

#include "tool/Tool.h"

#ifndef QUILLON_INSTALL_LIBDIR
#define QUILLON_INSTALL_LIBDIR ""
#endif
#ifndef QUILLON_RELATIVE_LIBDIR
#define QUILLON_RELATIVE_LIBDIR ""
#endif

int main(int argc, char** argv)
{
    ToolPlaces places;
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        const std::string path(self, static_cast<std::size_t>(length));
        places.executableDir = path.substr(0, path.rfind('/'));
    }
    // The library folder as seen from the executable first, as the panel looks for it.
    if (*QUILLON_RELATIVE_LIBDIR && !places.executableDir.empty())
        places.installLibDirs.push_back(places.executableDir + "/" + QUILLON_RELATIVE_LIBDIR);
    places.installLibDirs.push_back(QUILLON_INSTALL_LIBDIR);
    std::signal(SIGINT, [](int) { InterruptQuillonctl(); });
    return RunQuillonctl({argv + 1, argv + argc}, std::cout, std::cerr, places);
}

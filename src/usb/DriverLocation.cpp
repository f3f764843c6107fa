#include "usb/DriverLocation.h"

#include <algorithm>

namespace {

std::string InFolder(const std::string& folder, const char* name)
{
    if (folder.back() == '/') {
        return folder + name;
    }
    return folder + "/" + name;
}

void AddInFolder(std::vector<std::string>& candidates, const std::string& folder, const char* name)
{
    if (folder.empty()) {
        return;
    }
    std::string path = InFolder(folder, name);
    if (std::find(candidates.begin(), candidates.end(), path) == candidates.end()) {
        candidates.push_back(std::move(path));
    }
}

}  // namespace

std::vector<std::string> DriverCandidates(const std::string& driverOption, bool simulate,
                                          const std::string& executableDir,
                                          const std::string& installLibDir)
{
    std::vector<std::string> candidates;
    if (!driverOption.empty()) {
        candidates.push_back(driverOption);
    } else if (simulate) {
        AddInFolder(candidates, executableDir, kSimulatorLibraryName);
        AddInFolder(candidates, installLibDir, kSimulatorLibraryName);
    } else {
        AddInFolder(candidates, executableDir, kD2xxLibraryName);
        // No slash: the system loader searches its own paths.
        candidates.push_back(kD2xxLibraryName);
    }
    return candidates;
}

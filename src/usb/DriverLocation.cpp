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

void Add(std::vector<std::string>& candidates, std::string path)
{
    if (std::find(candidates.begin(), candidates.end(), path) == candidates.end()) {
        candidates.push_back(std::move(path));
    }
}

void AddInFolder(std::vector<std::string>& candidates, const std::string& folder, const char* name)
{
    if (!folder.empty()) {
        Add(candidates, InFolder(folder, name));
    }
}

void AddD2xx(std::vector<std::string>& candidates, const std::string& executableDir)
{
    AddInFolder(candidates, executableDir, kD2xxLibraryName);
    // No slash: the system loader searches its own paths.
    Add(candidates, kD2xxLibraryName);
}

void AddBundled(std::vector<std::string>& candidates, const char* name,
                const std::string& executableDir, const std::vector<std::string>& installLibDirs)
{
    AddInFolder(candidates, executableDir, name);
    for (const std::string& folder : installLibDirs) {
        AddInFolder(candidates, folder, name);
    }
}

}  // namespace

std::vector<std::string> DriverCandidates(const std::string& driverOption, bool simulate,
                                          const std::string& executableDir,
                                          const std::vector<std::string>& installLibDirs)
{
    std::vector<std::string> candidates;
    if (driverOption == "tty") {
        AddBundled(candidates, kSerialBackendLibraryName, executableDir, installLibDirs);
    } else if (driverOption == "sim" || (driverOption.empty() && simulate)) {
        AddBundled(candidates, kSimulatorLibraryName, executableDir, installLibDirs);
    } else if (driverOption == "d2xx" || driverOption == "ftd2xx") {
        AddD2xx(candidates, executableDir);
    } else if (!driverOption.empty()) {
        candidates.push_back(driverOption);
    } else {
        AddD2xx(candidates, executableDir);
        AddBundled(candidates, kSerialBackendLibraryName, executableDir, installLibDirs);
    }
    return candidates;
}

bool SimulatorChosen(const std::string& driverOption, bool simulate)
{
    return simulate || driverOption == "sim";
}

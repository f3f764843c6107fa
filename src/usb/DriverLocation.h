#pragma once
// Which driver library the program tries to load, in order.

#include <string>
#include <vector>

inline constexpr const char* kD2xxLibraryName = "libftd2xx.so";
inline constexpr const char* kSimulatorLibraryName = "libquillon-sim.so";

// driverOption: the --driver path, empty when not given; it wins over simulate, and an explicit
// choice is never replaced by another library behind the operator's back.
// simulate: --simulate, the bundled simulator beside the executable (build tree), then in the
// install library folder.
// Otherwise: libftd2xx.so from the executable's folder, then the plain name for the system loader.
// Empty folders are skipped.
std::vector<std::string> DriverCandidates(const std::string& driverOption, bool simulate,
                                          const std::string& executableDir,
                                          const std::string& installLibDir);

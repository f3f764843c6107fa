#pragma once
// Which driver library the program tries to load, in order.

#include <string>
#include <vector>

inline constexpr const char* kD2xxLibraryName = "libftd2xx.so";
inline constexpr const char* kSerialBackendLibraryName = "libquillon-tty.so";
inline constexpr const char* kSimulatorLibraryName = "libquillon-sim.so";

// The names --driver takes instead of a path, with what each loads (for --help and errors).
struct DriverShortName {
    const char* name;
    const char* meaning;
};
inline constexpr DriverShortName kDriverShortNames[] = {
    {"tty", "the bundled serial backend for the kernel's ttyUSB ports"},
    {"sim", "the bundled simulated controller, as --simulate"},
    {"d2xx", "the D2XX library libftd2xx.so, beside the program or the system's"},
    {"ftd2xx", "the same as d2xx"},
};

// driverOption: the --driver value, empty when not given. A short name picks a known library;
// anything else is a path (a name without a slash is left to the system loader). An explicit
// choice wins over simulate and is never replaced by another library behind the operator's back.
// simulate (or "sim"): the bundled simulator beside the executable (build tree), then in the
// install library folders, in the order given.
// Otherwise: libftd2xx.so from the executable's folder, then the plain name for the system
// loader, then the bundled serial backend beside the executable and in the install library
// folders, so a machine without the proprietary library still reaches its ttyUSB devices.
// Empty folders are skipped; a folder given twice is tried once.
std::vector<std::string> DriverCandidates(const std::string& driverOption, bool simulate,
                                          const std::string& executableDir,
                                          const std::vector<std::string>& installLibDirs);

// Whether the run is a demonstration (--simulate, or --driver sim), which keeps its own profile so
// that it never touches a real user's.
bool SimulatorChosen(const std::string& driverOption, bool simulate);

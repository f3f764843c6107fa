#include "SerialPorts.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace fs = std::filesystem;

namespace quillon_tty {
namespace {

constexpr const char* kFtdiVendor = "0403";
// From the port's device up to its USB device: port, interface, USB device, with room to spare.
constexpr int kMaxLevels = 6;

std::string Env(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

// A sysfs attribute's text without its line end; empty when it cannot be read.
std::string Attribute(const fs::path& file)
{
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return text;
}

bool Exists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(p, ec);
}

// ttyUSB10 -> ("ttyUSB", 10), so that ttyUSB2 comes first.
std::pair<std::string, unsigned long> NameKey(const std::string& name)
{
    size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    const std::string number = name.substr(digits).substr(0, 9);
    return {name.substr(0, digits), number.empty() ? 0 : std::stoul(number)};
}

// Fills the USB fields from the first ancestor of the port's device that is a USB device;
// false when there is none (not a USB port) or it is not an FTDI bridge.
bool ReadUsbDevice(const fs::path& portDevice, const fs::path& top, SerialPort& port)
{
    fs::path child;
    fs::path dir = portDevice;
    for (int level = 0; level < kMaxLevels; ++level) {
        if (Exists(dir / "idVendor")) {
            std::string vendor = Attribute(dir / "idVendor");
            std::transform(vendor.begin(), vendor.end(), vendor.begin(), ::tolower);
            if (vendor != kFtdiVendor)
                return false;
            port.description = Attribute(dir / "product");
            port.serial = Attribute(dir / "serial");
            if (!child.empty()) {
                const std::string number = Attribute(child / "bInterfaceNumber");
                port.interfaceNumber = int(std::strtol(number.c_str(), nullptr, 16));
            }
            return true;
        }
        if (dir == top || !dir.has_parent_path() || dir.parent_path() == dir)
            return false;
        child = dir;
        dir = dir.parent_path();
    }
    return false;
}

}  // namespace

std::string SysfsRoot()
{
    return Env("QUILLON_TTY_SYSFS_ROOT", "/sys");
}

std::string DevRoot()
{
    return Env("QUILLON_TTY_DEV_ROOT", "/dev");
}

std::vector<SerialPort> ListFtdiPorts()
{
    std::vector<SerialPort> ports;
    const fs::path sysfs = SysfsRoot();
    const fs::path dev = DevRoot();
    std::error_code ec;
    const fs::path top = fs::weakly_canonical(sysfs, ec);
    fs::directory_iterator it(sysfs / "class" / "tty", ec);
    if (ec)
        return ports;
    for (const fs::directory_entry& entry : it) {
        const fs::path link = entry.path() / "device";
        std::error_code linkError;
        const fs::path portDevice = fs::canonical(link, linkError);
        if (linkError)
            continue;  // a virtual terminal: no device behind it
        SerialPort port;
        port.name = entry.path().filename().string();
        if (!ReadUsbDevice(portDevice, top, port))
            continue;
        port.node = (dev / port.name).string();
        port.latencyFile = (link / "latency_timer").string();
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPort& a, const SerialPort& b) {
        return std::make_tuple(a.serial, a.interfaceNumber, NameKey(a.name)) <
               std::make_tuple(b.serial, b.interfaceNumber, NameKey(b.name));
    });
    return ports;
}

}  // namespace quillon_tty

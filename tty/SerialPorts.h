#pragma once
// The FTDI USB serial ports the kernel serves, as sysfs describes them.

#include <string>
#include <vector>

namespace quillon_tty {

struct SerialPort {
    std::string name;         // ttyUSB0
    std::string description;  // USB product string
    std::string serial;       // USB serial string
    int interfaceNumber = 0;  // USB interface of the port (multi-port bridges)
    std::string node;         // <dev root>/ttyUSB0
    std::string latencyFile;  // the port's latency_timer attribute (may not exist)
};

// Where sysfs and the device nodes are: QUILLON_TTY_SYSFS_ROOT / QUILLON_TTY_DEV_ROOT, or the
// system's.
std::string SysfsRoot();
std::string DevRoot();

// Every port whose USB device has idVendor 0403, in device-number order: serial number, then
// interface, then port name with its number compared as a number.
std::vector<SerialPort> ListFtdiPorts();

}  // namespace quillon_tty

#pragma once
// A throw-away sysfs and /dev laid out as the kernel lays them out for FTDI bridges: the device
// directory under sys/devices, its symlinks in sys/bus/usb/devices (device and interfaces), an
// interface's driver link and its ttyUSB port, and the nodes in dev/.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "usb/Diagnosis.h"

class FakeUsbTree {
public:
    using Path = std::filesystem::path;

    FakeUsbTree()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-usb-XXXXXX");
        m_top = ::mkdtemp(pattern.data());
        roots = {(m_top / "sys").string(), (m_top / "dev").string()};
        std::filesystem::create_directories(Sys("bus/usb/drivers/ftdi_sio"));
        std::filesystem::create_directories(Sys("bus/usb/devices"));
        std::filesystem::create_directories(roots.dev);
        // Root hubs are listed too and are not FTDI devices.
        AddUsbDevice("usb1", "1d6b", "0002", "xHCI Host Controller", "0000:00:14.0", 1, 1);
    }
    ~FakeUsbTree() { std::filesystem::remove_all(m_top); }

    // An FTDI bridge with one interface; driver "" leaves it unbound, tty "" gives it no port.
    void AddFtdi(const std::string& name, const std::string& product, const std::string& serial,
                 const std::string& driver, const std::string& tty, int bus = 1, int dev = 4)
    {
        const Path iface = AddUsbDevice(name, "0403", "6001", product, serial, bus, dev) /
                           (name + ":1.0");
        std::filesystem::create_directories(tty.empty() ? iface : iface / tty / "tty" / tty);
        std::filesystem::create_directory_symlink(iface, Sys("bus/usb/devices") / (name + ":1.0"));
        if (!driver.empty()) {
            std::filesystem::create_directories(Sys("bus/usb/drivers") / driver);
            std::filesystem::create_directory_symlink(Sys("bus/usb/drivers") / driver,
                                                      iface / "driver");
        }
    }

    // A device node with the given mode, owned by whoever runs the test.
    std::string MakeNode(const std::string& relative, mode_t mode)
    {
        const Path node = Path(roots.dev) / relative;
        std::filesystem::create_directories(node.parent_path());
        std::ofstream(node).put('\0');
        ::chmod(node.c_str(), mode);
        return node.string();
    }

    SystemRoots roots;

private:
    Path Sys(const std::string& relative) const { return Path(roots.sysfs) / relative; }
    Path AddUsbDevice(const std::string& name, const std::string& vendor,
                      const std::string& product, const std::string& productString,
                      const std::string& serial, int bus, int dev)
    {
        const Path dir = Sys("devices/pci0000:00") / name;
        std::filesystem::create_directories(dir);
        for (const auto& [file, text] : {std::pair<const char*, std::string>{"idVendor", vendor},
                                         {"idProduct", product}, {"product", productString},
                                         {"serial", serial}, {"busnum", std::to_string(bus)},
                                         {"devnum", std::to_string(dev)}})
            std::ofstream(dir / file) << text << '\n';
        std::filesystem::create_directory_symlink(dir, Sys("bus/usb/devices") / name);
        return dir;
    }

    Path m_top;
};

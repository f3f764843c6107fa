#pragma once
// A temporary folder standing for /sys and /dev while the object lives (QUILLON_TTY_SYSFS_ROOT,
// QUILLON_TTY_DEV_ROOT), with ports laid out as the kernel lays out USB serial ports.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class FakeSysfs {
public:
    using path = std::filesystem::path;
    FakeSysfs()
    {
        std::string pattern = std::filesystem::temp_directory_path() / "quillon-tty-XXXXXX";
        root_ = mkdtemp(pattern.data()) ? pattern : "";
        std::filesystem::create_directories(Sys() / "class/tty");
        std::filesystem::create_directories(Dev());
        setenv("QUILLON_TTY_SYSFS_ROOT", Sys().c_str(), 1);
        setenv("QUILLON_TTY_DEV_ROOT", Dev().c_str(), 1);
    }
    ~FakeSysfs()
    {
        unsetenv("QUILLON_TTY_SYSFS_ROOT");
        unsetenv("QUILLON_TTY_DEV_ROOT");
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    const path& Root() const { return root_; }
    path Sys() const { return root_ / "sys"; }
    path Dev() const { return root_ / "dev"; }

    struct Usb {
        std::string vendor = "0403", product = "Quillon SC", serial = "QSC10001";
        int interfaceNumber = 0;
        bool latencyFile = true;
    };
    // A USB serial port: <usbDevice>/<usbDevice>:1.<interface>/<name>, its class entry and its
    // node, a symbolic link to `node` (which need not exist). Ports of one USB device share it.
    void AddUsbPort(const std::string& name, const std::string& usbDevice, const Usb& usb,
                    const std::string& node)
    {
        const path device = Sys() / "devices/pci0000:00/usb1" / usbDevice;
        const path interface = device / (usbDevice + ":1." + std::to_string(usb.interfaceNumber));
        AddPort(name, interface / name);
        Write(device / "idVendor", usb.vendor);
        Write(device / "product", usb.product);
        Write(device / "serial", usb.serial);
        Write(interface / "bInterfaceNumber", "0" + std::to_string(usb.interfaceNumber));
        if (usb.latencyFile)
            Write(interface / name / "latency_timer", "16");
        std::filesystem::create_symlink(node, Dev() / name);
    }
    // A port that is no USB device (a UART on the main board).
    void AddPlatformPort(const std::string& name)
    {
        AddPort(name, Sys() / "devices/platform/serial8250/tty" / name);
    }
    // A terminal without a device (a virtual console).
    void AddVirtualTerminal(const std::string& name)
    {
        std::filesystem::create_directories(Sys() / "class/tty" / name);
    }
    std::string LatencyOf(const std::string& name) const
    {
        std::string text;
        std::getline(std::ifstream(Sys() / "class/tty" / name / "device/latency_timer"), text);
        return text;
    }

private:
    static void Write(const path& file, const std::string& text)
    {
        std::ofstream(file) << text << '\n';
    }
    void AddPort(const std::string& name, const path& port)
    {
        const path entry = Sys() / "class/tty" / name;
        std::filesystem::create_directories(port);
        std::filesystem::create_directories(entry);
        std::filesystem::create_symlink(std::filesystem::relative(port, entry), entry / "device");
    }

    path root_;
};

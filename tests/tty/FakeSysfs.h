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
    FakeSysfs()
    {
        std::string pattern = std::filesystem::temp_directory_path() / "quillon-tty-XXXXXX";
        if (mkdtemp(pattern.data()))
            root_ = pattern;
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

    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path Sys() const { return root_ / "sys"; }
    std::filesystem::path Dev() const { return root_ / "dev"; }

    struct Usb {
        std::string vendor = "0403";
        std::string product = "Quillon SC";
        std::string serial = "QSC10001";
        int interfaceNumber = 0;
        bool latencyFile = true;
    };

    // A USB serial port: <usbDevice>/<usbDevice>:1.<interface>/<name>, its class entry and its
    // node, a symbolic link to `node` (which need not exist). Ports of one USB device share it.
    void AddUsbPort(const std::string& name, const std::string& usbDevice, const Usb& usb,
                    const std::string& node)
    {
        const auto device = Sys() / "devices/pci0000:00/usb1" / usbDevice;
        const auto interface = device / (usbDevice + ":1." + std::to_string(usb.interfaceNumber));
        const auto port = interface / name;
        std::filesystem::create_directories(port);
        Write(device / "idVendor", usb.vendor);
        Write(device / "product", usb.product);
        Write(device / "serial", usb.serial);
        Write(interface / "bInterfaceNumber", "0" + std::to_string(usb.interfaceNumber));
        if (usb.latencyFile)
            Write(port / "latency_timer", "16");
        AddClassEntry(name, port);
        std::filesystem::create_symlink(node, Dev() / name);
    }

    // A port that is no USB device (a UART on the main board).
    void AddPlatformPort(const std::string& name)
    {
        const auto port = Sys() / "devices/platform/serial8250/tty" / name;
        std::filesystem::create_directories(port);
        AddClassEntry(name, port);
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
    static void Write(const std::filesystem::path& file, const std::string& text)
    {
        std::ofstream(file) << text << '\n';
    }
    void AddClassEntry(const std::string& name, const std::filesystem::path& port)
    {
        const auto entry = Sys() / "class/tty" / name;
        std::filesystem::create_directories(entry);
        std::filesystem::create_symlink(std::filesystem::relative(port, entry), entry / "device");
    }

    std::filesystem::path root_;
};

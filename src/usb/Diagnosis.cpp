#include "usb/Diagnosis.h"

#include <dlfcn.h>
#include <grp.h>
#include <link.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr const char* kFtdiVendorId = "0403";
constexpr const char* kSerialDriver = "ftdi_sio";
constexpr const char* kEntryPoints[] = {
    "FT_Open",        "FT_OpenEx",          "FT_ListDevices",     "FT_Close", "FT_Write",
    "FT_Read",        "FT_SetTimeouts",     "FT_ResetDevice",     "FT_Purge", "FT_GetQueueStatus",
    "FT_SetBaudRate", "FT_SetLatencyTimer", "FT_SetUSBParameters"};

// A sysfs attribute's first line; empty when it is absent.
std::string ReadAttribute(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

std::vector<std::string> SortedNames(const fs::path& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string TtyOfInterface(const fs::path& iface)
{
    // usb-serial puts its port directly under the interface; other tty drivers under tty/.
    for (const std::string& name : SortedNames(iface)) {
        if (StartsWith(name, "ttyUSB")) {
            return name;
        }
    }
    const std::vector<std::string> ttys = SortedNames(iface / "tty");
    return ttys.empty() ? std::string() : ttys.front();
}

UsbInterface ReadInterface(const fs::path& iface)
{
    UsbInterface result;
    result.name = iface.filename().string();
    std::error_code ec;
    const fs::path driver = fs::read_symlink(iface / "driver", ec);
    if (!ec) {
        result.driver = driver.filename().string();
    }
    result.tty = TtyOfInterface(iface);
    return result;
}

std::string ModeText(mode_t mode)
{
    std::string text = S_ISCHR(mode) ? "c" : (S_ISDIR(mode) ? "d" : (S_ISREG(mode) ? "-" : "?"));
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) {
        text += (mode & (0400 >> bit)) ? letters[bit] : '-';
    }
    return text;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// What the diagnosis knows of one device node.
struct NodeCheck {
    std::string path;
    bool exists = false;
    NodeInfo info;
    NodeAccess judged = NodeAccess::Allowed;
    bool mayOpen = false;
    // The mode bits allow it but the system refuses (an access control list or security module).
    bool refusedAnyway = false;
};

NodeCheck CheckNode(const std::string& path, const DiagnosisHost& host)
{
    NodeCheck check;
    check.path = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return check;
    }
    check.exists = true;
    check.info = {st.st_uid, st.st_gid, st.st_mode};
    check.judged = JudgeNodeAccess(check.info, host.user);
    check.mayOpen = check.judged == NodeAccess::Allowed;
    if (host.mayReadWrite) {
        const bool granted = host.mayReadWrite(path);
        check.refusedAnyway = check.mayOpen && !granted;
        check.mayOpen = granted;
    }
    return check;
}

std::string OwnerText(const NodeCheck& node, const DiagnosisHost& host)
{
    return ModeText(node.info.mode) + " " + host.nameOfUser(node.info.uid) + " " +
           host.nameOfGroup(node.info.gid);
}

std::string TtyNode(const SystemRoots& roots, const UsbInterface& iface)
{
    return roots.dev + "/" + iface.tty;
}

std::string RawUsbNode(const SystemRoots& roots, const FtdiDevice& device)
{
    char name[32];
    std::snprintf(name, sizeof name, "/bus/usb/%03d/%03d", device.busNumber, device.deviceNumber);
    return roots.dev + name;
}

std::string UdevRule(const char* match, const FtdiDevice& device)
{
    const bool tty = std::string(match) == "tty";
    const char* attr = tty ? "ATTRS" : "ATTR";
    return std::string("SUBSYSTEM==\"") + match + "\", " + attr + "{idVendor}==\"0403\", " + attr +
           "{idProduct}==\"" + device.productId + "\", TAG+=\"uaccess\"";
}

void RuleFix(std::ostream& out, const char* match, const FtdiDevice& device, const char* lead)
{
    out << lead << "a udev rule giving the logged-in user access: put the line\n"
        << "             " << UdevRule(match, device) << "\n"
        << "           in /etc/udev/rules.d/70-quillon.rules, run\n"
        << "           sudo udevadm control --reload-rules && sudo udevadm trigger, and plug the\n"
        << "           device in again (for a machine without a desktop login use MODE=\"0660\", "
           "GROUP=\""
        << (std::string(match) == "tty" ? "dialout" : "plugdev") << "\"\n"
        << "           instead of TAG+=\"uaccess\").\n";
}

// Who may open the node, and the fix when this user may not.
void ExplainNode(std::ostream& out, const NodeCheck& node, const char* ruleMatch,
                 const FtdiDevice& device, const DiagnosisHost& host)
{
    if (!node.exists) {
        out << "      " << node.path << " does not exist (udev has not made the node).\n";
        return;
    }
    out << "      " << node.path << ": " << OwnerText(node, host) << "\n";
    if (node.mayOpen) {
        out << "      you (" << host.userName << ") may open it.\n";
        return;
    }
    if (node.refusedAnyway) {
        out << "      you (" << host.userName
            << ") may not open it: its mode allows it, but the system refuses (an access control "
               "list or a security module).\n";
        RuleFix(out, ruleMatch, device, "      fix: ");
        return;
    }
    out << "      you (" << host.userName << ") may not open it (permission denied).\n";
    if (node.judged == NodeAccess::JoinGroup) {
        const std::string group = host.nameOfGroup(node.info.gid);
        if (host.listedInGroup && host.listedInGroup(node.info.gid)) {
            out << "      fix: you are in group " << group
                << ", but this login session started before you were added: log out and back "
                   "in.\n";
            return;
        }
        out << "      fix: join group " << group << ": sudo usermod -aG " << group << " "
            << host.userName << ", then log out and back in;\n";
        RuleFix(out, ruleMatch, device, "      or   ");
        return;
    }
    RuleFix(out, ruleMatch, device, "      fix: ");
}

bool HeldBySerialDriver(const FtdiDevice& device)
{
    return std::any_of(device.interfaces.begin(), device.interfaces.end(),
                       [](const UsbInterface& i) { return i.driver == kSerialDriver; });
}

void DescribeDevice(std::ostream& out, const FtdiDevice& device, const SystemRoots& roots,
                    const DiagnosisHost& host, std::optional<DriverKind> inUse)
{
    out << "  " << device.name << ": vendor 0403, product " << device.productId << ", "
        << (device.product.empty() ? "no product string" : Quoted(device.product))
        << ", serial number "
        << (device.serial.empty() ? std::string("none") : Quoted(device.serial)) << "\n";
    if (device.interfaces.empty()) {
        out << "    no interfaces (the device is not configured)\n";
    }
    for (const UsbInterface& iface : device.interfaces) {
        out << "    interface " << iface.name << ": "
            << (iface.driver.empty() ? "no kernel driver" : "held by " + iface.driver);
        if (!iface.tty.empty()) {
            out << ", serial port " << TtyNode(roots, iface) << "\n";
            ExplainNode(out, CheckNode(TtyNode(roots, iface), host), "tty", device, host);
        } else {
            out << ", no serial port\n";
            if (inUse == DriverKind::D2xx) {
                continue;
            }
            if (iface.driver.empty()) {
                out << "      fix for the serial backend: sudo modprobe ftdi_sio; if it does not "
                       "take this product id:\n"
                    << "           echo 0403 " << device.productId
                    << " | sudo tee /sys/bus/usb-serial/drivers/ftdi_sio/new_id\n";
            } else if (iface.driver == "usbfs") {
                out << "      a program using the raw USB device (a D2XX library) has it open; "
                       "close that program.\n";
            }
        }
    }
    if (inUse != DriverKind::D2xx) {
        return;
    }
    // The D2XX library talks to the raw USB device, which ftdi_sio must not hold.
    for (const UsbInterface& iface : device.interfaces) {
        if (iface.driver == kSerialDriver) {
            out << "    D2XX library: cannot open the device while ftdi_sio holds " << iface.name
                << ".\n"
                << "      fix: use the bundled serial backend (--driver tty), or unbind it:\n"
                << "           echo -n " << iface.name
                << " | sudo tee /sys/bus/usb/drivers/ftdi_sio/unbind\n";
        }
    }
    out << "    D2XX library: USB node\n";
    ExplainNode(out, CheckNode(RawUsbNode(roots, device), host), "usb", device, host);
}

std::string LoaderText(const std::string& candidate)
{
    return candidate.find('/') == std::string::npos ? candidate + " (the system loader's search)"
                                                    : candidate;
}

const char* KindText(DriverKind kind)
{
    switch (kind) {
        case DriverKind::SerialBackend:
            return "the bundled serial backend";
        case DriverKind::Simulator:
            return "the bundled simulated controller";
        case DriverKind::D2xx:
            break;
    }
    return "a D2XX library";
}

std::string NameOfUser(uid_t uid)
{
    if (const passwd* pw = ::getpwuid(uid)) {
        return pw->pw_name;
    }
    return std::to_string(uid);
}

std::string NameOfGroup(gid_t gid)
{
    if (const group* gr = ::getgrgid(gid)) {
        return gr->gr_name;
    }
    return std::to_string(gid);
}

}  // namespace

SystemRoots SystemRoots::FromEnvironment()
{
    SystemRoots roots;
    if (const char* sysfs = std::getenv("QUILLON_TTY_SYSFS_ROOT"); sysfs && *sysfs) {
        roots.sysfs = sysfs;
    }
    if (const char* dev = std::getenv("QUILLON_TTY_DEV_ROOT"); dev && *dev) {
        roots.dev = dev;
    }
    return roots;
}

DriverKind KindOfLibrary(const std::string& path)
{
    const std::string name = fs::path(path).filename().string();
    if (StartsWith(name, "libquillon-sim")) {
        return DriverKind::Simulator;
    }
    if (StartsWith(name, "libquillon-tty")) {
        return DriverKind::SerialBackend;
    }
    return DriverKind::D2xx;
}

UsbScan ScanFtdiDevices(const SystemRoots& roots)
{
    UsbScan scan;
    const fs::path dir = fs::path(roots.sysfs) / "bus/usb/devices";
    scan.directory = dir.string();
    std::error_code ec;
    scan.busVisible = fs::is_directory(dir, ec);
    for (const std::string& name : SortedNames(dir)) {
        // Interfaces ("1-1:1.0") are listed beside their devices; they are read from the device.
        if (name.find(':') != std::string::npos ||
            ReadAttribute(dir / name / "idVendor") != kFtdiVendorId) {
            continue;
        }
        FtdiDevice device;
        device.name = name;
        device.productId = ReadAttribute(dir / name / "idProduct");
        device.product = ReadAttribute(dir / name / "product");
        device.serial = ReadAttribute(dir / name / "serial");
        device.busNumber = std::atoi(ReadAttribute(dir / name / "busnum").c_str());
        device.deviceNumber = std::atoi(ReadAttribute(dir / name / "devnum").c_str());
        for (const std::string& child : SortedNames(dir / name)) {
            if (StartsWith(child, name + ":")) {
                device.interfaces.push_back(ReadInterface(dir / name / child));
            }
        }
        scan.devices.push_back(std::move(device));
    }
    return scan;
}

NodeAccess JudgeNodeAccess(const NodeInfo& node, const UserIds& user)
{
    constexpr mode_t kOwnerRw = S_IRUSR | S_IWUSR;
    constexpr mode_t kGroupRw = S_IRGRP | S_IWGRP;
    constexpr mode_t kOtherRw = S_IROTH | S_IWOTH;
    if (user.uid == 0) {
        return NodeAccess::Allowed;
    }
    // The kernel takes the first class that matches the user, even when it grants less.
    if (node.uid == user.uid) {
        return (node.mode & kOwnerRw) == kOwnerRw ? NodeAccess::Allowed : NodeAccess::NeedRule;
    }
    const bool inGroup = node.gid == user.gid || std::find(user.groups.begin(), user.groups.end(),
                                                           node.gid) != user.groups.end();
    const bool groupRw = (node.mode & kGroupRw) == kGroupRw;
    if (inGroup) {
        return groupRw ? NodeAccess::Allowed : NodeAccess::NeedRule;
    }
    if ((node.mode & kOtherRw) == kOtherRw) {
        return NodeAccess::Allowed;
    }
    return groupRw && node.gid != 0 ? NodeAccess::JoinGroup : NodeAccess::NeedRule;
}

LibraryProbe ProbeLibrary(const std::string& candidate)
{
    LibraryProbe probe;
    dlerror();
    void* library = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* error = dlerror();
        probe.error = error != nullptr ? error : "unknown error";
        return probe;
    }
    probe.loaded = true;
    const link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr) {
        probe.resolved = map->l_name;
    }
    std::error_code ec;
    if (const fs::path real = fs::canonical(probe.resolved, ec); !ec) {
        probe.resolved = real.string();
    }
    for (const char* name : kEntryPoints) {
        if (dlsym(library, name) == nullptr) {
            probe.missing.emplace_back(name);
        }
    }
    // Counting is safe even in a library that cannot reach USB; only its opens are not.
    if (auto* list = reinterpret_cast<FT_ListDevicesFn>(dlsym(library, "FT_ListDevices"))) {
        probe.counted = true;
        probe.countStatus = list(&probe.count, nullptr, FT_LIST_NUMBER_ONLY);
    }
    dlclose(library);
    return probe;
}

DiagnosisHost DiagnosisHost::Real()
{
    DiagnosisHost host;
    host.user.uid = ::getuid();
    host.user.gid = ::getgid();
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        host.user.groups.resize(static_cast<std::size_t>(count));
        const int got = ::getgroups(count, host.user.groups.data());
        host.user.groups.resize(static_cast<std::size_t>(std::max(got, 0)));
    }
    host.userName = NameOfUser(host.user.uid);
    host.nameOfUser = NameOfUser;
    host.nameOfGroup = NameOfGroup;
    host.listedInGroup = [](gid_t gid) {
        const passwd* pw = ::getpwuid(::getuid());
        if (pw == nullptr) {
            return false;
        }
        const std::string user = pw->pw_name;
        if (pw->pw_gid == gid) {
            return true;
        }
        const group* gr = ::getgrgid(gid);
        for (char** member = gr ? gr->gr_mem : nullptr; member && *member; ++member) {
            if (user == *member) {
                return true;
            }
        }
        return false;
    };
    host.mayReadWrite = [](const std::string& path) {
        return ::access(path.c_str(), R_OK | W_OK) == 0;
    };
    host.probe = ProbeLibrary;
    return host;
}

std::string Diagnose(const std::vector<std::string>& candidates, const SystemRoots& roots,
                     const DiagnosisHost& host)
{
    std::ostringstream out;
    out << "Driver libraries, in the order the program tries them:\n";
    if (candidates.empty()) {
        out << "  none (no folder to look in)\n";
    }
    std::optional<std::string> used;
    std::optional<DriverKind> inUse;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::string& candidate = candidates[i];
        const LibraryProbe probe = host.probe(candidate);
        out << "  " << i + 1 << ". " << LoaderText(candidate) << "\n";
        if (!probe.loaded) {
            out << "     does not load: " << probe.error << "\n";
            continue;
        }
        const DriverKind kind = KindOfLibrary(probe.resolved.empty() ? candidate : probe.resolved);
        out << "     loads " << (probe.resolved.empty() ? candidate : probe.resolved) << " ("
            << KindText(kind) << ")";
        if (!used) {
            used = candidate;
            inUse = kind;
            out << "; this is the one the program uses";
        }
        out << "\n";
        if (!probe.missing.empty()) {
            out << "     lacks";
            for (const std::string& name : probe.missing) {
                out << " " << name;
            }
            out << ": the program reports each missing entry point and cannot use it fully\n";
        }
        if (probe.counted && probe.countStatus != FT_OK) {
            out << "     the device count fails with status " << probe.countStatus
                << ": this library cannot reach USB here (a container or sandbox without USB "
                   "access?), so the program opens nothing through it\n";
        } else if (probe.counted) {
            out << "     it counts " << probe.count << " device(s)\n";
        }
    }
    if (!used) {
        out << "  No candidate loads, so no device can be opened. The bundled serial backend "
               "(libquillon-tty.so) belongs beside the program or in its library folder.\n";
    }

    const UsbScan scan = ScanFtdiDevices(roots);
    out << "\nFTDI USB devices (" << scan.directory << "):\n";
    if (inUse == DriverKind::Simulator) {
        out << "  (the simulated controller in use needs none of them)\n";
    }
    if (!scan.busVisible) {
        out << "  none found: " << scan.directory
            << " does not exist, so this system shows no USB devices at all (a container or "
               "sandbox without USB access?).\n";
    } else if (scan.devices.empty()) {
        out << "  none: no FTDI USB device (vendor id 0403) is attached. Plug the controller in "
               "and check that it is powered; in a virtual machine or container, pass the USB "
               "device through.\n";
    }
    for (const FtdiDevice& device : scan.devices) {
        DescribeDevice(out, device, roots, host, inUse);
    }
    return out.str();
}

std::optional<std::string> OpenFailureHint(const std::string& appName,
                                           const std::string& libraryPath, const SystemRoots& roots,
                                           const DiagnosisHost& host)
{
    const DriverKind kind = KindOfLibrary(libraryPath);
    if (kind == DriverKind::Simulator) {
        return std::nullopt;
    }
    const UsbScan scan = ScanFtdiDevices(roots);
    std::optional<std::string> reason;
    if (scan.devices.empty()) {
        reason = "no FTDI USB device is attached";
    }
    for (const FtdiDevice& device : scan.devices) {
        if (reason) {
            break;
        }
        if (kind == DriverKind::D2xx) {
            if (HeldBySerialDriver(device)) {
                reason = "the kernel's ftdi_sio driver holds USB device " + device.name +
                         ", so the D2XX library cannot open it";
            } else if (const NodeCheck node = CheckNode(RawUsbNode(roots, device), host);
                       node.exists && !node.mayOpen) {
                reason = "you may not open " + node.path + " (permission denied)";
            }
            continue;
        }
        for (const UsbInterface& iface : device.interfaces) {
            if (iface.tty.empty()) {
                reason =
                    "USB device " + device.name + " has no serial port (" +
                    (iface.driver.empty() ? "no kernel driver holds " + iface.name
                                          : iface.driver + ", not ftdi_sio, holds " + iface.name) +
                    ")";
                break;
            }
            if (const NodeCheck node = CheckNode(TtyNode(roots, iface), host);
                node.exists && !node.mayOpen) {
                reason = "you may not open " + node.path + " (permission denied)";
                break;
            }
        }
    }
    if (!reason) {
        return std::nullopt;
    }
    return appName + ": " + *reason + "; run " + appName + " --diagnose for details.";
}

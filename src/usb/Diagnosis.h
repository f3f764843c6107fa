#pragma once
// Why a controller can or cannot be opened: which file each driver candidate is and why it does
// not load, the FTDI USB devices on the bus, the kernel driver holding each, its device nodes and
// whether this user may open them, with the fix when not. No Qt: the sysfs and /dev roots, the
// user's identity and the library loader are replaceable, so all of it runs on a fake tree.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "usb/D2xxApi.h"

// Where sysfs and the device nodes are. QUILLON_TTY_SYSFS_ROOT and QUILLON_TTY_DEV_ROOT, which the
// bundled serial backend reads too, move them for tests.
struct SystemRoots {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
    static SystemRoots FromEnvironment();
};

// Told apart by file name: only the diagnosis and its hints care which library is loaded.
enum class DriverKind { D2xx, SerialBackend, Simulator };
DriverKind KindOfLibrary(const std::string& path);

struct UsbInterface {
    std::string name;    // "1-1.4:1.0"
    std::string driver;  // the kernel driver bound to it; empty when none
    std::string tty;     // "ttyUSB0" when the driver made a serial port of it
};

struct FtdiDevice {
    std::string name;  // sysfs name, "1-1.4"
    std::string productId, product, serial;
    int busNumber = 0;  // with deviceNumber, the raw node <dev>/bus/usb/BBB/DDD
    int deviceNumber = 0;
    std::vector<UsbInterface> interfaces;
};

struct UsbScan {
    std::string directory;            // <sysfs>/bus/usb/devices
    bool busVisible = false;          // that directory exists (not so in some containers)
    std::vector<FtdiDevice> devices;  // vendor id 0403, by sysfs name
};
UsbScan ScanFtdiDevices(const SystemRoots& roots);

// A device node's owner, group and mode, and the user's ids.
struct NodeInfo {
    uid_t uid = 0;
    gid_t gid = 0;
    mode_t mode = 0;
};
struct UserIds {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;  // this session's supplementary groups
};

// By the mode bits, as the kernel decides without access control lists: Allowed; JoinGroup when
// the node's group may read and write and the user is not in it (never for group root); NeedRule
// when only a udev rule can give the user access.
enum class NodeAccess { Allowed, JoinGroup, NeedRule };
NodeAccess JudgeNodeAccess(const NodeInfo& node, const UserIds& user);

// What the diagnosis learns from loading one candidate. Nothing is ever opened.
struct LibraryProbe {
    bool loaded = false;
    std::string resolved;              // the file the loader took
    std::string error;                 // the loader's reason when not loaded
    std::vector<std::string> missing;  // D2XX entry points it lacks
    bool counted = false;              // the device-count query was asked
    FT_STATUS countStatus = FT_OK;
    DWORD count = 0;
};
LibraryProbe ProbeLibrary(const std::string& candidate);

// Identity and look-ups from the running system; tests replace every part.
struct DiagnosisHost {
    UserIds user;
    std::string userName;
    std::function<std::string(uid_t)> nameOfUser;
    std::function<std::string(gid_t)> nameOfGroup;
    // The group database lists the user in the group, whether or not this session has it yet.
    std::function<bool(gid_t)> listedInGroup;
    // access(R_OK | W_OK), which also sees access control lists; empty: the mode bits decide.
    std::function<bool(const std::string&)> mayReadWrite;
    std::function<LibraryProbe(const std::string&)> probe;
    static DiagnosisHost Real();
};

// The whole report for --diagnose.
std::string Diagnose(const std::vector<std::string>& candidates, const SystemRoots& roots,
                     const DiagnosisHost& host);

// After an open failed through the library at libraryPath: one line naming --diagnose when the
// diagnosis explains the failure (no device at all, a node this user may not open, a device held
// by ftdi_sio while the D2XX library is in use); nothing otherwise, or for the simulator.
std::optional<std::string> OpenFailureHint(const std::string& appName,
                                           const std::string& libraryPath, const SystemRoots& roots,
                                           const DiagnosisHost& host);

// The diagnosis on fake sysfs trees, with the user's identity and the loader replaced: tests may
// run as root, where every node opens, so who may open what is judged from the injected ids.

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "QuillonSim.h"
#include "unit/usb/FakeUsbTree.h"
#include "usb/Diagnosis.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Someone other than whoever runs the test, so the test's own files are not theirs.
DiagnosisHost Stranger(std::map<std::string, LibraryProbe> probes = {})
{
    DiagnosisHost host;
    host.user = {::getuid() + 1000, 4242, {4243}};
    host.userName = "alice";
    host.nameOfUser = [](uid_t uid) { return "user" + std::to_string(uid); };
    host.nameOfGroup = [](gid_t gid) { return gid == 0 ? "root" : "dialout"; };
    host.listedInGroup = [](gid_t) { return false; };
    host.probe = [probes](const std::string& path) {
        const auto it = probes.find(path);
        if (it != probes.end()) {
            return it->second;
        }
        LibraryProbe absent;
        absent.error = path + ": cannot open shared object file: No such file or directory";
        return absent;
    };
    return host;
}

LibraryProbe Loaded(const std::string& file, FT_STATUS countStatus = FT_OK,
                    std::vector<std::string> missing = {})
{
    LibraryProbe probe;
    probe.loaded = true;
    probe.resolved = file;
    probe.missing = std::move(missing);
    probe.counted = true;
    probe.countStatus = countStatus;
    return probe;
}

TEST(JudgeNodeAccess, FollowsTheKernelsOwnerGroupOtherRule)
{
    const UserIds user{1000, 1000, {24, 46}};
    // The usual root:dialout serial port, then what each class of the mode allows; the first
    // class that matches decides, even when a later one would grant more.
    // clang-format off
    const std::pair<NodeInfo, NodeAccess> cases[] = {
        {{0, 20, 020660}, NodeAccess::JoinGroup}, {{0, 20, 020666}, NodeAccess::Allowed},
        {{0, 20, 020640}, NodeAccess::NeedRule}, {{0, 20, 020600}, NodeAccess::NeedRule},
        {{0, 0, 020660}, NodeAccess::NeedRule},  // nobody should join group root for this
        {{0, 1000, 020660}, NodeAccess::Allowed}, {{0, 46, 020660}, NodeAccess::Allowed},
        {{1000, 20, 020600}, NodeAccess::Allowed}, {{1000, 20, 020400}, NodeAccess::NeedRule},
        {{1000, 20, 020200}, NodeAccess::NeedRule}, {{1000, 20, 020066}, NodeAccess::NeedRule},
        {{0, 46, 020606}, NodeAccess::NeedRule}, {{0, 20, 020606}, NodeAccess::Allowed}};
    // clang-format on
    for (const auto& [node, access] : cases)
        EXPECT_EQ(JudgeNodeAccess(node, user), access) << node.uid << ":" << node.gid << " " << std::oct << node.mode;
    EXPECT_EQ(JudgeNodeAccess({1000, 20, 020000}, UserIds{0, 0, {}}), NodeAccess::Allowed);
}

// Each candidate with what it is and why it fails; each FTDI device with its driver, its node and
// the fix. "{sys}" and "{dev}" in an expected part stand for the tree's roots.
TEST(Diagnose, ReportsCandidatesDevicesNodesAndFixes)
{
    // clang-format off
    const struct {
        const char* what;
        std::function<void(FakeUsbTree&)> setUp;
        std::vector<std::string> candidates;
        std::map<std::string, LibraryProbe> probes;
        std::vector<std::string> present, absent;
    } cases[] = {
        {"no FTDI device (a root hub is none)", [](FakeUsbTree&) {}, {}, {},
         {"none: no FTDI USB device (vendor id 0403) is attached", "No candidate loads"},
         {"xHCI"}},
        {"no sysfs", [](FakeUsbTree& t) { t.roots.sysfs += "/absent"; }, {}, {},
         {"none found: {sys}/bus/usb/devices does not exist, so this system shows no USB devices"},
         {}},
        {"every candidate",
         [](FakeUsbTree&) {},
         {"/b/libftd2xx.so", "libftd2xx.so", "/b/libquillon-tty.so", "/l/libquillon-tty.so"},
         {{"libftd2xx.so", Loaded("/usr/lib/libftd2xx.so.1.4", 18)},
          {"/b/libquillon-tty.so", Loaded("/b/libquillon-tty.so", FT_OK, {"FT_Purge"})}},
         {"1. /b/libftd2xx.so\n     does not load: /b/libftd2xx.so: cannot open shared object "
          "file: No such file or directory\n",
          "2. libftd2xx.so (the system loader's search)\n     loads /usr/lib/libftd2xx.so.1.4 (a "
          "D2XX library); this is the one the program uses\n",
          "the device count fails with status 18: this library cannot reach USB here",
          "3. /b/libquillon-tty.so\n     loads /b/libquillon-tty.so (the bundled serial backend)\n",
          "lacks FT_Purge", "4. /l/libquillon-tty.so\n     does not load"},
         {}},
        {"serial backend, node denied; an unbound device",
         [](FakeUsbTree& t) {
             t.AddFtdi("1-1.4", "Quillon SC", "QSC10001", "ftdi_sio", "ttyUSB0");
             t.AddFtdi("2-1", "", "", "", "", 2, 5);
             t.MakeNode("ttyUSB0", 0600);
         },
         {}, {},
         {"1-1.4: vendor 0403, product 6001, \"Quillon SC\", serial number \"QSC10001\"",
          "interface 1-1.4:1.0: held by ftdi_sio, serial port ", "{dev}/ttyUSB0: -rw------- user",
          "you (alice) may not open it (permission denied)",
          "fix: a udev rule giving the logged-in user access",
          "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
          "TAG+=\"uaccess\"", "GROUP=\"dialout\"",
          // Unbound, the device has no port for the serial backend.
          "2-1: vendor 0403, product 6001, no product string, serial number none\n"
          "    interface 2-1:1.0: no kernel driver, no serial port\n"
          "      fix for the serial backend: sudo modprobe ftdi_sio;",
          "echo 0403 6001 | sudo tee /sys/bus/usb-serial/drivers/ftdi_sio/new_id\n"},
         {"D2XX"}},
        {"D2XX: unbind ftdi_sio, check the USB node",
         [](FakeUsbTree& t) {
             t.AddFtdi("1-1.4", "Quillon SC", "QSC10001", "ftdi_sio", "ttyUSB0", 3, 17);
             t.AddFtdi("2-1", "Quillon SC", "QSC10002", "", "", 2, 5);
             t.MakeNode("bus/usb/003/017", 0664);
         },
         {"/b/libftd2xx.so"}, {{"/b/libftd2xx.so", Loaded("/b/libftd2xx.so")}},
         {"D2XX library: cannot open the device while ftdi_sio holds 1-1.4:1.0.",
          "use the bundled serial backend (--driver tty), or unbind it:",
          "echo -n 1-1.4:1.0 | sudo tee /sys/bus/usb/drivers/ftdi_sio/unbind",
          "{dev}/bus/usb/003/017: -rw-rw-r--",
          "SUBSYSTEM==\"usb\", ATTR{idVendor}==\"0403\", ATTR{idProduct}==\"6001\"",
          "GROUP=\"plugdev\"",
          "interface 2-1:1.0: no kernel driver, no serial port",
          "{dev}/bus/usb/002/005 does not exist"},
         {"modprobe"}},  // D2XX wants no kernel driver
    };
    // clang-format on
    for (const auto& c : cases) {
        FakeUsbTree tree;
        c.setUp(tree);
        const std::string report = Diagnose(c.candidates, tree.roots, Stranger(c.probes));
        for (std::string part : c.present) {
            for (const auto& [key, root] :
                 {std::pair{"{sys}", tree.roots.sysfs}, std::pair{"{dev}", tree.roots.dev}}) {
                if (const auto at = part.find(key); at != std::string::npos)
                    part.replace(at, 5, root);
            }
            EXPECT_TRUE(Contains(report, part)) << c.what << ": " << part << "\n--- in ---\n"
                                                << report;
        }
        for (const std::string& part : c.absent) {
            EXPECT_FALSE(Contains(report, part)) << c.what << ": " << part;
        }
    }
}

TEST(OpenFailureHint, NamesDiagnoseOnlyWhenTheDiagnosisExplainsTheFailure)
{
    const std::string tty = "/b/libquillon-tty.so";
    const std::string d2xx = "/usr/lib/libftd2xx.so";
    const struct {
        const char* what;
        std::string library;
        const char* ifaceDriver;  // of the one device 1-1 (bus 1, device 9); nullptr: none
        const char* tty;
        const char* node;  // made with the mode; nullptr: none
        mode_t mode;
        const char* reason;  // nullptr: no hint
    } cases[] = {
        {"simulator", "/b/libquillon-sim.so", nullptr, "", nullptr, 0, nullptr},
        {"no device", tty, nullptr, "", nullptr, 0, "no FTDI USB device is attached"},
        {"no device, D2XX", d2xx, nullptr, "", nullptr, 0, "no FTDI USB device is attached"},
        {"node denied", tty, "ftdi_sio", "ttyUSB0", "ttyUSB0", 0600, "you may not open "},
        {"node open to all", tty, "ftdi_sio", "ttyUSB0", "ttyUSB0", 0666, nullptr},
        {"unbound, serial backend", tty, "", "", nullptr, 0,
         "USB device 1-1 has no serial port (no kernel driver holds 1-1:1.0)"},
        {"held by another program, serial backend", tty, "usbfs", "", nullptr, 0,
         "USB device 1-1 has no serial port (usbfs, not ftdi_sio, holds 1-1:1.0)"},
        {"held by ftdi_sio, D2XX", d2xx, "ftdi_sio", "ttyUSB0", nullptr, 0,
         "the kernel's ftdi_sio driver holds USB device 1-1, so the D2XX library cannot open it"},
        {"usb node denied, D2XX", d2xx, "", "", "bus/usb/001/009", 0664,
         "/bus/usb/001/009 (permission denied)"},
        {"usb node open to all, D2XX", d2xx, "", "", "bus/usb/001/009", 0666, nullptr},
    };
    for (const auto& c : cases) {
        FakeUsbTree tree;
        if (c.ifaceDriver != nullptr)
            tree.AddFtdi("1-1", "Q", "S", c.ifaceDriver, c.tty, 1, 9);
        if (c.node != nullptr)
            tree.MakeNode(c.node, c.mode);
        const auto hint = OpenFailureHint("quillon-utility", c.library, tree.roots, Stranger());
        if (c.reason == nullptr) {
            EXPECT_FALSE(hint) << c.what << ": " << *hint;
            continue;
        }
        ASSERT_TRUE(hint) << c.what;
        EXPECT_TRUE(Contains(*hint, c.reason)) << c.what << ": " << *hint;
        EXPECT_TRUE(Contains(*hint, "; run quillon-utility --diagnose for details.")) << *hint;
        EXPECT_EQ(hint->find('\n'), std::string::npos) << *hint;
    }
}

TEST(ProbeLibrary, LoadsWithoutOpeningAndSaysWhatIsMissing)
{
    QuillonSim_Reset();
    LibraryProbe probe = ProbeLibrary(QUILLON_BUILD_DIR "/libquillon-sim.so");
    EXPECT_TRUE(probe.loaded) << probe.error;
    EXPECT_TRUE(probe.missing.empty());
    EXPECT_TRUE(probe.counted);
    EXPECT_EQ(probe.count, 1u);
    std::string log(QuillonSim_CallLog(nullptr, 0) + 1, '\0');
    QuillonSim_CallLog(log.data(), log.size());
    EXPECT_STREQ(log.c_str(), "FT_ListDevices(0x80000000)\n");

    probe = ProbeLibrary(QUILLON_BUILD_DIR "/libquillon-sim-nobaud.so");
    EXPECT_TRUE(probe.loaded);
    EXPECT_EQ(probe.missing, std::vector<std::string>{"FT_SetBaudRate"});

    probe = ProbeLibrary("/nonexistent/libftd2xx.so");
    EXPECT_FALSE(probe.loaded);
    EXPECT_TRUE(Contains(probe.error, "No such file")) << probe.error;
}

}  // namespace

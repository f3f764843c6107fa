// The diagnosis on fake sysfs trees, with the user's identity and the loader replaced: tests may
// run as root, where every node opens, so who may open what is judged from the injected ids.

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "unit/Rows.h"
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

// The report on one tree for each list of candidates: each candidate with what it is, each FTDI
// device with its driver, its nodes and the fixes, the expected parts in order.
TEST(Diagnose, ReportsCandidatesDevicesNodesAndFixes)
{
    FakeUsbTree tree;
    tree.AddFtdi("1-1.4", "Quillon SC", "QSC10001", "ftdi_sio", "ttyUSB0", 3, 17);
    tree.AddFtdi("2-1", "", "", "", "", 2, 5);
    tree.MakeNode("ttyUSB0", 0600);
    tree.MakeNode("bus/usb/003/017", 0664);
    const DiagnosisHost host =
        Stranger({{"libftd2xx.so", Loaded("/usr/lib/libftd2xx.so.1.4", 18)},
                  {"/b/libquillon-tty.so", Loaded("/b/libquillon-tty.so", FT_OK, {"FT_Purge"})}});
    std::map<std::string, std::vector<std::string>> reports;
    for (const Row& row : Rows("diagnosis-reports.txt")) {
        std::string part = row[1];  // a part may hold " | " itself
        for (std::size_t i = 2; i < row.size(); ++i) part += " | " + row[i];
        reports[row[0]].push_back(part);
    }
    for (const auto& [candidates, parts] : reports) {
        std::vector<std::string> list;
        for (std::size_t from = 0, at = 0; at != std::string::npos; from = at + 1)
            list.push_back(candidates.substr(from, (at = candidates.find(' ', from)) - from));
        const std::string report = Diagnose(list, tree.roots, host);
        std::size_t after = 0;
        for (std::string part : parts) {
            if (const auto at = part.find("{dev}"); at != std::string::npos)
                part.replace(at, 5, tree.roots.dev);
            const std::size_t at = report.find(part.substr(part[0] == '!'), after);
            EXPECT_EQ(at == std::string::npos, part[0] == '!') << part << "\n--- in order in ---\n" << report;
            after = at == std::string::npos || part[0] == '!' ? after : at + part.size();
        }
    }
}

// One line naming --diagnose, only when the diagnosis explains the failure.
TEST(OpenFailureHint, NamesDiagnoseOnlyWhenTheDiagnosisExplainsTheFailure)
{
    const std::string tty = "/b/libquillon-tty.so";
    const std::string d2xx = "/usr/lib/libftd2xx.so";
    const struct {
        std::string library;
        const char* ifaceDriver;  // of the one device 1-1 (bus 1, device 9); nullptr: none
        const char* tty;
        const char* node;  // made with the mode; nullptr: none
        mode_t mode;
        const char* reason;  // nullptr: no hint
    } cases[] = {
        {"/b/libquillon-sim.so", nullptr, "", nullptr, 0, nullptr},
        {d2xx, nullptr, "", nullptr, 0, "no FTDI USB device is attached"},
        {tty, "ftdi_sio", "ttyUSB0", "ttyUSB0", 0600, "you may not open "},
        {tty, "ftdi_sio", "ttyUSB0", "ttyUSB0", 0666, nullptr},
        {tty, "usbfs", "", nullptr, 0, "USB device 1-1 has no serial port (usbfs, not ftdi_sio, holds 1-1:1.0)"},
        {d2xx, "ftdi_sio", "ttyUSB0", nullptr, 0,
         "the kernel's ftdi_sio driver holds USB device 1-1, so the D2XX library cannot open it"},
        {d2xx, "", "", "bus/usb/001/009", 0664, "/bus/usb/001/009 (permission denied)"},
    };
    for (const auto& c : cases) {
        FakeUsbTree tree;
        if (c.ifaceDriver != nullptr)
            tree.AddFtdi("1-1", "Q", "S", c.ifaceDriver, c.tty, 1, 9);
        if (c.node != nullptr)
            tree.MakeNode(c.node, c.mode);
        const auto hint = OpenFailureHint("quillon-utility", c.library, tree.roots, Stranger());
        ASSERT_EQ(hint.has_value(), c.reason != nullptr) << c.library << " " << hint.value_or("");
        if (hint) {
            EXPECT_TRUE(Contains(*hint, c.reason)) << *hint;
            EXPECT_TRUE(Contains(*hint, "; run quillon-utility --diagnose for details.")) << *hint;
            EXPECT_EQ(hint->find('\n'), std::string::npos) << *hint;
        }
    }
}

}  // namespace

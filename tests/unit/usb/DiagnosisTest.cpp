// The diagnosis on fake sysfs trees, with the user's identity and the loader replaced: tests may
// run as root, where every node opens, so who may open what is judged from the injected ids.

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "unit/Rows.h"
#include "unit/usb/FakeUsbTree.h"
#include "usb/Diagnosis.h"

namespace {

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
    for (const Row& row : Rows("open-failure-hints.txt")) {
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2]);
        FakeUsbTree tree;
        const std::string tty = row[2].starts_with("tty") ? row[2] : "";
        if (row[1] != "-")
            tree.AddFtdi("1-1", "Q", "S", row[1] == "unbound" ? "" : row[1], tty, 1, 9);
        if (row[2] != "-")
            tree.MakeNode(row[2], mode_t(std::stoi(row[3], nullptr, 8)));
        std::string reason = row[4];
        if (const auto at = reason.find("{dev}"); at != std::string::npos)
            reason.replace(at, 5, tree.roots.dev);
        const auto hint = OpenFailureHint("quillon-utility", row[0], tree.roots, Stranger());
        EXPECT_EQ(hint.value_or("-"), reason == "-" ? reason : "quillon-utility: " + reason +
                                                          "; run quillon-utility --diagnose for details.");
    }
}

}  // namespace

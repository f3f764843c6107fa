// Faults while the link is set up: a driver library lacking an entry point, and a controller that
// answers the handshake wrongly, late, partly or not at all, or whose cable is pulled at a step of
// the handshake, at start-up and on "Open". Every wait passes on the simulator's manual clock.

#include <gtest/gtest.h>

#include "faults/FaultPanel.h"

namespace {

constexpr const char* kCount = "FT_ListDevices(0x80000000)\n";
constexpr const char* kConfigure =
    "FT_ResetDevice\nFT_SetTimeouts(3000,3000)\nFT_Purge(1)\nFT_SetLatencyTimer(2)\n"
    "FT_SetBaudRate(128000)\nFT_SetUSBParameters(64,0)\nFT_Write(EE)\nFT_Read(2)\n";

std::string NotValid(const char* entryPoint)
{
    return std::string(entryPoint) + " is not valid!";
}

// Strings a + b.
Strings Join(Strings a, const Strings& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Each entry point missing in turn: binding stops at the first missing name, so every entry
// point after it in the binding order reports too. The boxes, in order, at start-up, at the first
// tick and on "Open", and what the status line says after each; then whether a status reply
// still arrives. Nothing crashes and the panel stays up whatever is missing.
TEST(MissingEntryPointTest, EachMissingEntryPointIsReportedAndThePanelGoesOn)
{
    const Strings configure = {NotValid("FT_ResetDevice"), NotValid("FT_SetTimeouts"),
                               NotValid("FT_Purge"),       NotValid("FT_SetLatencyTimer"),
                               NotValid("FT_SetBaudRate"), NotValid("FT_SetUSBParameters"),
                               NotValid("FT_SetTimeouts")};
    const Strings noOpen = {NotValid("FT_OpenEx"), NotValid("FT_SetTimeouts")};
    const Strings lateSetters = {NotValid("FT_SetLatencyTimer"), NotValid("FT_SetBaudRate"),
                                 NotValid("FT_SetUSBParameters")};
    const Strings lost = {NotValid("FT_GetQueueStatus"), NotValid("FT_Close")};
    const Strings queue = {NotValid("FT_GetQueueStatus")};
    const std::string notResponding = "USB not responding";
    const std::string cannotOpen = "Could not open USB";
    struct Case {
        std::string library;
        Strings startBoxes;
        std::string startStatus;
        Strings tickBoxes;
        std::string tickStatus;
        Strings openBoxes;
        std::string openStatus;
        int statusReplyBytes;  // received after "Status" and a tick on the reopened link
    };
    const std::string absent = "/nonexistent/libftd2xx.so";
    const auto without = [](const char* name) {
        return BuildLibrary(std::string("libquillon-shim-without-") + name + ".so");
    };
    const auto missing = [](const char* name) { return "Error: Can't Find " + std::string(name); };
    const Case cases[] = {
        {absent,
         Join({"Can't load the D2XX driver library.\n" + absent +
               ": cannot open shared object file: No such file or directory"},
              noOpen),
         notResponding,
         {},
         notResponding,
         Join({NotValid("FT_Close")}, noOpen),
         cannotOpen,
         0},
        // The first three bound are the first three of the order: write, read, open by number.
        {without("FT_Write"),
         Join({missing("FT_Write")}, noOpen),
         notResponding,
         {},
         notResponding,
         Join({NotValid("FT_Close")}, noOpen),
         cannotOpen,
         0},
        {without("FT_Read"),
         Join({missing("FT_Read")}, noOpen),
         notResponding,
         {},
         notResponding,
         Join({NotValid("FT_Close")}, noOpen),
         cannotOpen,
         0},
        {without("FT_Open"),
         Join({missing("FT_Open")}, noOpen),
         notResponding,
         {},
         notResponding,
         Join({NotValid("FT_Close")}, noOpen),
         cannotOpen,
         0},
        {without("FT_OpenEx"),
         Join({missing("FT_OpenEx")}, noOpen),
         notResponding,
         {},
         notResponding,
         Join({NotValid("FT_Close")}, noOpen),
         cannotOpen,
         0},
        // From here the device opens and answers the handshake, with no time-outs set (the
        // simulator answers at once): "ready" until the first tick finds no queue query.
        {without("FT_ListDevices"), Join({missing("FT_ListDevices")}, configure), kReadyText, lost,
         kLostText, Join({NotValid("FT_Close")}, configure), kReadyText, 0},
        {without("FT_Close"), Join({missing("FT_Close")}, configure), kReadyText, lost, kLostText,
         Join({NotValid("FT_Close")}, configure), kReadyText, 0},
        {without("FT_ResetDevice"), Join({missing("FT_ResetDevice")}, configure), kReadyText, queue,
         kLostText, configure, kReadyText, 0},
        {without("FT_Purge"),
         Join({missing("FT_Purge")}, Strings(configure.begin() + 1, configure.end())), kReadyText,
         queue, kLostText, Strings(configure.begin() + 1, configure.end()), kReadyText, 0},
        {without("FT_SetTimeouts"),
         Join({missing("FT_SetTimeouts"), NotValid("FT_SetTimeouts")},
              Join(lateSetters, {NotValid("FT_SetTimeouts")})),
         kReadyText, queue, kLostText,
         Join({NotValid("FT_SetTimeouts")}, Join(lateSetters, {NotValid("FT_SetTimeouts")})),
         kReadyText, 0},
        {without("FT_GetQueueStatus"), Join({missing("FT_GetQueueStatus")}, lateSetters),
         kReadyText, queue, kLostText, lateSetters, kReadyText, 0},
        // The receive path is whole: only the link's tuning is missing, and the link works.
        {without("FT_SetBaudRate"),
         Join({missing("FT_SetBaudRate")}, lateSetters),
         kReadyText,
         {},
         kReadyText,
         lateSetters,
         kReadyText,
         20},
        {without("FT_SetLatencyTimer"),
         {missing("FT_SetLatencyTimer"), NotValid("FT_SetLatencyTimer"),
          NotValid("FT_SetUSBParameters")},
         kReadyText,
         {},
         kReadyText,
         {NotValid("FT_SetLatencyTimer"), NotValid("FT_SetUSBParameters")},
         kReadyText,
         20},
        {without("FT_SetUSBParameters"),
         {missing("FT_SetUSBParameters"), NotValid("FT_SetUSBParameters")},
         kReadyText,
         {},
         kReadyText,
         {NotValid("FT_SetUSBParameters")},
         kReadyText,
         20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.library);
        FaultPanel p(c.library);
        Strings terminal;
        p.h.options.terminalLine = [&](const std::string& line) { terminal.push_back(line); };
        p.h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", 0);
        p.h.profile->WriteProfileString("MyTiveloAp", "DescString", "Quillon SC");
        p.Start();
        EXPECT_EQ(p.h.prompts.MessageTexts(), c.startBoxes);
        EXPECT_EQ(p.Status(), c.startStatus);
        p.h.prompts.Clear();
        p.Tick();
        EXPECT_EQ(p.h.prompts.MessageTexts(), c.tickBoxes);
        EXPECT_EQ(p.Status(), c.tickStatus);
        p.h.prompts.Clear();
        p.h.Click(IDC_OPEN);
        EXPECT_EQ(p.h.prompts.MessageTexts(), c.openBoxes);
        EXPECT_EQ(p.Status(), c.openStatus);
        EXPECT_EQ(g_bUsbOpen, c.openStatus == kReadyText ? 1 : 0);
        p.h.Click(IDC_STATUS);
        p.Tick();
        EXPECT_EQ(p.Panel().m_nReceivedBytes, c.statusReplyBytes);
        for (const auto& record : p.h.prompts.records)
            EXPECT_EQ(record.caption, p.Panel().AppName());
        EXPECT_TRUE(p.Panel().isVisible());
    }
}

// The handshake at start-up and on "Open" against each way a controller can fail it, then "Open"
// once the fault is gone. Each cell checks the status line, the calls made (the same sequence
// whatever happens: a pulled cable costs no wait, a silent device two 3 s time-outs on the
// simulator's clock), a byte left over after the reply, and that the healed link carries a status
// reply. "Open" closes a device left open by a failed handshake before trying again.
TEST(HandshakeFaultTest, EachFaultIsShownAndOpenRecoversOnceItIsGone)
{
    struct Case {
        const char* name;
        std::function<void()> fault;  // armed just before start-up and before "Open"
        std::function<void()> heal;
        const char* suffix;   // after the status text; nullptr: the link is ready
        unsigned readWaitMs;  // spent in the handshake's reads
        Strings leftOver;     // listed at the first tick on a ready link
    };
    // Acts once, just before the first call of entryPoint from now on.
    const auto before = [](const char* entryPoint, std::function<void()> act) {
        return [entryPoint, act] {
            auto pending = std::make_shared<bool>(true);
            g_beforeCall = [entryPoint, act, pending](const std::string& call) {
                if (*pending && call == entryPoint) {
                    *pending = false;
                    act();
                }
            };
        };
    };
    const auto pullCable = [] { QuillonSim_Unplug(0); };
    const auto replug = [] { QuillonSim_Replug(0); };
    const auto answerOnly = [](Bytes reply) {
        return [reply] {
            QuillonSim_SetSilent(0, 1);
            FaultPanel::Inject(reply);
        };
    };
    const auto speak = [] { QuillonSim_SetSilent(0, 0); };
    const auto nothing = [] {};
    std::vector<Case> cases = {
        {"answered", nothing, nothing, nullptr, 0, {}},
        {"silent", [] { QuillonSim_SetSilent(0, 1); }, speak, " (no reply)", 6000, {}},
        {"wrong handshake byte",
         [] { QuillonSim_SetHandshakeReply(0, 0x41); },
         [] { QuillonSim_SetHandshakeReply(0, -1); },
         " (0x41)",
         0,
         {}},
        {"handshake byte alone", before("FT_Write", answerOnly({0xEE})), speak, nullptr, 3000, {}},
        {"power byte alone",
         [] { QuillonSim_DropAnswerBytes(0, 1); },
         nothing,
         " (0x01)",
         3000,
         {}},
        {"a byte more", before("FT_Write", answerOnly({0xEE, 0x01, 0x07})), speak, nullptr, 0,
         ByteLines({0x07})},
        {"garbled", [] { QuillonSim_CorruptAnswerBytes(0, 2); }, nothing, " (0x11)", 0, {}},
        {"write fails",
         [] { QuillonSim_SetWriteStatus(0, 4); },
         [] { QuillonSim_SetWriteStatus(0, 0); },
         " (no reply)",
         6000,
         {}},
    };
    for (const char* call : {"FT_ResetDevice", "FT_SetTimeouts", "FT_Purge", "FT_SetLatencyTimer",
                             "FT_SetBaudRate", "FT_SetUSBParameters", "FT_Write", "FT_Read"}) {
        cases.push_back({call, before(call, pullCable), replug, " (no reply)", 0, {}});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultPanel p;
        p.h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", 0);
        p.h.profile->WriteProfileString("MyTiveloAp", "DescString", "Quillon SC");
        std::vector<unsigned> pauses;
        p.h.options.waitMs = [&](unsigned ms) {
            pauses.push_back(ms);
            QuillonSim_Advance(ms);
        };
        const bool ready = c.suffix == nullptr;
        // Nothing at all came: the handshake reads once more.
        const bool noReply = !ready && std::string(c.suffix) == " (no reply)";
        const std::string reads = noReply ? "FT_Read(2)\n" : "";
        const auto expectLink = [&](const std::string& failedText) {
            EXPECT_EQ(p.Status(), ready ? std::string(kReadyText) : failedText + c.suffix);
            EXPECT_EQ(g_bUsbOpen, ready ? 1 : 0);
            for (int id : {IDC_BLINK_LEDS, IDC_BLINK_OFF, IDC_SPEED})
                EXPECT_EQ(p.Panel().IsDlgItemEnabled(id), ready) << id;
            EXPECT_TRUE(p.Panel().IsDlgItemEnabled(IDC_OPEN));
            EXPECT_TRUE(p.h.prompts.records.empty());
            p.Tick();
            EXPECT_EQ(p.Lines(), ready ? c.leftOver : Strings{});
            p.ExpectCountMatchesList();
            p.Settle();
        };

        c.fault();
        uint64_t start = QuillonSim_NowMs();
        p.Start();
        EXPECT_EQ(QuillonSim_NowMs() - start, c.readWaitMs);
        EXPECT_EQ(FaultPanel::CallLog(), std::string(kCount) + "FT_OpenEx(\"Quillon SC\",2)\n" +
                                             kConfigure + reads + "FT_SetTimeouts(100,100)\n");
        EXPECT_TRUE(pauses.empty());
        expectLink("No response from USB");

        c.heal();
        c.fault();
        start = QuillonSim_NowMs();
        p.h.Click(IDC_OPEN);
        EXPECT_EQ(QuillonSim_NowMs() - start, 151 + c.readWaitMs);
        EXPECT_EQ(pauses, (std::vector<unsigned>{150, 1}));
        EXPECT_EQ(FaultPanel::CallLog(), std::string("FT_Close\n") + kCount +
                                             "FT_OpenEx(\"Quillon SC\",2)\n" + kConfigure + reads +
                                             (ready ? "" : "FT_Close\n") +
                                             "FT_SetTimeouts(100,100)\n");
        expectLink("USB not responding");

        // Healed: "Open" reaches the controller and the link carries a reply.
        c.heal();
        g_beforeCall = nullptr;
        p.h.Click(IDC_OPEN);
        EXPECT_EQ(p.Status(), kReadyText);
        p.h.Click(IDC_STATUS);
        p.TickUntilQuiet();
        EXPECT_EQ(p.Text(IDC_RECEIVED_BYTES), "20");
        FaultPanel::ExpectDecoderIdle();
    }

    // A device that is gone before "Open" looks for it is not opened at all.
    FaultPanel p;
    p.StartReady();
    QuillonSim_Unplug(0);
    p.h.Click(IDC_OPEN);
    EXPECT_EQ(p.Status(), "Could not open USB");
    EXPECT_EQ(g_bUsbOpen, 0);
    EXPECT_TRUE(p.h.prompts.records.empty());
}

}  // namespace

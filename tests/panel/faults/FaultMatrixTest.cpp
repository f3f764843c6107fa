// The fault matrix: the panel against driver libraries lacking an entry point, a controller that
// fails the handshake, and a cable pulled at an exact step.

#include "usb/LinkPanel.h"

namespace {

// Open, Soft, Enable on High, High for Open, both times, 3 repeats, On Power Up: a transfer that
// ends without starting a run.
const Strings kTransfer = {
    "AA", "DD", "FA A1", "FA B1", "FA 10 00 01 25 05", "FA 20 01 00 00 03", "FA F0 00 03", "FA F1"};
void ClickApply(LinkPanel& p)
{
    PanelState& s = p.P();
    s.m_nShutterState = s.m_nTriggerMode = s.m_nSyncPolarity = s.m_nFreeRunOption = 0;
    s.m_nShutterMode = 1;
    s.m_strRepeatNumber = "3";
    g_closedTime = {"0", "0", "1", "250", "5"};
    g_exposureTime = {"0", "1", "0", "0", "3"};
    p.P().UpdateData(false);
    p.h.Click(IDC_APPLY);
}

// After the link came back: nothing is awaited from before, and a whole transfer goes through.
void ExpectLinkCarriesReplies(LinkPanel& p)
{
    LinkPanel::ExpectDecoderIdle();
    p.Settle();
    ClickApply(p);
    p.TickUntilQuiet();
    EXPECT_EQ(SimWrites(), kTransfer);
    LinkPanel::ExpectDecoderIdle();
}

// The link is lost at the next tick: the status line says so, the panel stops writing, and "Open"
// after the replug brings the link back.
void ExpectLostThenReopen(LinkPanel& p)
{
    p.Tick();
    EXPECT_EQ(p.Status(), "USB not open.");
    EXPECT_EQ(g_bUsbOpen, 0);
    EXPECT_TRUE(p.h.prompts.records.empty());
    for (int id : {int(IDC_BLINK_LEDS), int(IDC_BLINK_OFF), int(IDC_SPEED), int(IDC_OPEN), IDOK})
        EXPECT_TRUE(p.Enabled(id)) << id;
    QuillonSim_ClearCallLog();
    p.Tick();
    p.h.Click(IDC_STATUS);
    EXPECT_EQ(SimCallLog(), "FT_SetTimeouts(100,100)\n");
    QuillonSim_Replug(0);
    p.h.Click(IDC_OPEN);
    EXPECT_EQ(p.Status(), kReadyText);
}

// Each entry point missing in turn, then no library at all. Binding stops at the first missing
// name, so every later one is missing too: each call of one shows a box naming it, the panel goes
// on, and what needs no missing entry point works.
TEST(FaultMatrix, ADriverLibraryLackingAnEntryPoint)
{
    const Strings order = {"FT_Write",           "FT_Read",        "FT_Open",
                           "FT_OpenEx",          "FT_ListDevices", "FT_Close",
                           "FT_ResetDevice",     "FT_Purge",       "FT_SetTimeouts",
                           "FT_GetQueueStatus",  "FT_SetBaudRate", "FT_SetLatencyTimer",
                           "FT_SetUSBParameters"};
    const std::string absent = "/nonexistent/libftd2xx.so";
    for (std::size_t missing = 0; missing <= order.size(); ++missing) {
        const bool none = missing == order.size();
        const auto bound = [&](const std::string& name) {
            return !none && std::find(order.begin(), order.end(), name) < order.begin() + missing;
        };
        const bool opens = bound("FT_OpenEx"), lost = opens && !bound("FT_GetQueueStatus");
        LinkPanel p(none ? absent
                         : BuildLibrary("libquillon-shim-without-" + order[missing] + ".so"));
        SCOPED_TRACE(none ? "no library" : order[missing]);
        p.h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", 0);
        p.h.profile->WriteProfileString("MyTiveloAp", "DescString", "Quillon SC");
        Strings shown;  // the status line after each step, " +" when it showed boxes (at start-up:
                        // more than the first)
        const auto step = [&](const std::function<void()>& act) {
            const std::size_t before = p.h.prompts.records.size() + shown.empty();
            act();
            shown.push_back(p.Status() + (p.h.prompts.records.size() > before ? " +" : ""));
        };
        step([&] { p.Start(); });
        step([&] { p.Tick(); });
        step([&] { p.h.Click(IDC_OPEN); });
        const std::string notResponding = "USB not responding";
        EXPECT_EQ(shown,
                  (Strings{(opens ? kReadyText : notResponding) + " +",
                           !opens ? notResponding
                           : lost ? "USB not open. +"
                                  : kReadyText,
                           (opens ? kReadyText : "Could not open USB") + std::string(" +")}));
        const auto& boxes = p.h.prompts.records;
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes[0].text,
                  none ? "Can't load the D2XX driver library.\n" + absent +
                             ": cannot open shared object file: No such file or directory"
                       : "Error: Can't Find " + order[missing]);
        for (const auto& box : boxes) {
            EXPECT_EQ(box.caption, p.P().AppName());
            const std::string name = box.text.substr(0, box.text.find(' '));
            if (&box != &boxes[0]) {
                EXPECT_EQ(box.text, name + " is not valid!");
                EXPECT_FALSE(bound(name)) << name;
            }
        }
        p.h.Click(IDC_STATUS);
        p.Tick();
        EXPECT_EQ(p.P().m_nReceivedBytes, opens && !lost ? 20 : 0);
    }
}

// Each way a controller can fail the handshake, at start-up and on "Open", then "Open" once the
// fault is gone. "Open" pauses on the simulator's clock, closes the device first, and closes it
// again when the handshake fails.
TEST(FaultMatrix, AControllerFailingTheHandshake)
{
    using Act = std::function<void()>;
    const auto before = [](const char* entryPoint, Act act) -> Act {  // once, at the next call
        return [=] {
            auto pending = std::make_shared<bool>(true);
            g_beforeCall = [=](const std::string& call) {
                if (*pending && call == entryPoint)
                    *pending = false, act();
            };
        };
    };
    const auto answerOnly = [](Bytes reply) -> Act {
        return [reply] { QuillonSim_SetSilent(0, 1), LinkPanel::Inject(reply); };
    };
    const Act speak = [] { QuillonSim_SetSilent(0, 0); }, nothing = [] {};
    struct Case {
        std::string name;
        Act fault, heal;
        const char* suffix;  // after the status text; nullptr: the link is ready
        Strings leftOver;    // listed at the first tick on a ready link
    };
    // clang-format off
    std::vector<Case> cases = {
        {"answered", nothing, nothing, nullptr, {}},
        {"silent", [] { QuillonSim_SetSilent(0, 1); }, speak, " (no reply)", {}},
        {"wrong byte", [] { QuillonSim_SetHandshakeReply(0, 0x41); },
         [] { QuillonSim_SetHandshakeReply(0, -1); }, " (0x41)", {}},
        {"handshake byte alone", before("FT_Write", answerOnly({0xEE})), speak, nullptr, {}},
        {"power byte alone", [] { QuillonSim_DropAnswerBytes(0, 1); }, nothing, " (0x01)", {}},
        {"a byte more", before("FT_Write", answerOnly({0xEE, 0x01, 0x07})), speak, nullptr,
         ByteLines({0x07})},
        {"garbled", [] { QuillonSim_CorruptAnswerBytes(0, 2); }, nothing, " (0x11)", {}},
        {"write fails", [] { QuillonSim_SetWriteStatus(0, 4); },
         [] { QuillonSim_SetWriteStatus(0, 0); }, " (no reply)", {}}};
    for (const char* call : {"FT_ResetDevice", "FT_SetTimeouts", "FT_Purge", "FT_SetLatencyTimer",
                             "FT_SetBaudRate", "FT_SetUSBParameters", "FT_Write", "FT_Read"})
        cases.push_back({call, before(call, [] { QuillonSim_Unplug(0); }),
                         [] { QuillonSim_Replug(0); }, " (no reply)", {}});
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkPanel p(BuildLibrary("libquillon-shim.so"));
        p.h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", 0);  // by description
        p.h.profile->WriteProfileString("MyTiveloAp", "DescString", "Quillon SC");
        std::vector<unsigned> pauses;
        p.h.options.waitMs = [&](unsigned ms) { pauses.push_back(ms), QuillonSim_Advance(ms); };
        const bool ready = c.suffix == nullptr;
        const auto expectLink = [&](const std::string& failedText) {
            EXPECT_EQ(p.Status(), ready ? std::string(kReadyText) : failedText + c.suffix);
            EXPECT_EQ(g_bUsbOpen, ready ? 1 : 0);
            for (int id : {IDC_BLINK_LEDS, IDC_BLINK_OFF, IDC_SPEED})
                EXPECT_EQ(p.Enabled(id), ready) << id;
            EXPECT_TRUE(p.h.prompts.records.empty());
            p.Tick();
            EXPECT_EQ(p.Lines(), ready ? c.leftOver : Strings{});
            EXPECT_EQ(p.Text(IDC_RECEIVED_BYTES), std::to_string(p.Lines().size()));
            p.Settle();
        };
        c.fault();
        p.Start();
        EXPECT_TRUE(pauses.empty());
        expectLink("No response from USB");
        c.heal();
        c.fault();
        p.h.Click(IDC_OPEN);
        EXPECT_EQ(pauses, (std::vector<unsigned>{150, 1}));
        const std::string log = SimCallLog(), end = "\nFT_Close\nFT_SetTimeouts(100,100)\n";
        EXPECT_EQ(log.rfind("FT_Close\n", 0), 0u) << log;
        EXPECT_EQ(log.size() > end.size() && log.substr(log.size() - end.size()) == end, !ready);
        expectLink("USB not responding");
        c.heal();
        g_beforeCall = nullptr;
        p.h.Click(IDC_OPEN);
        EXPECT_EQ(p.Status(), kReadyText);
        p.h.Click(IDC_STATUS);
        p.TickUntilQuiet();
        EXPECT_EQ(p.Text(IDC_RECEIVED_BYTES), "20");
        LinkPanel::ExpectDecoderIdle();

        // A device that is gone before "Open" looks for it is not opened at all.
        QuillonSim_Unplug(0);
        p.h.Click(IDC_OPEN);
        EXPECT_EQ(p.Status(), "Could not open USB");
        EXPECT_EQ(g_bUsbOpen, 0);
    }
}

// The cable pulled part-way through a reply, while a status request is owed after Reset, after
// each answered step of Apply's transfer: the bytes that came
// are counted and listed once, and after "Open" nothing of the old link is awaited.
TEST(FaultMatrix, ACablePulledOnAWorkingLink)
{
    const Bytes status = {0xCC, 0xAC, 0xDC, 0x00, 0xA1, 0xB2, 0x10, 0, 0, 0,
                          0,    0x20, 0,    0,    0,    0,    0xF0, 0, 0, 0x0D};
    const auto partOf = [](int button, const Bytes& reply, long n) {
        return [=](LinkPanel& p) {
            QuillonSim_SetSilent(0, 1);
            p.h.Click(button);
            LinkPanel::Inject(Bytes(reply.begin(), reply.begin() + n));
            p.Tick();
            QuillonSim_SetSilent(0, 0);
        };
    };
    std::vector<std::tuple<std::string, std::function<void(LinkPanel&)>, int>> cases = {
        {"status, last byte missing", partOf(IDC_STATUS, status, 19), 19},
        {"identity, mid-way", partOf(IDC_CONTROLLER_INFO, {0xFD, 'Q', 'S', 'C', '1'}, 5), 5},
        {"reset, marker owed", partOf(IDC_RESET, {}, 0), 0},
    };
    int answered = 0;
    for (std::size_t step = 0; step < kTransfer.size(); ++step) {
        cases.push_back({"transfer, after " + kTransfer[step],
                         [step](LinkPanel& p) {
                             ClickApply(p);
                             for (std::size_t i = 0; i < step; ++i) p.Tick();
                         },
                         answered});
        answered += int(kTransfer[step].size() + 1) / 3 + 1;  // the echo and a ready byte
    }
    for (const auto& [name, act, received] : cases) {
        SCOPED_TRACE(name);
        LinkPanel p;
        p.StartReady();
        act(p);
        QuillonSim_Unplug(0);
        ExpectLostThenReopen(p);
        EXPECT_EQ(p.P().m_nReceivedBytes, received) << "each byte counted once";
        EXPECT_EQ(p.Text(IDC_RECEIVED_BYTES), std::to_string(received));
        ExpectLinkCarriesReplies(p);
    }
}

}  // namespace

// Faults while the link is set up: a driver library lacking an entry point, and a controller that
// fails the handshake, or whose cable is pulled at a step of it, at start-up and on "Open".

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "faults/FaultPanel.h"

namespace {

constexpr const char* kCount = "FT_ListDevices(0x80000000)\n";
constexpr const char* kConfigure =
    "FT_ResetDevice\nFT_SetTimeouts(3000,3000)\nFT_Purge(1)\nFT_SetLatencyTimer(2)\n"
    "FT_SetBaudRate(128000)\nFT_SetUSBParameters(64,0)\nFT_Write(EE)\nFT_Read(2)\n";

// "FT_A FT_B" -> the boxes "FT_A is not valid!", "FT_B is not valid!".
Strings NotValid(const std::string& entryPoints)
{
    Strings boxes;
    std::istringstream in(entryPoints);
    for (std::string name; in >> name;) boxes.push_back(name + " is not valid!");
    return boxes;
}

Strings Join(Strings a, const Strings& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Each entry point missing in turn. Binding stops at the first missing name, so every entry point
// after it in the binding order is missing too: each call of one shows a box, the panel goes on.
TEST(MissingEntryPointTest, EachMissingEntryPointIsReportedAndThePanelGoesOn)
{
    const Strings order = {"FT_Write",           "FT_Read",        "FT_Open",
                           "FT_OpenEx",          "FT_ListDevices", "FT_Close",
                           "FT_ResetDevice",     "FT_Purge",       "FT_SetTimeouts",
                           "FT_GetQueueStatus",  "FT_SetBaudRate", "FT_SetLatencyTimer",
                           "FT_SetUSBParameters"};
    const std::string absent = "/nonexistent/libftd2xx.so";
    const std::string noOpen = "FT_OpenEx FT_SetTimeouts";
    const std::string tuning =
        "FT_SetTimeouts FT_Purge FT_SetLatencyTimer FT_SetBaudRate FT_SetUSBParameters "
        "FT_SetTimeouts";
    const std::string configure = "FT_ResetDevice " + tuning;
    const std::string lateSetters = "FT_SetLatencyTimer FT_SetBaudRate FT_SetUSBParameters";
    struct Case {
        const char* missing;    // nullptr: no library at all
        std::string handshake;  // the entry points reported by one start-up or "Open"
    };
    const Case cases[] = {
        {nullptr, noOpen},
        {"FT_Write", noOpen},
        {"FT_Read", noOpen},
        {"FT_Open", noOpen},
        {"FT_OpenEx", noOpen},
        // From here the device opens and answers the handshake (the simulator needs no time-outs).
        {"FT_ListDevices", configure},
        {"FT_Close", configure},
        {"FT_ResetDevice", configure},
        {"FT_Purge", tuning},
        {"FT_SetTimeouts", "FT_SetTimeouts " + lateSetters + " FT_SetTimeouts"},
        {"FT_GetQueueStatus", lateSetters},
        {"FT_SetBaudRate", lateSetters},
        {"FT_SetLatencyTimer", "FT_SetLatencyTimer FT_SetUSBParameters"},
        {"FT_SetUSBParameters", "FT_SetUSBParameters"},
    };
    for (const Case& c : cases) {
        const std::string library =
            c.missing ? BuildLibrary(std::string("libquillon-shim-without-") + c.missing + ".so")
                      : absent;
        SCOPED_TRACE(library);
        const auto from =
            c.missing ? std::find(order.begin(), order.end(), c.missing) : order.begin();
        const auto bound = [&](const char* name) {
            return std::find(order.begin(), order.end(), name) < from;
        };
        const bool opens = bound("FT_OpenEx");
        const bool polls = bound("FT_GetQueueStatus");
        const Strings handshake = NotValid(c.handshake);
        const Strings noClose = bound("FT_Close") ? Strings{} : NotValid("FT_Close");
        FaultPanel p(library);
        p.h.options.terminalLine = [](const std::string&) {};
        p.ByDescription();
        p.Start();
        const std::string first =
            c.missing ? std::string("Error: Can't Find ") + c.missing
                      : "Can't load the D2XX driver library.\n" + absent +
                            ": cannot open shared object file: No such file or directory";
        EXPECT_EQ(p.h.prompts.MessageTexts(), Join({first}, handshake));
        EXPECT_EQ(p.Status(), opens ? kReadyText : "USB not responding");
        p.h.prompts.Clear();
        p.Tick();
        EXPECT_EQ(p.h.prompts.MessageTexts(),
                  opens && !polls ? Join(NotValid("FT_GetQueueStatus"), noClose) : Strings{});
        EXPECT_EQ(p.Status(), !opens ? "USB not responding" : polls ? kReadyText : kLostText);
        p.h.prompts.Clear();
        p.h.Click(IDC_OPEN);
        EXPECT_EQ(p.h.prompts.MessageTexts(), Join(noClose, handshake));
        EXPECT_EQ(p.Status(), opens ? kReadyText : "Could not open USB");
        EXPECT_EQ(g_bUsbOpen, opens ? 1 : 0);
        p.h.Click(IDC_STATUS);
        p.Tick();
        EXPECT_EQ(p.Received(), opens && polls ? 20 : 0);
        for (const auto& record : p.h.prompts.records)
            EXPECT_EQ(record.caption, p.Panel().AppName());
        EXPECT_TRUE(p.Panel().isVisible());
    }
}

// The handshake at start-up and on "Open" against each way a controller can fail it, then "Open"
// once the fault is gone. The calls are the same whatever happens: a pulled cable costs no wait,
// a silent device two 3 s time-outs on the simulator's clock. "Open" closes a device left open
// by a failed handshake before trying again.
TEST(HandshakeFaultTest, EachFaultIsShownAndOpenRecoversOnceItIsGone)
{
    using Act = std::function<void()>;
    struct Case {
        std::string name;
        Act fault;  // armed just before start-up and before "Open"
        Act heal;
        const char* suffix;   // after the status text; nullptr: the link is ready
        unsigned readWaitMs;  // spent in the handshake's reads
        Strings leftOver;     // listed at the first tick on a ready link
    };
    // Acts once, just before the next call of entryPoint.
    const auto before = [](const char* entryPoint, Act act) -> Act {
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
    const auto answerOnly = [](Bytes reply) -> Act {
        return [reply] {
            QuillonSim_SetSilent(0, 1);
            FaultPanel::Inject(reply);
        };
    };
    const Act speak = [] { QuillonSim_SetSilent(0, 0); };
    const Act nothing = [] {};
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
        cases.push_back({std::string("cable pulled at ") + call,
                         before(call, [] { QuillonSim_Unplug(0); }),
                         [] { QuillonSim_Replug(0); },
                         " (no reply)",
                         0,
                         {}});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultPanel p;
        p.ByDescription();
        std::vector<unsigned> pauses;
        p.h.options.waitMs = [&](unsigned ms) {
            pauses.push_back(ms);
            QuillonSim_Advance(ms);
        };
        const bool ready = c.suffix == nullptr;
        // Nothing at all came: the handshake reads once more.
        const std::string reads =
            !ready && std::string(c.suffix) == " (no reply)" ? "FT_Read(2)\n" : "";
        const std::string opening =
            std::string(kCount) + "FT_OpenEx(\"Quillon SC\",2)\n" + kConfigure + reads;
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
        EXPECT_EQ(SimCallLog(), opening + "FT_SetTimeouts(100,100)\n");
        EXPECT_TRUE(pauses.empty());
        expectLink("No response from USB");

        c.heal();
        c.fault();
        start = QuillonSim_NowMs();
        p.h.Click(IDC_OPEN);
        EXPECT_EQ(QuillonSim_NowMs() - start, 151 + c.readWaitMs);
        EXPECT_EQ(pauses, (std::vector<unsigned>{150, 1}));
        EXPECT_EQ(SimCallLog(), "FT_Close\n" + opening + (ready ? "" : "FT_Close\n") +
                                    "FT_SetTimeouts(100,100)\n");
        expectLink("USB not responding");

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

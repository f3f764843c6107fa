// Faults on a working link: the cable pulled in the middle of what the panel does, write errors on
// each kind of command, replies with bytes missing, extra or garbled. Only the link exercise's
// worker runs in real time, waited for with a deadline.

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "faults/FaultPanel.h"
#include "panel/CNdStepsDlg.h"
#include "usb/LinkExercise.h"

namespace {

// The bytes that passed one way on the link, from the simulator's transcript.
Bytes Transcript(int direction)
{
    std::vector<QuillonSimEvent> events(QuillonSim_Transcript(nullptr, 0));
    events.resize(QuillonSim_Transcript(events.data(), events.size()));
    Bytes bytes;
    for (const QuillonSimEvent& e : events)
        if (e.direction == direction)
            bytes.push_back(e.byte);
    return bytes;
}

// Bytes of the link exercise (0x40-0x4F) that reached the controller.
std::size_t ExerciseBytes()
{
    const Bytes b = Transcript(QUILLON_SIM_TO_DEVICE);
    return std::count_if(b.begin(), b.end(), [](uint8_t x) { return (x & 0xF0) == 0x40; });
}

// Waits, at most 30 s of real time, for the worker thread to bring `done` about.
bool WaitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

bool ExerciseWritesMore(std::size_t than)
{
    return WaitFor([than] { return ExerciseBytes() > than; });
}

// Open, Soft, Enable on High, High for Open, both times, 3 repeats, On Power Up: a configuration
// whose transfer ends without starting a run.
void SetUpPanelForTransfer(CShutterPanelDlg& panel)
{
    panel.m_nShutterState = 0;
    panel.m_nShutterMode = 1;
    panel.m_nTriggerMode = 0;
    panel.m_nSyncPolarity = 0;
    panel.m_strRepeatNumber = "3";
    panel.m_nFreeRunOption = 0;
    g_closedTime = {"0", "0", "1", "250", "5"};
    g_exposureTime = {"0", "1", "0", "0", "3"};
    panel.UpdateData(false);
}

// After the link came back or a fault went: nothing is awaited from before, a plain command's
// echo is listed as such, and a status reply brings the controller's settings into the panel.
void ExpectLinkCarriesReplies(FaultPanel& p)
{
    FaultPanel::ExpectDecoderIdle();
    p.Settle();
    p.h.Click(IDC_SHUTTER_CLOSE);
    p.TickUntilQuiet();
    EXPECT_EQ(SimWrites(), Strings{"AC"});
    EXPECT_EQ(p.Lines(), ByteLines({0xAC, 0x0D}));
    EXPECT_TRUE(p.Checked(IDC_SHUTTER_CLOSE));
    FaultPanel::ExpectDecoderIdle();
    p.h.Click(IDC_STATUS);
    p.TickUntilQuiet();
    EXPECT_EQ(SimWrites(), Strings{"CC"});
    EXPECT_EQ(p.Text(IDC_RECEIVED_BYTES), "22");
    p.ExpectCountMatchesList();
    FaultPanel::ExpectDecoderIdle();
    const QuillonSimState s = FaultPanel::Controller();
    EXPECT_EQ(p.Checked(IDC_SHUTTER_CLOSE), s.shutterOpen == 0);
    EXPECT_EQ(p.Checked(IDC_SOFT), s.mode == 1);
    EXPECT_EQ(p.Text(IDC_REPEAT), std::to_string(s.repeatCount));
}

// The link is lost at the next tick: the status line says so, the panel stops polling and
// writing, and "Open" after the replug brings the link back.
void ExpectLostThenReopen(FaultPanel& p)
{
    if (g_bUsbOpen)
        p.Tick();
    EXPECT_EQ(p.Status(), kLostText);
    EXPECT_EQ(g_bUsbOpen, 0);
    EXPECT_TRUE(p.h.prompts.records.empty());
    for (int id : {int(IDC_BLINK_LEDS), int(IDC_BLINK_OFF), int(IDC_SPEED), int(IDC_OPEN), IDOK})
        EXPECT_TRUE(p.Panel().IsDlgItemEnabled(id)) << id;
    QuillonSim_ClearCallLog();
    p.Tick();
    p.h.Click(IDC_STATUS);
    EXPECT_EQ(SimCallLog(), "FT_SetTimeouts(100,100)\n");
    QuillonSim_Replug(0);
    p.h.Click(IDC_OPEN);
    EXPECT_EQ(p.Status(), kReadyText);
    EXPECT_EQ(g_bUsbOpen, 1);
}

// The cable pulled part-way through a reply (status, identity), while a status request is owed
// after Reset, or after each answered step of Apply's transfer: the bytes that came are counted
// and listed once, and after "Open" nothing of the old link is awaited, so the next echo is not
// taken for the rest of a reply or for the transfer's answer (which would send the rest unasked).
TEST(PulledCableTest, DuringAReplyOrATransfer)
{
    const Bytes status = {0xCC, 0xAC, 0xDC, 0x00, 0xA1, 0xB2, 0x10, 0, 0, 0,
                          0,    0x20, 0,    0,    0,    0,    0xF0, 0, 0, 0x0D};
    const Bytes identity = {0xFD, 'Q', 'S', 'C', '1', '0'};
    struct Case {
        std::string name;
        std::function<void(FaultPanel&)> act;
        int received;
        Strings lines = {};   // the list when the cable goes (unchecked for the transfer)
        Strings writes = {};  // the frames written (unchecked for the replies)
    };
    // The first `before` bytes of the reply to `button` arrive.
    const auto partOf = [&](int button, std::size_t before) {
        return [&, button, before](FaultPanel& p) {
            const Bytes& reply = button == IDC_STATUS ? status : identity;
            QuillonSim_SetSilent(0, 1);
            p.h.Click(button);
            FaultPanel::Inject(Bytes(reply.begin(), reply.begin() + long(before)));
            p.Tick();
            QuillonSim_SetSilent(0, 0);
        };
    };
    const auto head = [&](std::size_t n) {
        return ByteLines(Bytes(status.begin(), status.begin() + long(n)));
    };
    std::vector<Case> cases = {
        {"status, first byte", partOf(IDC_STATUS, 1), 1, head(1)},
        {"status, mid-way", partOf(IDC_STATUS, 9), 9, head(9)},
        {"status, last byte missing", partOf(IDC_STATUS, 19), 19, head(19)},
        {"identity, mid-way", partOf(IDC_CONTROLLER_INFO, 6), 6, {"253  0xFD"}},
        {"reset, marker owed", partOf(IDC_RESET, 0), 0, {}},
    };
    const Strings frames = {
        "AA",          "DD",   "FA A1", "FA B1", "FA 10 00 01 25 05", "FA 20 01 00 00 03",
        "FA F0 00 03", "FA F1"};
    int answered = 0;
    for (std::size_t step = 0; step < frames.size(); ++step) {
        cases.push_back({"transfer, pulled after frame " + frames[step],
                         [step](FaultPanel& p) {
                             SetUpPanelForTransfer(p.Panel());
                             p.h.Click(IDC_APPLY);
                             for (std::size_t i = 0; i < step; ++i) p.Tick();
                         },
                         answered,
                         {},
                         Strings(frames.begin(), frames.begin() + long(step) + 1)});
        answered += int(frames[step].size() + 1) / 3 + 1;  // the frame's echo and a ready byte
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultPanel p;
        p.StartReady();
        c.act(p);
        QuillonSim_Unplug(0);
        if (c.writes.empty()) {
            EXPECT_EQ(p.Lines(), c.lines);
        } else {
            EXPECT_EQ(SimWrites(), c.writes);
            p.ExpectCountMatchesList();
        }
        ExpectLostThenReopen(p);
        EXPECT_EQ(p.Received(), c.received) << "each byte counted once";
        ExpectLinkCarriesReplies(p);

        SetUpPanelForTransfer(p.Panel());
        p.h.Click(IDC_APPLY);
        p.TickUntilQuiet();
        EXPECT_EQ(SimWrites(), frames);
        FaultPanel::ExpectDecoderIdle();
        EXPECT_EQ(FaultPanel::Controller().mode, 1);
        EXPECT_EQ(FaultPanel::Controller().repeatCount, 3);
    }
}

// The cable pulled while the link exercise streams: the tick that finds the device gone closes it
// and stops the worker without waiting for it, and after "Open" the exercise streams again.
TEST(PulledCableTest, DuringTheLinkExercise)
{
    FaultPanel p;
    p.StartReady();
    g_nBlinkSpeed = 499;
    p.h.Click(IDC_BLINK_LEDS);
    ASSERT_FALSE(p.Panel().IsDlgItemEnabled(IDOK));
    ASSERT_TRUE(ExerciseWritesMore(5));
    QuillonSim_Unplug(0);
    QuillonSim_ClearCallLog();
    p.Tick();
    EXPECT_EQ(g_bBlinkRunning, 0);
    p.Panel().StopBlinkWorker();
    EXPECT_FALSE(p.Panel().m_blink->Running());
    // The worker's writes aside, the tick asked for the queue and closed the device.
    std::istringstream log(SimCallLog());
    std::string calls;
    for (std::string line; std::getline(log, line);)
        if (line.rfind("FT_Write", 0) != 0)
            calls += line + "\n";
    EXPECT_EQ(calls, "FT_GetQueueStatus\nFT_Close\n");
    EXPECT_EQ(p.Received(), 0);
    ExpectLostThenReopen(p);

    const std::size_t before = ExerciseBytes();
    p.h.Click(IDC_BLINK_LEDS);
    EXPECT_TRUE(ExerciseWritesMore(before + 5));
    p.h.Click(IDC_BLINK_OFF);
    p.Panel().StopBlinkWorker();
    EXPECT_EQ(p.Status(), kReadyText);
}

// Every kind of command with its write failing (an I/O error, or a time-out that wrote none of
// it): the controller sees nothing, no answer is awaited (reply, transfer answer, owed status
// request, counted run), the status line keeps "ready", and the write is not retried.
void FailWrites(bool timeOut, bool fail)
{
    if (timeOut)
        QuillonSim_SetWriteLimit(0, fail ? 0 : -1);
    else
        QuillonSim_SetWriteStatus(0, fail ? 4 : 0);
}

TEST(WriteErrorTest, EachKindOfCommand)
{
    for (const bool timeOut : {false, true}) {
        struct Case {
            int button;                            // clicked with every write failing, or
            std::function<void(FaultPanel&)> act;  // what runs with the writes failing from then on
            int received = 0;  // answer bytes that still come (from frames before the failure)
        };
        std::vector<Case> cases = {
            {0, [](FaultPanel& p) { p.h.Click(IDC_APPLY); }, 2},  // a later step of the transfer
            {0,
             [timeOut](FaultPanel& p) {  // the status request owed after Reset
                 p.h.Click(IDC_RESET);
                 FailWrites(timeOut, true);
                 QuillonSim_Advance(QUILLON_SIM_RESET_MARKER_MS);
             },
             1},
        };
        for (int id : {IDC_SHUTTER_OPEN,
                       IDC_SOFT,
                       IDC_ND,
                       IDC_FALLING_EDGE,
                       IDC_LOW_FOR_OPEN,
                       IDC_TRIGGER_PULSE,
                       IDC_ONLINE,
                       IDC_POWER_OFF,
                       IDC_CONTROLLER_INFO,
                       IDC_STATUS,
                       IDC_RESET,
                       IDC_RESTORE_DEFAULT,
                       IDC_SAVE_TO_CONTROLLER,
                       IDC_SET_TIMER,
                       IDC_SEND_REPEAT,
                       IDC_ON_POWER_UP,
                       IDC_ON_TRIGGER,
                       IDC_GO,
                       IDC_STOP,
                       IDC_APPLY})
            cases.push_back({id, nullptr});
        for (const Case& c : cases) {
            FaultPanel p;
            p.h.options.runDialog = [](CDialog& dlg) {
                dlg.Create();
                dlg.Item<QLineEdit>(IDC_ND_STEPS)->setText("72");
                QTest::mouseClick(dlg.Item<QPushButton>(IDOK), Qt::LeftButton);
                return dlg.result() == QDialog::Accepted;
            };
            p.StartReady();
            SCOPED_TRACE(c.button ? p.Text(c.button) : "case " + std::to_string(&c - cases.data()));
            SCOPED_TRACE(timeOut ? "nothing written" : "I/O error");
            p.h.TypeText(IDC_REPEAT, "3");
            p.h.prompts.answers = {MbResult::Ok};
            QuillonSim_ClearTranscript();
            if (c.button) {
                FailWrites(timeOut, true);
                p.h.Click(c.button);
            } else {
                c.act(p);
            }
            FailWrites(timeOut, true);
            p.TickUntilQuiet();
            EXPECT_EQ(p.Received(), c.received);
            EXPECT_EQ(Transcript(QUILLON_SIM_TO_DEVICE).empty(), c.received == 0);
            FaultPanel::ExpectDecoderIdle();
            EXPECT_EQ(g_nFreeRunKind, 0);
            EXPECT_EQ(p.Status(), kReadyText);
            EXPECT_EQ(g_bUsbOpen, 1);

            FailWrites(timeOut, false);
            ExpectLinkCarriesReplies(p);
        }
    }
}

// The link exercise's writes failing: an I/O error is left to the tick to judge (the device is
// still there, so the worker goes on until "Blink Off"); any other error ends the worker at once,
// and the buttons show the exercise until "Blink Off". Afterwards the exercise streams again.
TEST(WriteErrorTest, LinkExercise)
{
    // Link exercise bytes the driver was asked to write, failed or not.
    const auto writeCalls = [] {
        const std::string log = SimCallLog();
        std::size_t n = 0;
        for (auto at = log.find("FT_Write(4"); at != std::string::npos;
             at = log.find("FT_Write(4", at + 1))
            ++n;
        return n;
    };
    for (const uint32_t status : {4u, 18u}) {
        SCOPED_TRACE(status);
        FaultPanel p;
        p.StartReady();
        g_nBlinkSpeed = 499;
        QuillonSim_SetWriteStatus(0, status);
        p.h.Click(IDC_BLINK_LEDS);
        const std::size_t tries = status == 4 ? 5 : 1;
        ASSERT_TRUE(WaitFor([&] { return writeCalls() >= tries; }));
        if (status != 4) {
            EXPECT_TRUE(WaitFor([&] { return !p.Panel().m_blink->Running(); }));
            EXPECT_EQ(writeCalls(), 1u) << "no write after the failed one";
        }
        p.TickUntilQuiet();
        EXPECT_EQ(p.Status(), kReadyText);
        EXPECT_FALSE(p.Panel().IsDlgItemEnabled(IDC_BLINK_LEDS));
        EXPECT_FALSE(p.Panel().IsDlgItemEnabled(IDOK));
        p.h.Click(IDC_BLINK_OFF);
        p.Panel().StopBlinkWorker();
        EXPECT_EQ(ExerciseBytes(), 0u) << "nothing reached the controller";
        for (int id : {int(IDC_BLINK_LEDS), int(IDC_BLINK_OFF), int(IDC_SPEED), IDOK})
            EXPECT_TRUE(p.Panel().IsDlgItemEnabled(id)) << id;

        QuillonSim_SetWriteStatus(0, 0);
        p.h.Click(IDC_BLINK_LEDS);
        EXPECT_TRUE(ExerciseWritesMore(5));
        p.h.Click(IDC_BLINK_OFF);
        p.Panel().StopBlinkWorker();
    }
}

// Replies a byte short or a byte long. The decoder counts bytes and has no time-out: a reply a
// byte short takes the first byte of what comes next (the next echo completes a status reply or
// ends in the identity's text; a transfer a byte short resumes on the next echo and sends the
// rest). A byte too many is listed on its own. The Shutter Close echo shows what the operator sees.
TEST(ReplyLengthTest, ABytesShortOrABytesMore)
{
    using Act = std::function<void(FaultPanel&)>;
    struct Case {
        const char* name;
        Act act;
        int received;                                 // bytes counted after the reply
        Strings echoLines = ByteLines({0xAC, 0x0D});  // the first lines the echo adds
        Strings echoWrites = {"AC"};  // what goes out when Shutter Close is clicked and answered
        int echoReceived = 2;         // bytes counted from the click on
    };
    const Act transfer = [](FaultPanel& p) {
        SetUpPanelForTransfer(p.Panel());
        p.h.Click(IDC_APPLY);
    };
    const auto thenInject = [](Act first) -> Act {
        return [first](FaultPanel& p) {
            first(p);
            FaultPanel::Inject({0x07});
        };
    };
    const auto click = [](int id) -> Act { return [id](FaultPanel& p) { p.h.Click(id); }; };
    const Case cases[] = {
        {"status, a byte short",
         [](FaultPanel& p) {
             QuillonSim_DropAnswerBytes(0, 1);
             p.h.Click(IDC_STATUS);
         },
         19},
        {"status, a byte more", thenInject(click(IDC_STATUS)), 21},
        {"identity, a byte short",
         [](FaultPanel& p) {
             QuillonSim_SetSilent(0, 1);
             p.h.Click(IDC_CONTROLLER_INFO);
             FaultPanel::Inject({0xFD, 'Q', 'S', 'C', '1', '0', '0', '0', '1', 'V', '1', '.'});
             QuillonSim_SetSilent(0, 0);
         },
         12,
         {"QSC10001", "V1.\xC2\xAC", "13  0x0D"}},
        {"identity, a byte more", thenInject(click(IDC_CONTROLLER_INFO)), 14},
        {"transfer answer, a byte short",
         [transfer](FaultPanel& p) {
             transfer(p);
             QuillonSim_DropAnswerBytes(0, 1);
         },
         3,
         ByteLines({0xAC, 0x0D}),
         {"AC", "FA A1", "FA B1", "FA 10 00 01 25 05", "FA 20 01 00 00 03", "FA F0 00 03", "FA F1"},
         2 + 3 + 3 + 7 + 7 + 5},
        {"transfer answer, a byte more", thenInject(transfer), 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultPanel p;
        p.StartReady();
        c.act(p);
        p.TickUntilQuiet();
        EXPECT_EQ(p.Received(), c.received);
        EXPECT_EQ(p.Text(IDC_RECEIVED_BYTES), std::to_string(c.received));
        const std::size_t lines = p.Lines().size();
        SimWrites();
        p.h.Click(IDC_SHUTTER_CLOSE);
        p.TickUntilQuiet();
        EXPECT_EQ(SimWrites(), c.echoWrites);
        const Strings all = p.Lines();
        ASSERT_GE(all.size(), lines + c.echoLines.size());
        EXPECT_EQ(
            Strings(all.begin() + long(lines), all.begin() + long(lines + c.echoLines.size())),
            c.echoLines);
        EXPECT_EQ(p.Received(), c.received + c.echoReceived);
        FaultPanel::ExpectDecoderIdle();
    }
}

}  // namespace

// A driver may report an I/O error together with bytes it did receive: they are still listed,
// counted and decoded.
TEST(ReadErrorTest, BytesThatCameWithAnIoErrorCount)
{
    FaultPanel p;
    p.StartReady();
    p.SetReadStatus(FT_IO_ERROR);
    p.h.Click(IDC_STATUS);
    p.Tick();
    p.SetReadStatus(0);
    const Bytes reply = {0xCC, 0xAC, 0xDC, 0x00, 0xA1, 0xB2, 0x10, 0, 0, 0,
                         0,    0x20, 0,    0,    0,    0,    0xF0, 0, 0, 0x0D};
    EXPECT_EQ(p.Lines(), ByteLines(reply));
    p.ExpectCountMatchesList();
    FaultPanel::ExpectDecoderIdle();
    EXPECT_EQ(p.Status(), kReadyText);
}

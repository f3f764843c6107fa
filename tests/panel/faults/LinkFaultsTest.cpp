// Faults on a working link: the cable pulled in the middle of what the panel does, then
// replugged and opened again; write errors on each kind of command; replies with bytes missing,
// extra or garbled. The panel and the simulator run on the simulator's manual clock; only the
// link exercise's worker runs in real time, waited for with a deadline.

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <random>
#include <thread>

#include "faults/FaultPanel.h"
#include "protocol/CNdStepsDlg.h"
#include "usb/LinkExercise.h"

namespace {

// Bytes the link exercise wrote (0x40-0x4F), from the simulator's transcript.
std::size_t ExerciseBytes()
{
    std::vector<QuillonSimEvent> events(QuillonSim_Transcript(nullptr, 0));
    events.resize(QuillonSim_Transcript(events.data(), events.size()));
    std::size_t n = 0;
    for (const QuillonSimEvent& e : events)
        n += e.direction == QUILLON_SIM_TO_DEVICE && (e.byte & 0xF0) == 0x40;
    return n;
}

// Waits, at most 30 s of real time, until the exercise has written more than `than` bytes.
bool ExerciseWritesMore(std::size_t than)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ExerciseBytes() <= than) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
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

// Answer bytes of a frame: its echo and a ready byte.
std::size_t Answer(const std::string& hexFrame)
{
    return (hexFrame.size() + 1) / 3 + 1;
}

// After the link came back, or a fault went: nothing is awaited from before, a plain command's echo
// is listed as such, and a status reply brings the controller's settings into the panel.
void ExpectLinkCarriesReplies(FaultPanel& p)
{
    FaultPanel::ExpectDecoderIdle();
    p.Settle();
    p.h.Click(IDC_SHUTTER_CLOSE);
    p.TickUntilQuiet();
    EXPECT_EQ(FaultPanel::Writes(), Strings{"AC"});
    EXPECT_EQ(p.Lines(), ByteLines({0xAC, 0x0D}));
    EXPECT_TRUE(p.Checked(IDC_SHUTTER_CLOSE));
    FaultPanel::ExpectDecoderIdle();
    p.h.Click(IDC_STATUS);
    p.TickUntilQuiet();
    EXPECT_EQ(FaultPanel::Writes(), Strings{"CC"});
    EXPECT_EQ(p.Text(IDC_RECEIVED_BYTES), "22");
    p.ExpectCountMatchesList();
    FaultPanel::ExpectDecoderIdle();
    const QuillonSimState s = FaultPanel::Controller();
    EXPECT_EQ(p.Checked(IDC_SHUTTER_CLOSE), s.shutterOpen == 0);
    EXPECT_EQ(p.Checked(IDC_SOFT), s.mode == 1);
    EXPECT_EQ(p.Text(IDC_REPEAT), std::to_string(s.repeatCount));
}

// The link is lost at the next tick: the status line says so, the panel stops polling, and
// "Open" after the replug brings the link back.
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
    EXPECT_EQ(FaultPanel::CallLog(), "FT_SetTimeouts(100,100)\n")
        << "no tick polls a lost link and no command goes out on it";
    QuillonSim_Replug(0);
    p.h.Click(IDC_OPEN);
    EXPECT_EQ(p.Status(), kReadyText);
    EXPECT_EQ(g_bUsbOpen, 1);
}

// The cable pulled after each answered step of Apply's transfer: the frames before it went out
// once each, every answer byte that came is counted and listed once, and after the replug and
// "Open" nothing of the old transfer is awaited: a later echo is not taken for its answer (which
// would send the rest of the configuration unasked). Apply then completes on the new link.
TEST(PulledCableTest, DuringEachStepOfApply)
{
    Strings frames;
    {
        FaultPanel p;
        p.StartReady();
        SetUpPanelForTransfer(p.Panel());
        p.h.Click(IDC_APPLY);
        p.TickUntilQuiet();
        frames = FaultPanel::Writes();
        ASSERT_EQ(frames.size(), 8u);
        ASSERT_EQ(frames.back(), "FA F1");
    }
    std::size_t answered = 0;
    for (std::size_t step = 0; step < 8; ++step) {
        SCOPED_TRACE("pulled after frame " + frames[step]);
        FaultPanel p;
        p.StartReady();
        SetUpPanelForTransfer(p.Panel());
        p.h.Click(IDC_APPLY);
        for (std::size_t i = 0; i < step; ++i) p.Tick();
        QuillonSim_Unplug(0);
        EXPECT_EQ(FaultPanel::Writes(), Strings(frames.begin(), frames.begin() + long(step) + 1));
        ExpectLostThenReopen(p);
        EXPECT_EQ(p.Panel().m_nReceivedBytes, int(answered));
        p.ExpectCountMatchesList();
        ExpectLinkCarriesReplies(p);

        SetUpPanelForTransfer(p.Panel());
        p.h.Click(IDC_APPLY);
        p.TickUntilQuiet();
        EXPECT_EQ(FaultPanel::Writes(), frames);
        FaultPanel::ExpectDecoderIdle();
        EXPECT_EQ(FaultPanel::Controller().mode, 1);
        EXPECT_EQ(FaultPanel::Controller().repeatCount, 3);
        answered += Answer(frames[step]);
    }
}

// What the controller answers to a button on a fresh panel, from the simulator's transcript.
Bytes ReplyTo(int button)
{
    FaultPanel p;
    p.StartReady();
    QuillonSim_ClearTranscript();
    p.h.Click(button);
    std::vector<QuillonSimEvent> events(QuillonSim_Transcript(nullptr, 0));
    events.resize(QuillonSim_Transcript(events.data(), events.size()));
    Bytes reply;
    for (const QuillonSimEvent& e : events)
        if (e.direction == QUILLON_SIM_FROM_DEVICE)
            reply.push_back(e.byte);
    return reply;
}

// The cable pulled part-way through a reply the decoder is taking in (status, identity), or
// while a status request is owed after Reset: the bytes that came are decoded once, and after
// the replug and "Open" the decoder waits for nothing of the old link, so the next echo is listed
// as itself rather than taken for the rest of the old reply.
TEST(PulledCableTest, DuringAReply)
{
    struct Case {
        const char* name;
        int button;
        std::size_t before;  // reply bytes that arrive before the cable goes
        Strings lines;       // what the list shows of them
    };
    const Bytes status = ReplyTo(IDC_STATUS);
    ASSERT_EQ(status.size(), 20u);
    const Bytes identity = ReplyTo(IDC_CONTROLLER_INFO);
    ASSERT_EQ(identity.size(), 13u);
    const auto head = [](const Bytes& reply, std::size_t n) {
        return ByteLines(Bytes(reply.begin(), reply.begin() + long(n)));
    };
    const Case cases[] = {
        {"status, first byte", IDC_STATUS, 1, head(status, 1)},
        {"status, mid-way", IDC_STATUS, 9, head(status, 9)},
        {"status, last byte missing", IDC_STATUS, 19, head(status, 19)},
        {"identity, mid-way", IDC_CONTROLLER_INFO, 6, {"253  0xFD"}},
        {"reset, marker owed", IDC_RESET, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes reply = c.button == IDC_STATUS ? status : identity;
        FaultPanel p;
        p.StartReady();
        QuillonSim_SetSilent(0, 1);
        p.h.Click(c.button);
        FaultPanel::Inject(Bytes(reply.begin(), reply.begin() + long(c.before)));
        p.Tick();
        QuillonSim_SetSilent(0, 0);
        EXPECT_EQ(p.Lines(), c.lines);
        EXPECT_EQ(p.Panel().m_nReceivedBytes, int(c.before));
        QuillonSim_Unplug(0);
        ExpectLostThenReopen(p);
        EXPECT_EQ(p.Panel().m_nReceivedBytes, int(c.before)) << "nothing decoded twice";
        ExpectLinkCarriesReplies(p);
    }
}

// The cable pulled while the link exercise streams from its worker: the tick that finds the
// device gone closes it and stops the worker, nothing waits for the worker, and after the replug
// and "Open" the exercise streams again.
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
    std::string calls;
    const std::string log = FaultPanel::CallLog();
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = log.find('\n', at) + 1;
        if (log.compare(at, 8, "FT_Write") != 0)
            calls += log.substr(at, end - at);
        at = end;
    }
    EXPECT_EQ(calls, "FT_GetQueueStatus\nFT_Close\n");
    EXPECT_EQ(p.Panel().m_nReceivedBytes, 0);
    ExpectLostThenReopen(p);

    const std::size_t before = ExerciseBytes();
    p.h.Click(IDC_BLINK_LEDS);
    EXPECT_TRUE(ExerciseWritesMore(before + 5));
    p.h.Click(IDC_BLINK_OFF);
    p.Panel().StopBlinkWorker();
    EXPECT_EQ(p.Status(), kReadyText);
}

// The controller's settings that a frame can change.
std::vector<int> Settings(const QuillonSimState& s)
{
    std::vector<int> v = {s.shutterOpen,   s.mode,        s.ndSteps, s.trigger, s.sync,
                          s.freeRunOption, s.repeatCount, s.running, s.powered, s.saved};
    v.insert(v.end(), s.closedTime, s.closedTime + 5);
    v.insert(v.end(), s.exposureTime, s.exposureTime + 5);
    return v;
}

// Every kind of command with its write failing (the driver's I/O error, 0 bytes written): the
// controller sees nothing and answers nothing, no answer is awaited (a reply, the transfer's
// next answer, the owed status request, a counted run), so the next command's echo is listed as
// itself. The panel has no text for a failed write: the status line keeps "ready", and the
// operator sees that no answer came. The write is not retried.
TEST(WriteErrorTest, EachKindOfCommand)
{
    const auto click = [](int id) { return [id](FaultPanel& p) { p.h.Click(id); }; };
    const auto failWrites = [] { QuillonSim_SetWriteStatus(0, 4); };
    struct Case {
        const char* name;
        std::function<void(FaultPanel&)> act;  // runs with every write failing, unless it says
        int received;  // answer bytes that still come (from frames before the failure)
    };
    const Case cases[] = {
        {"shutter", click(IDC_SHUTTER_OPEN), 0},
        {"mode", click(IDC_SOFT), 0},
        {"neutral density", click(IDC_ND), 0},
        {"trigger input", click(IDC_FALLING_EDGE), 0},
        {"sync output", click(IDC_LOW_FOR_OPEN), 0},
        {"pulse box", click(IDC_TRIGGER_PULSE), 0},
        {"online", click(IDC_ONLINE), 0},
        {"power", click(IDC_POWER_OFF), 0},
        {"identity", click(IDC_CONTROLLER_INFO), 0},
        {"status", click(IDC_STATUS), 0},
        {"reset", click(IDC_RESET), 0},
        {"restore defaults", click(IDC_RESTORE_DEFAULT), 0},
        {"save to controller", click(IDC_SAVE_TO_CONTROLLER), 0},
        {"time", click(IDC_SET_TIMER), 0},
        {"repeat count", click(IDC_SEND_REPEAT), 0},
        {"on power up", click(IDC_ON_POWER_UP), 0},
        {"on trigger pulse", click(IDC_ON_TRIGGER), 0},
        {"go", click(IDC_GO), 0},
        {"stop", click(IDC_STOP), 0},
        {"apply", click(IDC_APPLY), 0},
        {"apply, a later step",
         [failWrites](FaultPanel& p) {
             QuillonSim_SetWriteStatus(0, 0);
             p.h.Click(IDC_APPLY);
             failWrites();
         },
         2},
        {"status request owed after reset",
         [failWrites](FaultPanel& p) {
             QuillonSim_SetWriteStatus(0, 0);
             p.h.Click(IDC_RESET);
             failWrites();
             QuillonSim_Advance(QUILLON_SIM_RESET_MARKER_MS);
         },
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultPanel p;
        p.h.options.runDialog = [](CDialog& dlg) {
            dlg.Create();
            dlg.Item<QLineEdit>(IDC_ND_STEPS)->setText("72");
            QTest::mouseClick(dlg.Item<QPushButton>(IDOK), Qt::LeftButton);
            return dlg.result() == QDialog::Accepted;
        };
        p.StartReady();
        p.h.TypeText(IDC_REPEAT, "3");
        p.h.prompts.answers = {MbResult::Ok};
        const std::vector<int> before = Settings(FaultPanel::Controller());
        failWrites();
        c.act(p);
        p.TickUntilQuiet();
        EXPECT_EQ(p.Panel().m_nReceivedBytes, c.received);
        if (c.received == 0) {
            EXPECT_EQ(Settings(FaultPanel::Controller()), before)
                << "a frame reached the controller";
        }
        FaultPanel::ExpectDecoderIdle();
        EXPECT_EQ(g_nFreeRunKind, 0);
        EXPECT_EQ(p.Status(), kReadyText);
        EXPECT_EQ(g_bUsbOpen, 1);

        QuillonSim_SetWriteStatus(0, 0);
        ExpectLinkCarriesReplies(p);
    }
}

// Bytes of the link exercise the driver was asked to write, failed or not, from the call log.
std::size_t ExerciseWriteCalls()
{
    const std::string log = FaultPanel::CallLog();
    std::size_t n = 0;
    for (std::size_t at = log.find("FT_Write(4"); at != std::string::npos;
         at = log.find("FT_Write(4", at + 1))
        ++n;
    return n;
}

// The link exercise's writes failing: an I/O error is left to the tick to judge (the device is
// still there, so the worker goes on until "Blink Off"); any other error ends the worker at once,
// and the buttons show the exercise until "Blink Off". Afterwards the exercise streams again.
TEST(WriteErrorTest, LinkExercise)
{
    for (const uint32_t status : {4u, 18u}) {
        SCOPED_TRACE(status);
        FaultPanel p;
        p.StartReady();
        g_nBlinkSpeed = 499;
        QuillonSim_SetWriteStatus(0, status);
        p.h.Click(IDC_BLINK_LEDS);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        const std::size_t tries = status == 4 ? 5 : 1;
        while (ExerciseWriteCalls() < tries && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        ASSERT_GE(ExerciseWriteCalls(), tries);
        if (status != 4) {
            while (p.Panel().m_blink->Running() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            EXPECT_FALSE(p.Panel().m_blink->Running());
            EXPECT_EQ(ExerciseWriteCalls(), 1u) << "no write after the failed one";
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

// Replies with a byte missing or a byte too many. The decoder counts bytes and has no time-out:
// a reply a byte short stays armed and takes the first byte of whatever comes next (the next
// echo's first byte completes a status reply, or ends up in the identity's text; a transfer
// answer a byte short resumes the transfer on the next echo, which sends the rest of the
// configuration). A byte too many is listed as a byte of its own, and the transfer, a byte
// ahead, still sends every frame once. Each byte is counted once, and the Shutter Close echo
// that follows shows what the operator then sees.
TEST(ReplyLengthTest, ABytesShortOrABytesMore)
{
    struct Case {
        const char* name;
        std::function<void(FaultPanel&)> act;
        int received;        // bytes counted after the reply
        Strings echoLines;   // the first lines the Shutter Close echo adds to the list
        Strings echoWrites;  // what goes out when Shutter Close is clicked and its echo comes
        int echoReceived;    // bytes counted from the click on
    };
    const Strings asBytes = ByteLines({0xAC, 0x0D});
    const Case cases[] = {
        {"status, a byte short",
         [](FaultPanel& p) {
             QuillonSim_DropAnswerBytes(0, 1);
             p.h.Click(IDC_STATUS);
         },
         19,
         asBytes,
         {"AC"},
         2},
        {"status, a byte more",
         [](FaultPanel& p) {
             p.h.Click(IDC_STATUS);
             FaultPanel::Inject({0x07});
         },
         21,
         asBytes,
         {"AC"},
         2},
        {"identity, a byte short",
         [](FaultPanel& p) {
             QuillonSim_SetSilent(0, 1);
             p.h.Click(IDC_CONTROLLER_INFO);
             FaultPanel::Inject({0xFD, 'Q', 'S', 'C', '1', '0', '0', '0', '1', 'V', '1', '.'});
             QuillonSim_SetSilent(0, 0);
         },
         12,
         {"QSC10001", "V1.\xC2\xAC", "13  0x0D"},
         {"AC"},
         2},
        {"identity, a byte more",
         [](FaultPanel& p) {
             p.h.Click(IDC_CONTROLLER_INFO);
             FaultPanel::Inject({0x07});
         },
         14,
         asBytes,
         {"AC"},
         2},
        {"transfer answer, a byte short",
         [](FaultPanel& p) {
             SetUpPanelForTransfer(p.Panel());
             p.h.Click(IDC_APPLY);
             QuillonSim_DropAnswerBytes(0, 1);
         },
         3,
         asBytes,
         {"AC", "FA A1", "FA B1", "FA 10 00 01 25 05", "FA 20 01 00 00 03", "FA F0 00 03", "FA F1"},
         2 + 3 + 3 + 7 + 7 + 5},
        {"transfer answer, a byte more",
         [](FaultPanel& p) {
             SetUpPanelForTransfer(p.Panel());
             p.h.Click(IDC_APPLY);
             FaultPanel::Inject({0x07});
         },
         30,
         asBytes,
         {"AC"},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultPanel p;
        p.StartReady();
        c.act(p);
        p.TickUntilQuiet();
        EXPECT_EQ(p.Panel().m_nReceivedBytes, c.received);
        EXPECT_EQ(p.Text(IDC_RECEIVED_BYTES), std::to_string(c.received));
        const int lines = p.Panel().m_listReceived->GetCount();
        FaultPanel::Writes();
        p.h.Click(IDC_SHUTTER_CLOSE);
        p.TickUntilQuiet();
        EXPECT_EQ(FaultPanel::Writes(), c.echoWrites);
        const Strings all = p.Lines();
        ASSERT_GE(all.size(), lines + c.echoLines.size());
        EXPECT_EQ(Strings(all.begin() + lines, all.begin() + lines + long(c.echoLines.size())),
                  c.echoLines);
        EXPECT_EQ(p.Panel().m_nReceivedBytes, c.received + c.echoReceived);
        FaultPanel::ExpectDecoderIdle();
    }
}

// Garbage at random points of a status reply (a fixed seed, so every run sees the same): every
// byte is counted once, nothing hangs, and whatever the garbage left armed, "Open" clears it and
// the next status reply is decoded whole.
TEST(ReplyLengthTest, GarbageAtRandomPoints)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        FaultPanel p;
        p.StartReady();
        QuillonSim_SetSilent(0, 1);
        p.h.Click(IDC_STATUS);
        QuillonSim_SetSilent(0, 0);
        // The factory reply with one to five bytes of garbage at random places.
        Bytes reply = {0xCC, 0xAC, 0xDC, 0x00, 0xA1, 0xB2, 0x10, 0, 0, 0,
                       0,    0x20, 0,    0,    0,    0,    0xF0, 0, 0, 0x0D};
        const int garbage = 1 + int(random() % 5);
        for (int i = 0; i < garbage; ++i)
            reply.insert(reply.begin() + long(random() % (reply.size() + 1)),
                         uint8_t(random() & 0xFF));
        FaultPanel::Inject(reply);
        p.TickUntilQuiet();
        EXPECT_EQ(p.Panel().m_nReceivedBytes, int(reply.size()));
        EXPECT_EQ(p.Text(IDC_RECEIVED_BYTES), std::to_string(reply.size()));
        p.h.Click(IDC_OPEN);
        ASSERT_EQ(p.Status(), kReadyText);
        FaultPanel::ExpectDecoderIdle();
        p.Settle();
        p.h.Click(IDC_STATUS);
        p.TickUntilQuiet();
        EXPECT_EQ(p.Text(IDC_RECEIVED_BYTES), "20");
        EXPECT_TRUE(p.Checked(IDC_SHUTTER_CLOSE));
        EXPECT_TRUE(p.Checked(IDC_FAST));
        EXPECT_EQ(p.Text(IDC_REPEAT), "0");
        FaultPanel::ExpectDecoderIdle();
    }
}

}  // namespace

// The link transcript on the panel: --transcript against the simulator's own transcript, the
// link exercise recording from its thread, the context-menu entry and a file that cannot be made.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "QuillonSim.h"
#include "protocol/DecoderState.h"
#include "support/PanelHarness.h"
#include "support/SimCalls.h"
#include "timing/TimeRecord.h"
#include "usb/LinkFlags.h"

namespace {

// The lines of a transcript without their times (those starting with prefix only), checking
// that each time has three decimals and none goes back.
std::vector<std::string> ReadTranscript(const std::string& path, const std::string& prefix = "")
{
    std::ifstream in(path);
    std::vector<std::string> bodies;
    double last = 0;
    for (std::string text; std::getline(in, text);) {
        const std::size_t blank = text.find(' ');
        EXPECT_NE(blank, std::string::npos) << text;
        EXPECT_EQ(blank >= 4 ? text[blank - 4] : ' ', '.') << "three decimals: " << text;
        const double ms = std::strtod(text.c_str(), nullptr);
        EXPECT_LE(last, ms) << text;
        last = ms;
        if (text.compare(blank + 1, prefix.size(), prefix) == 0)
            bodies.push_back(text.substr(blank + 1));
    }
    return bodies;
}

class TranscriptPanelTest : public testing::Test {
protected:
    TranscriptPanelTest() : h({BuildLibrary("libquillon-sim.so")})
    {
        QuillonSim_Reset();
        ResetDecoderState();
        ResetTimeRecords();
        g_bBlinkRunning = 0;
        g_nBlinkSpeed = 0;
        h.profile->WriteProfileInt("MyTiveloAp", "SerDesc", 2);
        h.profile->WriteProfileString("MyTiveloAp", "DevNmbr", "0");
    }
    ~TranscriptPanelTest() override
    {
        QuillonSim_TranscriptFile(nullptr);
        h.panel.reset();
        ResetDecoderState();
        ResetTimeRecords();
    }

    // Both transcripts from before the device opens.
    void StartRecordingBoth()
    {
        ASSERT_EQ(QuillonSim_TranscriptFile(simFile.c_str()), 0);
        h.options.transcriptPath = programFile;
        h.Start();
        ASSERT_EQ(h.panel->GetDlgItemText(IDC_USB_STATUS), "USB ready for communication.");
    }
    void TickUntilQuiet()
    {
        TickUntilQueueEmpty([this] { h.panel->PollReplies(); });
    }
    void Status()
    {
        h.Click(IDC_STATUS);
        TickUntilQuiet();
    }
    // The exit path, then the simulator's file closed: both files are complete.
    void Exit()
    {
        h.panel->OnOK();
        QuillonSim_TranscriptFile(nullptr);
    }

    PanelHarness h;
    const std::string programFile = h.dir.filePath("program.txt").toStdString();
    const std::string simFile = h.dir.filePath("simulator.txt").toStdString();
};

TEST_F(TranscriptPanelTest, StatusAndApplyAgreeWithTheSimulatorsTranscript)
{
    StartRecordingBoth();
    TickUntilQuiet();
    Status();
    h.Click(IDC_APPLY);
    TickUntilQuiet();
    Exit();

    // Every transfer, open, close and purge, line for line; the times are of different clocks.
    const std::vector<std::string> program = ReadTranscript(programFile);
    EXPECT_EQ(program, ReadTranscript(simFile));
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(program.front(), "OPEN number 0");
    const std::vector<std::string> sent = ReadTranscript(programFile, "TX ");
    for (const char* frame : {"TX 1 EE", "TX 1 CC"})
        EXPECT_NE(std::find(sent.begin(), sent.end(), frame), sent.end()) << frame;
    EXPECT_GT(sent.size(), 4u) << "Apply's transfer went out after Status";
    // The status reply, 20 bytes from CC to 0D, however the reads cut it.
    std::string replies;
    for (const std::string& line : ReadTranscript(programFile, "RX "))
        replies += line.substr(line.find(' ', 3)) + "|";
    EXPECT_NE(replies.find(" CC AC DC 00"), std::string::npos) << replies;
}

TEST_F(TranscriptPanelTest, LinkExerciseFromItsThreadLosesNoByte)
{
    StartRecordingBoth();
    TickUntilQuiet();
    h.Click(IDC_BLINK_LEDS);  // speed 0: one byte every 500 ms from the worker's thread
    // Two seconds in real time, while the panel polls and asks for status.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end) Status();
    h.Click(IDC_BLINK_OFF);
    h.panel->StopBlinkWorker();
    Exit();

    // The two threads' writes may interleave differently in the two files, so each thread's
    // writes are compared on their own; the worker's follow the pattern 40, 41, ...
    const auto byThread = [](const std::vector<std::string>& sent, bool worker) {
        std::vector<std::string> out;
        for (const std::string& line : sent)
            if ((line.size() == 7 && line[5] == '4') == worker)
                out.push_back(line);
        return out;
    };
    const std::vector<std::string> sent = ReadTranscript(programFile, "TX ");
    const std::vector<std::string> simSent = ReadTranscript(simFile, "TX ");
    const std::vector<std::string> exercise = byThread(sent, true);
    EXPECT_GE(exercise.size(), 3u);
    for (std::size_t i = 0; i < exercise.size(); ++i)
        EXPECT_EQ(exercise[i], "TX 1 4" + std::string(1, "0123456789ABCDEF"[i % 16]));
    for (bool worker : {true, false}) EXPECT_EQ(byThread(sent, worker), byThread(simSent, worker));
    EXPECT_EQ(ReadTranscript(programFile, "RX "), ReadTranscript(simFile, "RX "));
}

// Search closes the link on the operator's word: one CLOSE, however the next ticks find the handle.
// The bytes counted before are gone from the panel as well.
TEST_F(TranscriptPanelTest, SearchIsOneCloseAndEmptiesTheCount)
{
    StartRecordingBoth();
    TickUntilQuiet();
    Status();
    ASSERT_NE(h.panel->GetDlgItemText(IDC_RECEIVED_BYTES), "0");
    h.Click(IDC_SEARCH);
    EXPECT_EQ(h.panel->GetDlgItemText(IDC_RECEIVED_BYTES), "0");
    for (int i = 0; i < 3; ++i) h.panel->PollReplies();
    EXPECT_EQ(h.panel->GetDlgItemText(IDC_USB_STATUS), "USB not open.");
    h.Click(IDC_OPEN);
    Exit();
    const std::vector<std::string> lines = ReadTranscript(programFile);
    const auto close = std::find(lines.begin(), lines.end(), "CLOSE");
    EXPECT_EQ(std::vector<std::string>(close, std::find(close, lines.end(), "OPEN number 0")),
              std::vector<std::string>{"CLOSE"})
        << "nothing else until the next open";
}

TEST_F(TranscriptPanelTest, AFileThatCannotBeCreatedIsReportedOnceAndThePanelGoesOn)
{
    const std::string bad = h.dir.filePath("missing/program.txt").toStdString();
    h.options.transcriptPath = bad;
    h.Start();
    ASSERT_EQ(h.prompts.records.size(), 1u);
    EXPECT_EQ(h.prompts.records[0].caption, "Warning");
    EXPECT_NE(h.prompts.records[0].text.find(bad), std::string::npos);
    EXPECT_EQ(h.panel->GetDlgItemText(IDC_USB_STATUS), "USB ready for communication.");
    EXPECT_FALSE(h.panel->m_usb.Transcript().Recording());
    Status();
    h.panel->OnTimer();
    Exit();
    EXPECT_EQ(h.prompts.records.size(), 1u);
    EXPECT_EQ(h.exitCodes, std::vector<int>{0});
}

TEST_F(TranscriptPanelTest, ContextMenuEntryRecordsUntilStopped)
{
    h.Start();
    TickUntilQuiet();
    h.prompts.fileAnswers = {programFile};
    h.panel->OnRecordTranscript();  // "Record Transcript...": the save dialog, then recording
    ASSERT_EQ(h.prompts.records.size(), 1u);
    EXPECT_EQ(h.prompts.records[0].kind, ScriptedPrompts::Kind::SaveFile);
    EXPECT_TRUE(h.panel->m_usb.Transcript().Recording());
    Status();
    h.panel->OnRecordTranscript();  // "Stop Recording": everything is in the file at once
    EXPECT_FALSE(h.panel->m_usb.Transcript().Recording());
    const std::vector<std::string> lines = ReadTranscript(programFile);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "TX 1 CC");
    Status();
    EXPECT_EQ(ReadTranscript(programFile).size(), lines.size());

    h.prompts.fileAnswers = {std::nullopt};  // a cancelled dialog starts nothing
    h.panel->OnRecordTranscript();
    EXPECT_FALSE(h.panel->m_usb.Transcript().Recording());
    EXPECT_EQ(h.prompts.records.size(), 2u);
}

}  // namespace

// The link transcript on the panel: --transcript against the simulator's own transcript, the
// link exercise recording from its thread, the context-menu entry and a file that cannot be made.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "QuillonSim.h"
#include "protocol/DecoderState.h"
#include "support/PanelHarness.h"
#include "timing/TimeRecord.h"
#include "usb/LinkFlags.h"

namespace {

struct Line {
    double ms;
    std::string body;  // everything after the time
};

std::vector<Line> ReadTranscript(const std::string& path)
{
    std::ifstream in(path);
    std::vector<Line> lines;
    for (std::string text; std::getline(in, text);) {
        const std::size_t blank = text.find(' ');
        EXPECT_NE(blank, std::string::npos) << text;
        EXPECT_EQ(blank >= 4 ? text[blank - 4] : ' ', '.') << "three decimals: " << text;
        lines.push_back({std::strtod(text.c_str(), nullptr), text.substr(blank + 1)});
    }
    return lines;
}

// The lines of one direction ("TX " or "RX "), without times.
std::vector<std::string> Direction(const std::vector<Line>& lines, const std::string& prefix)
{
    std::vector<std::string> out;
    for (const Line& line : lines) {
        if (line.body.rfind(prefix, 0) == 0)
            out.push_back(line.body);
    }
    return out;
}

std::vector<std::string> Bodies(const std::vector<Line>& lines)
{
    std::vector<std::string> out;
    for (const Line& line : lines) out.push_back(line.body);
    return out;
}

void ExpectTimeOrder(const std::vector<Line>& lines)
{
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_LE(lines[i - 1].ms, lines[i].ms) << lines[i].body;
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
        programFile = h.dir.filePath("program.txt").toStdString();
        simFile = h.dir.filePath("simulator.txt").toStdString();
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
        for (int i = 0; i < 50; ++i) {
            h.panel->PollReplies();
            if (QuillonSim_Queued(0) == 0)
                return;
        }
        ADD_FAILURE() << "the queue never emptied";
    }
    // The exit path, then the simulator's file closed: both files are complete.
    void Exit()
    {
        h.panel->OnOK();
        QuillonSim_TranscriptFile(nullptr);
    }

    PanelHarness h;
    std::string programFile;
    std::string simFile;
};

TEST_F(TranscriptPanelTest, StatusAndApplyAgreeWithTheSimulatorsTranscript)
{
    StartRecordingBoth();
    TickUntilQuiet();
    h.Click(IDC_STATUS);
    TickUntilQuiet();
    h.Click(IDC_APPLY);
    TickUntilQuiet();
    Exit();

    const std::vector<Line> program = ReadTranscript(programFile);
    const std::vector<Line> simulator = ReadTranscript(simFile);
    // Every transfer, open, close and purge, line for line; the times are of different clocks.
    EXPECT_EQ(Bodies(program), Bodies(simulator));
    ExpectTimeOrder(program);
    ExpectTimeOrder(simulator);

    const std::vector<std::string> sent = Direction(program, "TX ");
    const std::vector<std::string> received = Direction(program, "RX ");
    EXPECT_EQ(program.front().body, "OPEN number 0");
    EXPECT_NE(std::find(sent.begin(), sent.end(), "TX 1 EE"), sent.end());
    EXPECT_NE(std::find(sent.begin(), sent.end(), "TX 1 CC"), sent.end());
    // The status reply, 20 bytes from CC to 0D, however the reads cut it.
    std::string replies;
    for (const std::string& line : received) replies += line.substr(line.find(' ', 3)) + "|";
    EXPECT_NE(replies.find(" CC AC DC 00"), std::string::npos) << replies;
    // Apply's transfer went out after Status.
    EXPECT_GT(sent.size(), 4u);
}

TEST_F(TranscriptPanelTest, LinkExerciseFromItsThreadLosesNoByte)
{
    StartRecordingBoth();
    TickUntilQuiet();
    QuillonSim_ClearTranscript();
    h.Click(IDC_BLINK_LEDS);  // speed 0: one byte every 500 ms from the worker's thread
    // The two seconds, in real time, while the panel polls and asks for status.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end) {
        h.Click(IDC_STATUS);
        TickUntilQuiet();
    }
    h.Click(IDC_BLINK_OFF);
    h.panel->StopBlinkWorker();
    Exit();

    const std::vector<Line> program = ReadTranscript(programFile);
    ExpectTimeOrder(program);
    std::vector<std::string> exercise;
    for (const std::string& line : Direction(program, "TX ")) {
        if (line.size() == 7 && line[5] == '4')
            exercise.push_back(line);
    }
    // Every byte the controller got, and in the pattern's order.
    std::vector<QuillonSimEvent> events(QuillonSim_Transcript(nullptr, 0));
    events.resize(QuillonSim_Transcript(events.data(), events.size()));
    std::vector<std::string> got;
    for (const QuillonSimEvent& e : events) {
        if (e.direction == QUILLON_SIM_TO_DEVICE && (e.byte & 0xF0) == 0x40) {
            char text[8];
            std::snprintf(text, sizeof text, "TX 1 %02X", e.byte);
            got.push_back(text);
        }
    }
    EXPECT_GE(exercise.size(), 3u);
    EXPECT_EQ(exercise, got);
    for (std::size_t i = 0; i < exercise.size(); ++i)
        EXPECT_EQ(exercise[i], "TX 1 4" + std::string(1, "0123456789ABCDEF"[i % 16]));
    // Both directions as the simulator saw them. The two threads' writes may interleave
    // differently in the two files, so each thread's writes are compared on their own.
    const std::vector<Line> simulator = ReadTranscript(simFile);
    const auto byThread = [](const std::vector<std::string>& sent, bool worker) {
        std::vector<std::string> out;
        for (const std::string& line : sent)
            if ((line.size() == 7 && line[5] == '4') == worker)
                out.push_back(line);
        return out;
    };
    for (bool worker : {true, false})
        EXPECT_EQ(byThread(Direction(program, "TX "), worker),
                  byThread(Direction(simulator, "TX "), worker));
    EXPECT_EQ(Direction(program, "RX "), Direction(simulator, "RX "));
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
    h.Click(IDC_STATUS);
    TickUntilQuiet();
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
    h.Click(IDC_STATUS);
    TickUntilQuiet();
    h.panel->OnRecordTranscript();  // "Stop Recording": everything is in the file at once
    EXPECT_FALSE(h.panel->m_usb.Transcript().Recording());
    const std::vector<Line> lines = ReadTranscript(programFile);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().body, "TX 1 CC");
    h.Click(IDC_STATUS);
    TickUntilQuiet();
    EXPECT_EQ(ReadTranscript(programFile).size(), lines.size());

    h.prompts.fileAnswers = {std::nullopt};  // a cancelled dialog starts nothing
    h.panel->OnRecordTranscript();
    EXPECT_FALSE(h.panel->m_usb.Transcript().Recording());
    EXPECT_EQ(h.prompts.records.size(), 2u);
}

}  // namespace

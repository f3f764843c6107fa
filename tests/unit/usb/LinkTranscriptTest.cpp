#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>
#include <vector>

#include "QuillonSim.h"
#include "common/FileSizeLimit.h"
#include "usb/ControllerLink.h"
#include "usb/LinkTranscript.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

// The file's lines without their times, which must have three decimals and never go backwards.
Lines Bodies(const fs::path& file)
{
    static const std::regex kLine(R"(^(\d+\.\d{3}) (.*)$)");
    std::ifstream in(file);
    Lines bodies;
    double last = 0;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(line, m, kLine)) << line;
        EXPECT_LE(last, std::strtod(line.c_str(), nullptr)) << line;
        last = std::strtod(line.c_str(), nullptr);
        bodies.push_back(m.size() == 3 ? m[2].str() : line);
    }
    return bodies;
}

class LinkTranscriptTest : public testing::Test {
protected:
    LinkTranscriptTest()
    {
        char pattern[] = "/tmp/link-transcript-XXXXXX";
        dir = mkdtemp(pattern);
        file = dir / "link.txt";
    }
    ~LinkTranscriptTest() override { fs::remove_all(dir); }
    std::size_t FilesInDir() const
    {
        return std::distance(fs::directory_iterator(dir), fs::directory_iterator());
    }

    fs::path dir;
    fs::path file;
    LinkTranscript transcript;
};

// What each link call did: the bytes a read returned, every byte handed to a write that went out
// short (which no caller may take for sent), one CLOSE per open handle. The file is replaced, not
// emptied under a reader of the old one; one that cannot be made is named with the reason.
TEST_F(LinkTranscriptTest, ShowsWhatEachLinkCallDid)
{
    QuillonSim_Reset();
    UsbLink link;
    ASSERT_TRUE(link.LoadD2xx({QUILLON_BUILD_DIR "/libquillon-sim.so"}));
    ASSERT_EQ(link.Open(0), FT_OK);
    const fs::path bad = dir / "missing" / "link.txt";
    const auto failure = link.Transcript().Start(bad);
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find(bad.string() + ": "), std::string::npos) << *failure;
    EXPECT_FALSE(link.Transcript().Recording());
    EXPECT_EQ(link.Transcript().TakeFailure(), std::nullopt);
    fs::create_directory(dir / "folder");
    EXPECT_TRUE(link.Transcript().Start(dir / "folder").has_value());

    std::ofstream(file) << "an older transcript\n";
    std::ifstream reader(file);
    ASSERT_EQ(link.Transcript().Start(file), std::nullopt);
    EXPECT_EQ(fs::file_size(file), 0u);
    EXPECT_EQ(FilesInDir(), 2u);  // the file and the folder: no temporary left beside them
    unsigned char buffer[2] = {};
    DWORD got = 0;
    link.Read(buffer, 2, &got);
    QuillonSim_Inject(0, reinterpret_cast<const uint8_t*>("\xEE"), 1);
    link.Read(buffer, 2, &got);
    EXPECT_TRUE(WriteFrame(link, ShutterFrame(0)));
    QuillonSim_SetWriteLimit(0, 1);
    EXPECT_FALSE(WriteFrame(link, TriggerFrame(0)));
    link.Close();
    link.Read(buffer, 2, &got);
    link.Close();
    char description[] = "Quillon SC";
    EXPECT_EQ(link.OpenEx(description, FT_OPEN_BY_DESCRIPTION), FT_OK);
    EXPECT_EQ(link.Transcript().Stop(), std::nullopt);
    link.Transcript().Event("after the stop");
    EXPECT_EQ(Bodies(file), (Lines{"RX 0", "RX 1 EE", "TX 1 AA", "TX 2 FA A1", "CLOSE", "RX 0 status 1",
                                   "OPEN description \"Quillon SC\""}));
    std::string old;
    EXPECT_TRUE(std::getline(reader, old) && old == "an older transcript") << "replaced, not emptied";
}

TEST_F(LinkTranscriptTest, AWriteFailureIsReportedOnceStopsAndKeepsEveryWholeLine)
{
    constexpr rlim_t kLimit = 1000;
    const std::vector<std::uint8_t> bytes(100, 0x40);  // lines of some 320 characters
    const std::string result = InChildWithFileSizeLimit(kLimit, [&] {
        if (transcript.Start(file))
            return std::string("not started");
        transcript.Event("OPEN number 0");
        transcript.Flush();
        for (int i = 0; i < 20; ++i)
            transcript.Transfer(LinkTranscript::Direction::Tx, bytes.data(), 100, FT_OK);
        transcript.Flush();
        std::string out = transcript.TakeFailure().value_or("no failure") + "|";
        out += transcript.Recording() ? "recording|" : "stopped|";
        transcript.Transfer(LinkTranscript::Direction::Tx, bytes.data(), 1, FT_OK);
        return out + transcript.Stop().value_or("told once");
    });
    EXPECT_EQ(result, "Can't write the transcript file " + file.string() +
                          ": File too large. Recording has stopped.|stopped|told once");
    const Lines bodies = Bodies(file);
    ASSERT_GE(bodies.size(), 2u);
    EXPECT_EQ(bodies.front(), "OPEN number 0");
    const std::string sent = bodies.back();
    EXPECT_EQ(sent.substr(0, 10), "TX 100 40 ");
    EXPECT_EQ(std::count(bodies.begin(), bodies.end(), sent), std::ptrdiff_t(bodies.size() - 1));
    // Every line that fitted is there: one more would not have.
    EXPECT_GT(fs::file_size(file) + sent.size() + 12, kLimit);
}

TEST_F(LinkTranscriptTest, ThreadsRecordingAtOnceLoseNothingAndKeepTimeOrder)
{
    ASSERT_EQ(transcript.Start(file), std::nullopt);
    constexpr unsigned kThreads = 4, kLines = 5000;
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (unsigned i = 0; i < kLines; ++i) {
                const std::uint8_t bytes[] = {std::uint8_t(t), std::uint8_t(i),
                                              std::uint8_t(i >> 8)};
                transcript.Transfer(LinkTranscript::Direction::Tx, bytes, 3, FT_OK);
            }
        });
    }
    for (int i = 0; i < 20; ++i) transcript.Flush();  // flushes racing the writers
    for (std::thread& thread : threads) thread.join();
    ASSERT_EQ(transcript.Stop(), std::nullopt);

    const Lines bodies = Bodies(file);
    ASSERT_EQ(bodies.size(), kThreads * kLines);
    std::vector<unsigned> next(kThreads, 0);
    for (const std::string& body : bodies) {
        unsigned t = 0, lo = 0, hi = 0;
        ASSERT_EQ(std::sscanf(body.c_str(), "TX 3 %X %X %X", &t, &lo, &hi), 3) << body;
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(lo | hi << 8, next[t]++) << "each thread's lines in its own order";
    }
}

}  // namespace

// The link transcript's lines, its file's creation and failures, and many threads recording at
// once.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>
#include <vector>

#include "usb/LinkTranscript.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const fs::path& file)
{
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A line without its time; the time itself must have three decimals.
std::string Body(const std::string& line)
{
    static const std::regex kTime(R"(^\d+\.\d{3} )");
    EXPECT_TRUE(std::regex_search(line, kTime)) << line;
    return line.substr(line.find(' ') + 1);
}

double Time(const std::string& line)
{
    return std::strtod(line.c_str(), nullptr);
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

    fs::path dir;
    fs::path file;
    LinkTranscript transcript;
};

TEST_F(LinkTranscriptTest, LinesOfEveryKindInCallOrder)
{
    std::ofstream(file) << "an older transcript\n";
    ASSERT_EQ(transcript.Start(file), std::nullopt);
    EXPECT_TRUE(transcript.Recording());
    // The file is there, replaced, before the first flush; no temporary is left beside it.
    EXPECT_EQ(fs::file_size(file), 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    const std::uint8_t frame[] = {0xFA, 0xF0, 0x01, 0x2C};
    const std::uint8_t reply[] = {0x0D};
    transcript.Event("OPEN number 0");
    transcript.Event("PURGE 1");
    transcript.Transfer(LinkTranscript::Direction::Tx, frame, 4, FT_OK);
    transcript.Transfer(LinkTranscript::Direction::Rx, reply, 1, FT_OK);
    transcript.Transfer(LinkTranscript::Direction::Rx, reply, 0, FT_OK);
    transcript.Transfer(LinkTranscript::Direction::Tx, frame, 1, FT_IO_ERROR);
    transcript.Event("LOST");
    transcript.Event("CLOSE", FT_INVALID_HANDLE);
    EXPECT_EQ(transcript.Stop(), std::nullopt);
    EXPECT_FALSE(transcript.Recording());
    transcript.Event("after the stop");

    const std::vector<std::string> lines = Lines(file);
    std::vector<std::string> bodies;
    for (const std::string& line : lines) bodies.push_back(Body(line));
    EXPECT_EQ(bodies,
              (std::vector<std::string>{"OPEN number 0", "PURGE 1", "TX 4 FA F0 01 2C", "RX 1 0D",
                                        "RX 0", "TX 1 FA status 4", "LOST", "CLOSE status 1"}));
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_LE(Time(lines[i - 1]), Time(lines[i]));
}

TEST_F(LinkTranscriptTest, AFileThatCannotBeCreatedIsNamedWithTheReason)
{
    for (const fs::path& bad : {dir / "missing" / "link.txt", dir}) {
        const auto failure = transcript.Start(bad);
        ASSERT_TRUE(failure.has_value());
        EXPECT_NE(failure->find(bad.string()), std::string::npos) << *failure;
        EXPECT_NE(failure->find(": "), std::string::npos) << *failure;
        EXPECT_FALSE(transcript.Recording());
        transcript.Event("OPEN number 0");  // goes nowhere, harmlessly
        EXPECT_EQ(transcript.TakeFailure(), std::nullopt);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 0);
}

TEST_F(LinkTranscriptTest, AWriteFailureIsReportedOnceAndStopsTheRecording)
{
    ASSERT_EQ(transcript.Start(file), std::nullopt);
    // A file-size limit makes the disk "full" after 1000 bytes.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::vector<std::uint8_t> bytes(100, 0x40);
    for (int i = 0; i < 20; ++i)
        transcript.Transfer(LinkTranscript::Direction::Tx, bytes.data(), 100, FT_OK);
    transcript.Flush();
    setrlimit(RLIMIT_FSIZE, &old);

    const auto failure = transcript.TakeFailure();
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find(file.string()), std::string::npos) << *failure;
    EXPECT_FALSE(transcript.Recording());
    EXPECT_EQ(transcript.TakeFailure(), std::nullopt);
    transcript.Transfer(LinkTranscript::Direction::Tx, bytes.data(), 1, FT_OK);
    EXPECT_EQ(transcript.Stop(), std::nullopt);
    // Never half a line.
    std::ifstream in(file);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_TRUE(text.empty() || text.back() == '\n');
}

TEST_F(LinkTranscriptTest, ThreadsRecordingAtOnceLoseNothingAndKeepTimeOrder)
{
    ASSERT_EQ(transcript.Start(file), std::nullopt);
    constexpr int kThreads = 4;
    constexpr int kLines = 5000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kLines; ++i) {
                const std::uint8_t bytes[] = {std::uint8_t(t), std::uint8_t(i),
                                              std::uint8_t(i >> 8)};
                transcript.Transfer(LinkTranscript::Direction::Tx, bytes, 3, FT_OK);
            }
        });
    }
    for (int i = 0; i < 20; ++i) transcript.Flush();  // flushes racing the writers
    for (std::thread& thread : threads) thread.join();
    ASSERT_EQ(transcript.Stop(), std::nullopt);

    const std::vector<std::string> lines = Lines(file);
    ASSERT_EQ(lines.size(), std::size_t(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            ASSERT_LE(Time(lines[i - 1]), Time(lines[i])) << i;
        }
        unsigned t = 0, lo = 0, hi = 0;
        ASSERT_EQ(std::sscanf(Body(lines[i]).c_str(), "TX 3 %X %X %X", &t, &lo, &hi), 3);
        ASSERT_LT(t, unsigned(kThreads));
        // Each thread's lines in its own order.
        EXPECT_EQ(int(lo | hi << 8), next[t]++);
    }
}

}  // namespace

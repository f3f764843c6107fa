// What recording the link transcript adds to the panel's poll while the controller streams at
// the link's full rate (12,800 bytes/s), against the simulator in real time with the real 2 ms
// timer. Runs alternate between transcript off and on, so drift in the machine's load falls on
// both alike. Prints the CPU of each, in per cent of one core, and the difference (goal: at most
// 1).

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "ReplyStream.h"
#include "SimPanel.h"
#include "Figure.h"

namespace {

constexpr int kFeedMs = 4;
constexpr double kBytesPerMs = 12.8;  // 128000 baud, 10 bits a byte
constexpr int kRunSeconds = 3;
constexpr int kRounds = 3;

// As RunEventLoopFor, but in a loop of its own: quitting the application's loop would close the
// panel, and these runs follow each other on one panel.
double RunLocalLoopFor(int seconds)
{
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    QElapsedTimer wall;
    wall.start();
    const double before = ProcessCpuSeconds();
    loop.exec();
    return (ProcessCpuSeconds() - before) / (double(wall.nsecsElapsed()) / 1e9) * 100.0;
}

// CPU while the poll drains a full-rate stream for kRunSeconds.
double PollAtFullRate(CShutterPanelDlg& panel, PlainBytes& plain, long long& listed)
{
    std::vector<uint8_t> chunk;
    QElapsedTimer clock;
    clock.start();
    long long fed = 0;
    QTimer feeder;
    feeder.setTimerType(Qt::PreciseTimer);
    feeder.setInterval(kFeedMs);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        const auto due = static_cast<long long>(double(clock.elapsed()) * kBytesPerMs) - fed;
        if (due <= 0)
            return;
        chunk.clear();
        plain.Append(chunk, std::size_t(due));
        QuillonSim_Inject(0, chunk.data(), chunk.size());
        fed += due;
    });
    const int before = panel.m_nReceivedBytes;
    feeder.start();
    const double cpu = RunLocalLoopFor(kRunSeconds);
    feeder.stop();
    listed += panel.m_nReceivedBytes - before;
    return cpu;
}

void BM_PollWithTranscript(benchmark::State& state)
{
    SimPanel sim;
    CShutterPanelDlg& panel = *sim.panel;
    if (!panel.UsbReady()) {
        state.SkipWithError("the simulated link did not open");
        return;
    }
    const std::string file = sim.dir.filePath("transcript.txt").toStdString();
    PlainBytes plain;
    double off = 0;
    double on = 0;
    long long listedOff = 0;
    long long listedOn = 0;
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            off += PollAtFullRate(panel, plain, listedOff);
            panel.StartTranscript(file);
            if (!panel.m_usb.Transcript().Recording()) {
                state.SkipWithError("the transcript file could not be created");
                return;
            }
            on += PollAtFullRate(panel, plain, listedOn);
            panel.m_usb.Transcript().Stop();
        }
    }
    off /= kRounds;
    on /= kRounds;
    state.counters["cpu_percent_transcript_off"] = off;
    state.counters["cpu_percent_transcript_on"] = on;
    state.counters["cpu_percent_difference"] = on - off;
    std::printf(
        "poll at the full link rate: transcript off %.2f %%, on %.2f %% of one core "
        "(%lld and %lld bytes listed); difference %.2f %% of one core (goal <= 1)\n",
        off, on, listedOff, listedOn, on - off);
    ReportFigure("transcript's cost at the full link rate", on - off, "% of a core", Goal::AtMost,
                 1);
}

BENCHMARK(BM_PollWithTranscript)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    return OffscreenBenchmarkMain(argc, argv);
}

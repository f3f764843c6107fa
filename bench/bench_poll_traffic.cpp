// CPU used by the panel's poll while the controller streams at the link's full rate (12,800
// bytes/s, 128000 baud), against the simulator in real time, with the panel's real timer (which
// paces itself to the stream): every byte is read, counted and listed, and the panel stays drawn.
// Plain bytes only, then a stream in which a status reply (about 200 a second) is decoded as it
// comes. The simulator and the feeder run in
// the process and count too. Prints per cent of one core (goal with decoding: at most 5).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <vector>

#include "ReplyStream.h"
#include "SimPanel.h"
#include "Figure.h"

namespace {

constexpr int kFeedMs = 4;
constexpr double kBytesPerMs = 12.8;  // 128000 baud, 10 bits a byte

constexpr std::size_t kReplyBytes = kFastStatusReply.size();

enum class Stream { Plain, SteadyStatus, ChangingStatus };

// Each feed starts with a status reply whenever the stream has them and the previous bytes are
// all decoded, so arming the decoder cannot swallow plain bytes still queued.
void PollAtFullLinkRate(benchmark::State& state, Stream stream, int seconds)
{
    SimPanel sim;
    CShutterPanelDlg& panel = *sim.panel;
    if (!panel.UsbReady()) {
        state.SkipWithError("the simulated link did not open");
        return;
    }
    PlainBytes plain;
    StatusReplies status(stream == Stream::ChangingStatus);
    std::vector<uint8_t> chunk;
    QElapsedTimer clock;
    long long fed = 0;
    QTimer feeder;
    feeder.setTimerType(Qt::PreciseTimer);
    feeder.setInterval(kFeedMs);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        // What the link has carried since the start, whenever the timer gets to run.
        const std::size_t due = std::size_t(clock.elapsed() * kBytesPerMs - double(fed));
        if (due < kReplyBytes) {  // a feed holds at least a whole reply
            return;
        }
        chunk.clear();
        DWORD queued = 1;
        if (stream != Stream::Plain && g_nStatusIndex == -1 &&
            panel.m_usb.GetQueueStatus(&queued) == FT_OK && queued == 0) {
            status.Append(chunk);
            StatusReplies::Arm();
        }
        plain.Append(chunk, due - chunk.size());
        QuillonSim_Inject(0, chunk.data(), chunk.size());
        fed += static_cast<long long>(chunk.size());
    });

    double cpuPercent = 0;
    int received = 0;
    for (auto _ : state) {
        const int before = panel.m_nReceivedBytes;
        clock.start();
        fed = 0;
        feeder.start();
        cpuPercent = RunEventLoopFor(seconds);
        feeder.stop();
        received = panel.m_nReceivedBytes - before;
    }
    state.counters["cpu_percent_of_one_core"] = cpuPercent;
    state.counters["bytes_listed"] = received;
    state.counters["status_replies"] = double(status.Count());
    const char* what = stream == Stream::Plain          ? "plain bytes"
                       : stream == Stream::SteadyStatus ? "status replies decoded, steady settings"
                                                        : "status replies decoded, settings "
                                                          "changing with every reply";
    std::printf(
        "poll at the full link rate, %s: %d bytes listed (%lld status replies) in %d s, "
        "%.1f %% of one core%s\n",
        what, received, status.Count(), seconds, cpuPercent,
        stream == Stream::Plain ? "" : " (goal <= 5)");
    // The goal is for a controller that reports what the panel shows; settings changing with
    // every reply (every 50 ms) is a stress case that redraws the panel at each tick.
    if (stream == Stream::SteadyStatus)
        ReportFigure("CPU at the full link rate, decoding", cpuPercent, "% of a core",
                     Goal::AtMost, 5);
    else
        ReportFigure(stream == Stream::Plain
                         ? "CPU at the full link rate, plain bytes"
                         : "CPU at the full link rate, decoding, settings changing every reply",
                     cpuPercent, "% of a core");
}

void BM_PollAtFullLinkRate(benchmark::State& state)
{
    PollAtFullLinkRate(state, Stream::Plain, 5);
}

void BM_PollAtFullLinkRateDecoding(benchmark::State& state)
{
    PollAtFullLinkRate(state, state.range(0) ? Stream::ChangingStatus : Stream::SteadyStatus, 10);
}

BENCHMARK(BM_PollAtFullLinkRate)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
// Argument: whether the controller's settings change between every two status replies.
BENCHMARK(BM_PollAtFullLinkRateDecoding)
    ->ArgName("settings_change")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    return OffscreenBenchmarkMain(argc, argv);
}

// CPU used by the panel's poll while the controller streams at the link's full rate (12,800
// bytes/s, 128000 baud), against the simulator in real time: every byte is read, counted and
// listed, and the panel stays drawn.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <vector>

#include "SimPanel.h"

namespace {

void BM_PollAtFullLinkRate(benchmark::State& state)
{
    constexpr int kSeconds = 5;
    constexpr int kBytesPerMs = 13;  // 12,800 bytes/s, rounded up
    SimPanel sim;
    CShutterPanelDlg& panel = *sim.panel;
    if (!panel.UsbReady()) {
        state.SkipWithError("the simulated link did not open");
        return;
    }
    std::vector<uint8_t> chunk(kBytesPerMs * 4);
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i);
    QTimer feeder;
    feeder.setTimerType(Qt::PreciseTimer);
    feeder.setInterval(4);
    QObject::connect(&feeder, &QTimer::timeout,
                     [&] { QuillonSim_Inject(0, chunk.data(), chunk.size()); });

    double cpuPercent = 0;
    int received = 0;
    for (auto _ : state) {
        const int before = panel.m_nReceivedBytes;
        feeder.start();
        cpuPercent = RunEventLoopFor(kSeconds);
        feeder.stop();
        received = panel.m_nReceivedBytes - before;
    }
    state.counters["cpu_percent_of_one_core"] = cpuPercent;
    state.counters["bytes_listed"] = received;
    std::printf("poll at the full link rate: %d bytes listed in %d s, %.1f %% of one core\n",
                received, kSeconds, cpuPercent);
}

BENCHMARK(BM_PollAtFullLinkRate)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    return OffscreenBenchmarkMain(argc, argv);
}

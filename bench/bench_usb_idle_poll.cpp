// CPU used by the panel's poll (2 ms, 20 ms once quiet) with the link open and nothing arriving,
// over 10 s against the simulator in real time. Goal: at most 1 % of one core.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "SimPanel.h"
#include "Figure.h"

namespace {

void BM_IdlePollCpu(benchmark::State& state)
{
    constexpr int kSeconds = 10;
    SimPanel sim;
    CShutterPanelDlg& panel = *sim.panel;
    if (!panel.UsbReady()) {
        state.SkipWithError("the simulated link did not open");
        return;
    }
    double cpuPercent = 0;
    for (auto _ : state) {
        cpuPercent = RunEventLoopFor(kSeconds);
    }
    state.counters["cpu_percent_of_one_core"] = cpuPercent;
    std::printf(
        "idle poll (2 ms, slowing to 20 ms when quiet), link open, no traffic: %.2f %% of "
        "one core over %d s "
        "(goal: <= 1 %%)\n",
        cpuPercent, kSeconds);
    ReportFigure("idle poll CPU, link open", cpuPercent, "% of a core", Goal::AtMost, 1);
}

BENCHMARK(BM_IdlePollCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// The floor on this machine: the same 2 ms precise timer with nothing behind it.
void BM_BareTimerCpu(benchmark::State& state)
{
    constexpr int kSeconds = 10;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(2);
    QObject::connect(&timer, &QTimer::timeout, [] {});
    double cpuPercent = 0;
    for (auto _ : state) {
        timer.start();
        cpuPercent = RunEventLoopFor(kSeconds);
        timer.stop();
    }
    state.counters["cpu_percent_of_one_core"] = cpuPercent;
    std::printf("bare 2 ms timer, nothing behind it: %.2f %% of one core over %d s\n", cpuPercent,
                kSeconds);
    ReportFigure("bare 2 ms timer, the floor of any poll", cpuPercent, "% of a core");
}

BENCHMARK(BM_BareTimerCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    return OffscreenBenchmarkMain(argc, argv);
}

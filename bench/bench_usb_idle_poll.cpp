// CPU used by the panel's 2 ms poll with the link open and nothing arriving, over 10 s against
// the simulator in real time. Goal: at most 1 % of one core.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "QuillonSim.h"
#include "framework/Profile.h"
#include "framework/Prompts.h"
#include "panel/CShutterPanelDlg.h"

namespace {

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_IdlePollCpu(benchmark::State& state)
{
    constexpr int kSeconds = 10;
    QuillonSim_Reset();
    QuillonSim_UseRealTime(1.0);

    QTemporaryDir dir;
    Profile profile(dir.filePath("quillon-utility.ini").toStdString());
    profile.WriteProfileInt("MyTiveloAp", "SerDesc", 2);
    profile.WriteProfileString("MyTiveloAp", "DevNmbr", "0");
    ScriptedPrompts prompts;
    PanelOptions options;
    options.profile = &profile;
    options.prompts = &prompts;
    options.driverCandidates = {QUILLON_BUILD_DIR "/libquillon-sim.so"};
    options.exitProcess = [](int) {};

    CShutterPanelDlg panel(options);
    panel.Create();
    panel.show();
    if (!panel.UsbReady()) {
        state.SkipWithError("the simulated link did not open");
        return;
    }
    double cpuPercent = 0;
    for (auto _ : state) {
        QTimer::singleShot(kSeconds * 1000, qApp, &QCoreApplication::quit);
        const double before = ProcessCpuSeconds();
        QApplication::exec();
        cpuPercent = (ProcessCpuSeconds() - before) / kSeconds * 100.0;
    }
    state.counters["cpu_percent_of_one_core"] = cpuPercent;
    std::printf(
        "idle poll (2 ms, slowing to 20 ms when quiet), link open, no traffic: %.2f %% of "
        "one core over %d s "
        "(goal: <= 1 %%)\n",
        cpuPercent, kSeconds);
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
        QTimer::singleShot(kSeconds * 1000, qApp, &QCoreApplication::quit);
        const double before = ProcessCpuSeconds();
        QApplication::exec();
        cpuPercent = (ProcessCpuSeconds() - before) / kSeconds * 100.0;
        timer.stop();
    }
    state.counters["cpu_percent_of_one_core"] = cpuPercent;
    std::printf("bare 2 ms timer, nothing behind it: %.2f %% of one core over %d s\n", cpuPercent,
                kSeconds);
}

BENCHMARK(BM_BareTimerCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

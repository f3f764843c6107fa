// Round trip of Status through the kernel serial backend against the virtual controller on a
// pseudo-terminal, in real time: the panel writes 0xCC as the Status button does, then its poll
// drains the driver until the decoder has taken the 20-byte reply into the panel. The button's
// repaint is left out: it is the panel's cost, whatever the driver. Prints the median of 1000
// requests (goal: at most 2 ms).

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "OffscreenBench.h"
#include "framework/Profile.h"
#include "framework/Prompts.h"
#include "panel/CShutterPanelDlg.h"
#include "protocol/DecoderState.h"
#include "protocol/Frames.h"
#include "tty/FakeSysfs.h"
#include "tty/SimPtyProcess.h"
#include "Figure.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRequests = 1000;

void BM_TtyStatusRoundTrip(benchmark::State& state)
{
    FakeSysfs root;
    SimPtyProcess sim({"--fake-sysfs", root.Root().string()});
    if (sim.Terminal().empty()) {
        state.SkipWithError("quillon-sim-pty did not start");
        return;
    }
    QTemporaryDir dir;
    Profile profile(dir.filePath("quillon-utility.ini").toStdString());
    profile.WriteProfileInt("MyTiveloAp", "SerDesc", 1);
    profile.WriteProfileString("MyTiveloAp", "SerialString", "QSC10001");
    ScriptedPrompts prompts;
    PanelOptions options;
    options.profile = &profile;
    options.prompts = &prompts;
    options.driverCandidates = {QUILLON_BUILD_DIR "/libquillon-tty.so"};
    options.exitProcess = [](int) {};
    auto panel = std::make_unique<CShutterPanelDlg>(options);
    panel->Create();
    panel->show();
    if (!panel->UsbReady()) {
        state.SkipWithError("the serial link to the virtual controller did not open");
        return;
    }
    panel->PollTimer().stop();
    QApplication::processEvents();

    std::vector<double> ms;
    ms.reserve(kRequests);
    for (auto _ : state) {
        for (int i = 0; i < kRequests; ++i) {
            const auto start = Clock::now();
            const auto deadline = start + std::chrono::seconds(2);
            panel->WriteFrame(SingleByteFrame(cmd::kStatusRequest));
            g_nStatusIndex = 0;  // armed as the Status button arms it
            while (g_nStatusIndex != -1 && Clock::now() < deadline) panel->PollReplies();
            if (g_nStatusIndex != -1) {
                state.SkipWithError("a status reply was not decoded within 2 s");
                return;
            }
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }
    QApplication::processEvents();
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    state.counters["median_ms"] = median;
    state.counters["p99_ms"] = ms[ms.size() * 99 / 100];
    std::printf(
        "Status round trip through the serial backend (write 0xCC, 20 bytes decoded), %zu "
        "requests: median %.3f ms, 99th percentile %.3f ms, max %.3f ms (goal: median <= 2 ms)\n",
        ms.size(), median, ms[ms.size() * 99 / 100], ms.back());
    ReportFigure("Status round trip through the serial backend, median", median, "ms",
                 Goal::AtMost, 2);
}

BENCHMARK(BM_TtyStatusRoundTrip)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    return OffscreenBenchmarkMain(argc, argv);
}

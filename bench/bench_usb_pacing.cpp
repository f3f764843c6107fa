// Link-exercise pacing against the simulator in real time: how far each gap between two bytes
// is from the (500 - speed) ms the speed asks for. Goal: median error at most 1 ms.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Figure.h"
#include "QuillonSim.h"
#include "usb/LinkExercise.h"
#include "usb/LinkFlags.h"
#include "usb/UsbLink.h"

namespace {

using Clock = std::chrono::steady_clock;

int SamplesFor(int speed)
{
    return std::clamp(5000 / (500 - speed), 10, 500);
}

void BM_LinkExercisePacing(benchmark::State& state)
{
    const int speed = static_cast<int>(state.range(0));
    const int samples = SamplesFor(speed);

    QuillonSim_Reset();
    QuillonSim_UseRealTime(1.0);
    UsbLink link;
    link.SetReporter([&state](const std::string& text) { state.SkipWithError(text.c_str()); });
    if (!link.LoadD2xx({QUILLON_BUILD_DIR "/libquillon-sim.so"}) || link.Open(0) != FT_OK) {
        state.SkipWithError("simulator not available");
        return;
    }
    link.SetTimeouts(100, 100);

    std::vector<double> errors;
    for (auto _ : state) {
        std::vector<Clock::time_point> stamps;
        stamps.reserve(samples + 1);
        const LinkExercise::WriteFn write = LinkExercise::WriteThrough(link);
        LinkExercise exercise([&](std::uint8_t* bytes, DWORD count) {
            const FT_STATUS status = write(bytes, count);
            stamps.push_back(Clock::now());
            if (static_cast<int>(stamps.size()) > samples) {
                g_bBlinkRunning = 0;
            }
            return status;
        });
        g_nBlinkSpeed = speed;
        exercise.Start();
        exercise.Join();
        for (std::size_t i = 1; i < stamps.size(); ++i) {
            const double gapMs =
                std::chrono::duration<double, std::milli>(stamps[i] - stamps[i - 1]).count();
            errors.push_back(std::fabs(gapMs - (500 - speed)));
        }
    }
    g_nBlinkSpeed = 0;
    if (errors.empty()) {
        return;
    }
    std::sort(errors.begin(), errors.end());
    const double median = errors[errors.size() / 2];
    const double worst = errors.back();
    state.counters["median_error_ms"] = median;
    state.counters["max_error_ms"] = worst;
    state.counters["gaps"] = static_cast<double>(errors.size());
    std::printf(
        "link exercise speed %3d: %zu gaps of %d ms, median error %.3f ms, max %.3f ms "
        "(goal: median <= 1 ms)\n",
        speed, errors.size(), 500 - speed, median, worst);
    const std::string figure = "link-exercise pacing error, speed " + std::to_string(speed);
    ReportFigure(figure.c_str(), median, "ms", Goal::AtMost, 1);
}

BENCHMARK(BM_LinkExercisePacing)
    ->Arg(0)
    ->Arg(250)
    ->Arg(490)
    ->Arg(499)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

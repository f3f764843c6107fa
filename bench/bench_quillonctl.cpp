// quillonctl as scripts run it, each figure from a child process:
// - `quillonctl --simulate status --json` from just before the start to its JSON line, median of
//   20 runs (goal: at most 50 ms);
// - one `status` inside `quillonctl shell` through the serial backend to the virtual controller
//   on a pseudo-terminal, from the line written to the answer line read, median of 1000 (goal:
//   at most 3 ms);
// - the resident memory of `quillonctl watch` while a continuous run's events come: its peak
//   (goal: at most 12 MiB; Qt Core, which reads the profile, is about 5 of them) and its growth
//   from the 20th to the 300th event (goal: at most 64 KiB, so nothing piles up per event).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Figure.h"
#include "tty/ChildProcess.h"
#include "tty/FakeSysfs.h"
#include "tty/SimPtyProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool Starts(const std::optional<std::string>& line, const std::string& prefix)
{
    return line && line->rfind(prefix, 0) == 0;
}

void BM_QuillonctlStatusJson(benchmark::State& state)
{
    // No profile of the user's steers the run.
    char configHome[] = "/tmp/quillonctl-bench-XXXXXX";
    if (!mkdtemp(configHome)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    setenv("XDG_CONFIG_HOME", configHome, 1);
    std::vector<double> ms;
    for (auto _ : state) {
        for (int i = 0; i < 20; ++i) {
            const auto start = Clock::now();
            ToolProcess tool({"--simulate", "status", "--json"});
            const auto line = tool.ReadLine(milliseconds(5000));
            const double elapsed = MsSince(start);
            if (!Starts(line, "{\"schema\":1,\"type\":\"status\"") || tool.Wait(5000) != 0) {
                state.SkipWithError("quillonctl --simulate status --json gave no status line");
                break;
            }
            ms.push_back(elapsed);
        }
    }
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(configHome);
    if (ms.size() != 20)
        return;
    const double median = Median(ms);
    state.counters["median_ms"] = median;
    std::printf(
        "quillonctl --simulate status --json to its JSON line, 20 runs: median %.1f ms, "
        "min %.1f ms, max %.1f ms\n",
        median, *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()));
    ReportFigure("quillonctl --simulate status --json to its JSON line (median of 20)", median,
                 "ms", Goal::AtMost, 50);
}

void BM_QuillonctlShellStatusOverTty(benchmark::State& state)
{
    FakeSysfs root;
    SimPtyProcess sim({"--fake-sysfs", root.Root().string()});
    if (sim.Terminal().empty()) {
        state.SkipWithError("quillon-sim-pty did not start");
        return;
    }
    ToolProcess tool({"--driver", "tty", "shell"});
    constexpr int kRequests = 1000;
    std::vector<double> ms;
    ms.reserve(kRequests);
    for (auto _ : state) {
        // The first answer also tells that the link is open.
        if (!tool.Send("status\n") || !Starts(tool.ReadLine(milliseconds(5000)), "status ")) {
            state.SkipWithError("quillonctl shell did not answer status over the serial backend");
            return;
        }
        for (int i = 0; i < kRequests; ++i) {
            const auto start = Clock::now();
            tool.Send("status\n");
            const auto line = tool.ReadLine(milliseconds(2000));
            const double elapsed = MsSince(start);
            if (!Starts(line, "status ")) {
                state.SkipWithError("a status line did not come within 2 s");
                return;
            }
            ms.push_back(elapsed);
        }
    }
    tool.CloseInput();
    tool.Wait(5000);
    std::sort(ms.begin(), ms.end());
    const double median = Median(ms);
    state.counters["median_ms"] = median;
    std::printf(
        "status inside quillonctl shell through the serial backend, %d requests: median "
        "%.3f ms, 99th percentile %.3f ms, max %.3f ms\n",
        kRequests, median, ms[ms.size() * 99 / 100], ms.back());
    ReportFigure("status inside quillonctl shell through the serial backend (median of 1000)",
                 median, "ms", Goal::AtMost, 3);
}

// VmRSS and VmHWM of a process, in KiB; zero when unreadable.
std::pair<long, long> ResidentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    long rss = 0, hwm = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            rss = std::atol(line.c_str() + 6);
        else if (line.rfind("VmHWM:", 0) == 0)
            hwm = std::atol(line.c_str() + 6);
    }
    return {rss, hwm};
}

bool ToolSays(const std::vector<std::string>& args)
{
    std::vector<std::string> all = {"--driver", "tty"};
    all.insert(all.end(), args.begin(), args.end());
    ToolProcess tool(all);
    return tool.Wait(5000) == 0;
}

void BM_QuillonctlWatchResidentMemory(benchmark::State& state)
{
    FakeSysfs root;
    SimPtyProcess sim({"--fake-sysfs", root.Root().string()});
    if (sim.Terminal().empty()) {
        state.SkipWithError("quillon-sim-pty did not start");
        return;
    }
    // A continuous run of the shortest cycles, started by one quillonctl and watched by another.
    if (!ToolSays({"timer", "closed", "0.0001"}) || !ToolSays({"timer", "exposure", "0.0001"}) ||
        !ToolSays({"repeat", "continuous"}) || !ToolSays({"run", "go"})) {
        state.SkipWithError("the continuous run could not be started");
        return;
    }
    std::pair<long, long> early{}, late{};
    for (auto _ : state) {
        ToolProcess watch({"--driver", "tty", "watch"});
        for (int events = 1; events <= 300; ++events) {
            // The first also waits for the program to start and open the link.
            if (!Starts(watch.ReadLine(milliseconds(events == 1 ? 10000 : 2000)), "shutter ")) {
                state.SkipWithError("the watch told no shutter event in time");
                break;
            }
            if (events == 20)
                early = ResidentKiB(watch.Pid());
        }
        late = ResidentKiB(watch.Pid());
        kill(watch.Pid(), SIGINT);
        if (watch.Wait(5000) != 0)
            state.SkipWithError("the watch did not end with status 0 on Ctrl+C");
    }
    ToolSays({"stop"});
    if (!early.first || !late.first)
        return;
    const double peakMiB = late.second / 1024.0;
    const double growthKiB = double(late.first - early.first);
    state.counters["peak_MiB"] = peakMiB;
    std::printf(
        "quillonctl watch through the serial backend: VmRSS %ld KiB at the 20th event, "
        "%ld KiB at the 300th; VmHWM %ld KiB\n",
        early.first, late.first, late.second);
    ReportFigure("quillonctl watch, peak resident memory (VmHWM)", peakMiB, "MiB", Goal::AtMost,
                 12);
    ReportFigure("quillonctl watch, resident growth from the 20th to the 300th event", growthKiB,
                 "KiB", Goal::AtMost, 64);
}

BENCHMARK(BM_QuillonctlStatusJson)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuillonctlShellStatusOverTty)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuillonctlWatchResidentMemory)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

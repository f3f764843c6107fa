// Start-up time: from just before the program is started with the simulated controller to the
// end of the panel's first paint, median of 10 runs on the offscreen platform. Goal: at most
// 300 ms.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "Figure.h"

extern char** environ;

namespace {

long long MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// One start; the milliseconds to the first paint, or a negative number when the program did
// not say.
double OneStart(const std::string& configHome)
{
    std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "QUILLON_STARTUP_PROBE=1",
                                    "XDG_CONFIG_HOME=" + configHome};
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) && std::strncmp(*e, "XDG_CONFIG_HOME=", 16))
            env.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = QUILLON_BUILD_DIR "/quillon-utility";
    std::string simulate = "--simulate";
    char* argv[] = {program.data(), simulate.data(), nullptr};

    int out[2];
    if (pipe(out) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    // Qt's start-up chatter would bury the figures.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const long long started = MonotonicNs();
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (failed) {
        close(out[0]);
        return -1;
    }
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    long long painted = 0;
    const std::size_t at = text.find("first paint done at ");
    if (at == std::string::npos ||
        std::sscanf(text.c_str() + at, "first paint done at %lld", &painted) != 1)
        return -1;
    return double(painted - started) / 1e6;
}

void BM_StartupToFirstPaint(benchmark::State& state)
{
    char configHome[] = "/tmp/quillon-startup-XXXXXX";
    if (!mkdtemp(configHome)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    std::vector<double> ms;
    for (auto _ : state) {
        for (int i = 0; i < 10; ++i) {
            const double one = OneStart(configHome);
            if (one < 0) {
                state.SkipWithError("the program did not report its first paint");
                break;
            }
            ms.push_back(one);
        }
    }
    std::system((std::string("rm -rf ") + configHome).c_str());
    if (ms.size() != 10)
        return;
    std::sort(ms.begin(), ms.end());
    const double median = (ms[4] + ms[5]) / 2;
    state.counters["median_ms"] = median;
    std::printf("start-up with the simulator to the first paint, 10 runs: median %.1f ms, "
                "min %.1f ms, max %.1f ms\n",
                median, ms.front(), ms.back());
    ReportFigure("start-up to first paint (simulator, median of 10)", median, "ms", Goal::AtMost,
                 300);
}

BENCHMARK(BM_StartupToFirstPaint)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

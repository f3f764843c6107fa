#pragma once
// What every Qt benchmark here shares: an offscreen QApplication around Google Benchmark, and
// the CPU the process spends while the event loop runs for a while.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

// CPU time the process has used so far, user and system.
inline double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop for the given time; returns the CPU used, in per cent of one core. A
// coarse single shot may come 5 % late, so the share is of the time the loop really ran.
inline double RunEventLoopFor(int seconds)
{
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, qApp, &QCoreApplication::quit);
    QElapsedTimer wall;
    wall.start();
    const double before = ProcessCpuSeconds();
    QApplication::exec();
    return (ProcessCpuSeconds() - before) / (double(wall.nsecsElapsed()) / 1e9) * 100.0;
}

inline int OffscreenBenchmarkMain(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

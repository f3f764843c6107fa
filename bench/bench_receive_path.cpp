// The received-byte path as the panel runs it on a busy link: each timer tick reads up to 600
// bytes from the driver, the decoder takes them (one status reply, then plain bytes), every byte
// becomes a line of "Data Received:", and a pass of the event loop announces the rows and draws
// what changed, at most every 100 ms as while the timer streams bytes in. The ticks are driven
// directly, on the simulator's manual clock, so the figure is the path's and not the timer's.
// Prints bytes per second (goal: at least 2,000,000) and memory per listed byte (goal: at most 4).

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "ReplyStream.h"
#include "SimPanel.h"
#include "panel/ReceivedList.h"
#include "Figure.h"

namespace {

constexpr std::size_t kTickBytes = 600;

size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Counts paint events, so the figure is known to include drawing.
class PaintCounter : public QObject {
public:
    long long paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
};

void BM_ReceivePath(benchmark::State& state)
{
    const int64_t total = state.range(0);
    const bool settingsChange = state.range(1) != 0;
    SimPanel sim;
    CShutterPanelDlg& panel = *sim.panel;
    if (!panel.UsbReady()) {
        state.SkipWithError("the simulated link did not open");
        return;
    }
    panel.PollTimer().stop();
    QuillonSim_UseManualClock();
    panel.PollReplies();  // whatever the handshake left
    QApplication::processEvents();
    const ReceivedList& list = *panel.m_listReceived;
    PaintCounter counter;
    qApp->installEventFilter(&counter);

    double seconds = 0;
    double heapPerByte = 0;
    double storePerByte = 0;
    long long replies = 0;
    int64_t listed = 0;
    for (auto _ : state) {
        PlainBytes plain;
        StatusReplies status(settingsChange);
        std::vector<uint8_t> tick;
        tick.reserve(kTickBytes);
        const int listedBefore = list.GetCount();
        const int countedBefore = panel.m_nReceivedBytes;
        const size_t heapBefore = HeapInUse();
        const size_t storeBefore = panel.m_listReceived->ListModel().Lines().StorageBytes();
        seconds = 0;
        for (int64_t done = 0; done < total;) {
            const std::size_t n = std::min<int64_t>(kTickBytes, total - done);
            tick.clear();
            if (n >= kFastStatusReply.size()) {
                status.Append(tick);
            }
            plain.Append(tick, n - tick.size());
            QuillonSim_Inject(0, tick.data(), tick.size());
            // The simulator's record of the wire is test machinery, not the program's memory.
            QuillonSim_ClearTranscript();
            QuillonSim_ClearCallLog();
            StatusReplies::Arm();

            const auto start = std::chrono::steady_clock::now();
            panel.OnTimer();
            QApplication::processEvents();
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (g_nStatusIndex != -1) {
                state.SkipWithError("a status reply was not decoded within its tick");
                break;
            }
            done += int64_t(n);
        }
        state.SetIterationTime(seconds);
        listed = list.GetCount() - listedBefore;
        if (listed != total || panel.m_nReceivedBytes - countedBefore != total) {
            state.SkipWithError("bytes missing from the list or the count");
        }
        replies = status.Count();
        heapPerByte = double(HeapInUse() - heapBefore) / double(listed);
        storePerByte =
            double(panel.m_listReceived->ListModel().Lines().StorageBytes() - storeBefore) /
            double(listed);
    }
    qApp->removeEventFilter(&counter);

    const double bytesPerSecond = double(listed) / seconds;
    state.counters["bytes_per_s"] = bytesPerSecond;
    state.counters["heap_bytes_per_listed_byte"] = heapPerByte;
    state.counters["store_bytes_per_listed_byte"] = storePerByte;
    state.counters["status_replies"] = double(replies);
    state.counters["paints"] = double(counter.paints);
    std::printf(
        "receive path, %s: %lld bytes (%lld status replies) read, decoded and listed in %.2f s: "
        "%.0f bytes/s (goal >= 2,000,000); memory per listed byte: %.2f heap, %.2f list store "
        "(goal <= 4); %lld paints\n",
        settingsChange ? "settings change with every reply" : "steady settings",
        static_cast<long long>(listed), replies, seconds, bytesPerSecond, heapPerByte, storePerByte,
        counter.paints);
    // As for the CPU figure, the goal is the steady case's; a controller whose settings change
    // with every reply is a stress case that redraws the panel at each tick.
    if (settingsChange)
        ReportFigure("received-byte path, settings changing every reply", bytesPerSecond,
                     "bytes/s");
    else
        ReportFigure("received-byte path", bytesPerSecond, "bytes/s", Goal::AtLeast, 2'000'000);
    ReportFigure(settingsChange ? "memory per listed byte, settings changing"
                                : "memory per listed byte, steady settings",
                 heapPerByte, "bytes", Goal::AtMost, 4);
}

// Second argument: 0, the controller's settings stay put (the usual case: a reply repeats what
// the panel shows and nothing is redrawn for it); 1, they change between every two replies, so
// each tick also redraws the radios, captions and displays the reply sets.
BENCHMARK(BM_ReceivePath)
    ->ArgNames({"bytes", "settings_change"})
    ->Args({10'000'000, 0})
    ->Args({10'000'000, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    return OffscreenBenchmarkMain(argc, argv);
}

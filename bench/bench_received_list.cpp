// Filling the "Data Received:" list the way the panel does on a busy link: 600 lines per timer
// tick, a repaint and a pass of the event loop after each tick. Prints lines per second and heap
// bytes per line (goal: at least 2,000,000 lines/s, at most 4 bytes per line). The QListWidget
// and plain QListView cases show what the stock views cost on far fewer lines.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QFontMetrics>
#include <QListView>
#include <QListWidget>
#include <algorithm>
#include <chrono>
#include <memory>
#include <type_traits>

#include "Figure.h"
#include "OffscreenBench.h"
#include "panel/ReceivedList.h"

namespace {

constexpr int kBatch = 600;

size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The list's rectangle on the panel, 366 x 63 dialog units, in pixels of the application font.
QSize PanelListSize()
{
    const QFontMetrics metrics(QApplication::font());
    return QSize(366 * metrics.averageCharWidth() / 4, 63 * metrics.height() / 8);
}

// Counts paints, so the figures are known to include drawing.
template <typename View>
class Counted : public View {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        View::paintEvent(event);
    }
};

template <typename View, typename Append>
void Fill(benchmark::State& state, Append append)
{
    const int64_t total = state.range(0);
    double bytesPerLine = 0;
    int paints = 0;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto view = std::make_unique<Counted<View>>();
        view->resize(PanelListSize());
        view->show();
        QApplication::processEvents();
        const size_t heapBefore = HeapInUse();
        state.ResumeTiming();

        const auto start = std::chrono::steady_clock::now();
        for (int64_t done = 0; done < total;) {
            const int64_t n = std::min<int64_t>(kBatch, total - done);
            for (int64_t i = 0; i < n; ++i) {
                append(*view, uint8_t(done + i));
            }
            done += n;
            // The scroll area's own repaint() leaves its viewport alone; paint the rows for real.
            view->viewport()->repaint();
            QApplication::processEvents();
        }

        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        bytesPerLine = double(HeapInUse() - heapBefore) / double(total);
        paints = view->paints;
        if (view->model()->rowCount() != total) {
            state.SkipWithError("rows missing from the model");
        }
        view.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * total);
    state.counters["lines_per_s"] =
        benchmark::Counter(double(total), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes_per_line"] = bytesPerLine;
    state.counters["paints"] = paints;
    if constexpr (std::is_same_v<View, ReceivedList>) {
        ReportFigure("\"Data Received:\" list fill", double(total) / seconds, "lines/s",
                     Goal::AtLeast, 2'000'000);
        ReportFigure("\"Data Received:\" list memory per line", bytesPerLine, "bytes",
                     Goal::AtMost, 4);
    }
}

void BM_ReceivedList(benchmark::State& state)
{
    Fill<ReceivedList>(state, [](ReceivedList& list, uint8_t byte) { list.AddByteLine(byte); });
}

void BM_StockQListWidget(benchmark::State& state)
{
    Fill<QListWidget>(state, [](QListWidget& list, uint8_t byte) {
        list.setUniformItemSizes(true);
        list.addItem(ReceivedLines::ByteText(byte));
    });
}

// Our model and its batching, but Qt's own list layout.
class PlainListView : public QListView {
public:
    PlainListView()
    {
        setUniformItemSizes(true);
        setModel(&lines);
    }
    ReceivedListModel lines;
};

void BM_StockQListViewOverOurModel(benchmark::State& state)
{
    Fill<PlainListView>(state, [](PlainListView& list, uint8_t byte) { list.lines.AddByte(byte); });
}

}  // namespace

BENCHMARK(BM_ReceivedList)->Arg(10'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StockQListWidget)->Arg(200'000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StockQListViewOverOurModel)
    ->Arg(200'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return OffscreenBenchmarkMain(argc, argv);
}

// The panel's scrolling arithmetic, by table.

#include <gtest/gtest.h>

#include "panel/ScrollMath.h"

namespace {

TEST(ScrollMath, RangeAfterResizeAndStepsByCode)
{
    // Window height 800; client height, then the range and page.
    for (auto [cy, max, page] : {std::tuple{700, 100, 10}, {800, 0, 0}, {900, 0, 0},
                                 {795, 5, 0}, {0, 800, 80}}) {
        EXPECT_EQ(ComputeScrollRange(800, cy).max, max) << cy;
        EXPECT_EQ(ComputeScrollRange(800, cy).page, page) << cy;
    }
    // code, thumb position, position, max; then whether it applies and by how much.
    const std::tuple<int, int, int, int, bool, int> cases[] = {
        {SB_LINEDOWN, 0, 0, 100, true, 1},    {SB_LINEDOWN, 0, 95, 100, true, 1},
        {SB_PAGEDOWN, 0, 95, 100, true, 5},   {SB_PAGEDOWN, 0, 0, 100, true, 10},
        {SB_LINEUP, 0, 0, 100, false, 0},     {SB_PAGEUP, 0, 0, 100, false, 0},
        {SB_LINEUP, 0, 50, 100, true, -1},    {SB_PAGEUP, 0, 50, 100, true, -10},
        // Less than a step from the end: to the end, not past it.
        {SB_LINEUP, 0, 4, 1000, true, -4},    {SB_LINEDOWN, 0, 996, 1000, true, 4},
        {SB_PAGEUP, 0, 4, 100, true, -4},     {SB_LINEDOWN, 0, 100, 100, false, 0},
        {SB_PAGEDOWN, 0, 120, 100, false, 0}, {SB_THUMBPOSITION, 30, 95, 100, true, -65},
        // Below a max of 100 the line step is 0: applied, but nothing moves.
        {SB_LINEDOWN, 0, 10, 60, true, 0},    {SB_LINEUP, 0, 10, 60, true, 0},
        // A negative max (window grown past its first height) never scrolls down.
        {SB_LINEDOWN, 0, 0, -20, false, 0},   {SB_THUMBTRACK, 40, 0, 100, false, 0},
        {SB_TOP, 0, 50, 100, false, 0},       {SB_ENDSCROLL, 0, 50, 100, false, 0},
    };
    for (const auto& [code, nPos, pos, max, apply, delta] : cases) {
        const ScrollStep s = ComputeScrollStep(code, nPos, pos, max);
        EXPECT_EQ(s.apply, apply) << code << " at " << pos;
        EXPECT_EQ(s.delta, delta) << code << " at " << pos;
    }
}

}  // namespace

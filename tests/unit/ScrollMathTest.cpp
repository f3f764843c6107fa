// The panel's scrolling arithmetic, by table.

#include <gtest/gtest.h>

#include "panel/ScrollMath.h"

namespace {

TEST(ScrollMathTest, RangeAfterResize)
{
    struct Case {
        int H, cy, max, page;
    };
    for (Case c : {Case{800, 700, 100, 10}, Case{800, 800, 0, 0}, Case{800, 900, 0, 0},
                   Case{800, 795, 5, 0}, Case{800, 0, 800, 80}}) {
        const ScrollRange r = ComputeScrollRange(c.H, c.cy);
        EXPECT_EQ(r.max, c.max) << c.cy;
        EXPECT_EQ(r.page, c.page) << c.cy;
    }
}

TEST(ScrollMathTest, StepsByCode)
{
    struct Case {
        int code, nPos, pos, max;
        bool apply;
        int delta;
    };
    const Case cases[] = {
        {SB_LINEDOWN, 0, 0, 100, true, 1},
        {SB_LINEDOWN, 0, 95, 100, true, 1},
        {SB_PAGEDOWN, 0, 95, 100, true, 5},
        {SB_PAGEDOWN, 0, 0, 100, true, 10},
        {SB_LINEUP, 0, 0, 100, false, 0},
        {SB_PAGEUP, 0, 0, 100, false, 0},
        {SB_LINEUP, 0, 50, 100, true, -1},
        // Less than a line from the top: up to the top, not past it.
        {SB_LINEUP, 0, 4, 1000, true, -4},
        {SB_LINEDOWN, 0, 996, 1000, true, 4},
        {SB_PAGEUP, 0, 4, 100, true, -4},
        {SB_LINEDOWN, 0, 100, 100, false, 0},
        {SB_PAGEDOWN, 0, 100, 100, false, 0},
        {SB_PAGEDOWN, 0, 120, 100, false, 0},
        {SB_THUMBPOSITION, 30, 95, 100, true, -65},
        // Below a max of 100 the line step is 0: applied, but nothing moves.
        {SB_LINEDOWN, 0, 10, 60, true, 0},
        {SB_LINEUP, 0, 10, 60, true, 0},
        // A negative max (window grown past its first height) never scrolls down.
        {SB_LINEDOWN, 0, 0, -20, false, 0},
        {SB_THUMBTRACK, 40, 0, 100, false, 0},
        {SB_TOP, 0, 50, 100, false, 0},
        {SB_BOTTOM, 0, 50, 100, false, 0},
        {SB_ENDSCROLL, 0, 50, 100, false, 0},
    };
    for (const Case& c : cases) {
        const ScrollStep s = ComputeScrollStep(c.code, c.nPos, c.pos, c.max);
        EXPECT_EQ(s.apply, c.apply) << c.code << " at " << c.pos;
        EXPECT_EQ(s.delta, c.delta) << c.code << " at " << c.pos;
    }
}

}  // namespace

#pragma once
// The panel's vertical scrolling arithmetic, kept apart from the widgets so it can be checked
// by table.

enum ScrollCode {
    SB_LINEUP = 0,
    SB_LINEDOWN = 1,
    SB_PAGEUP = 2,
    SB_PAGEDOWN = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_BOTTOM = 7,
    SB_ENDSCROLL = 8,
};

struct ScrollRange {
    int max;
    int page;
};

// After a resize to client height cy, with H the window height taken at start-up.
inline ScrollRange ComputeScrollRange(int windowHeight, int cy)
{
    int max = cy < windowHeight ? windowHeight - cy : 0;
    return {max, max / 10};
}

struct ScrollStep {
    bool apply;
    int delta;
};

// One scroll action. max is H minus the last client height and is deliberately not clamped at
// 0, so line and page steps truncate toward zero as integer division does.
inline ScrollStep ComputeScrollStep(int code, int nPos, int pos, int max)
{
    const int line = max / 100;
    const int page = max / 10;
    auto minOf = [](int a, int b) { return a < b ? a : b; };
    switch (code) {
        case SB_LINEUP:
            return pos <= 0 ? ScrollStep{false, 0} : ScrollStep{true, -minOf(line, pos)};
        case SB_LINEDOWN:
            return pos >= max ? ScrollStep{false, 0} : ScrollStep{true, minOf(line, max - pos)};
        case SB_PAGEUP:
            return pos <= 0 ? ScrollStep{false, 0} : ScrollStep{true, -minOf(page, pos)};
        case SB_PAGEDOWN:
            return pos >= max ? ScrollStep{false, 0} : ScrollStep{true, minOf(page, max - pos)};
        case SB_THUMBPOSITION:
            return {true, nPos - pos};
        default:
            return {false, 0};
    }
}

#pragma once
// The configuration transfer: Apply sends the shutter frame, then each further frame goes out
// once the controller has answered the previous one with its echo and a ready byte (one byte
// more than the frame). Which frame is due follows from the number of answer bytes received so
// far: the expected totals run 2, 4, 7, 10, 17, 24, 29 (2, 5, 8, 11, 18, 25, 30 with neutral
// density), so each band below is met exactly once.

#include "protocol/PanelState.h"
#include "protocol/Frames.h"
#include "timing/TimeRecord.h"

struct TransferStep {
    Frame frame;     // may be empty: nothing is sent
    int answer = 0;  // answer bytes to add to the expected total
    bool ends = false;
    bool armsFreeRun = false;  // the free-run option went out: count its cycles
};

// The step due when `received` answer bytes have come, from the panel as just pulled. The
// repeat-count step leaves the repeat text and "Left Cycle Number" as Send to Controller does.
TransferStep NextTransferStep(int received, PanelState& panel, const TimeRecord& closed,
                              const TimeRecord& exposure);

#include "protocol/ConfigTransfer.h"

#include <utility>

TransferStep NextTransferStep(int received, PanelState& panel, const TimeRecord& closed,
                              const TimeRecord& exposure)
{
    TransferStep step;
    if (received <= 2) {
        // No mode selected: nothing goes out and the transfer waits until the next Apply.
        step.frame = ModeFrame(panel.m_nShutterMode, panel.m_nNdSteps);
        step.answer = step.frame.empty() ? 0 : static_cast<int>(step.frame.size()) + 1;
    } else if (received <= 5) {
        step.frame = TriggerFrame(panel.m_nTriggerMode);
        step.answer = 3;
    } else if (received <= 8) {
        step.frame = SyncFrame(panel.m_nSyncPolarity);
        step.answer = 3;
    } else if (received <= 11) {
        step.frame = EncodeTimeFrame(TimeKind::Closed, closed);
        step.answer = 7;
    } else if (received <= 18) {
        step.frame = EncodeTimeFrame(TimeKind::Exposure, exposure);
        step.answer = 7;
    } else if (received <= 25) {
        RepeatCount count = TransferRepeatCount(panel.m_strRepeatNumber);
        step.frame = count.frame;
        step.answer = 5;
        // The countdown of a run starts from here, not from whatever was left of the last one.
        panel.m_strRepeatNumber = std::move(count.repeatNumber);
        panel.m_strLeftCycles = panel.m_strRepeatNumber;
    } else {
        // Without a running option nothing is sent: FA F0 alone would open a repeat-count frame
        // and the controller would take the next two bytes as its count.
        step.frame = FreeRunFrame(panel.m_nFreeRunOption);
        step.ends = true;
        step.armsFreeRun = !step.frame.empty();
    }
    return step;
}

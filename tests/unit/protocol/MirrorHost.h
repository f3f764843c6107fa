#pragma once
// A decoder host standing in for the panel's controls. `ui` is what the controls show: a pull
// copies it into the fields, a push copies the fields back, where a radio or combo value without
// a button reads as -1. The step count has no control and is not exchanged.

#include "protocol/PanelState.h"
#include "protocol/ReplyDecoder.h"

class MirrorHost : public DecoderHost {
public:
    PanelState& Panel() override { return panel; }
    void Pull() override
    {
        ++pulls;
        const int steps = panel.m_nNdSteps;
        panel = ui;
        panel.m_nNdSteps = steps;
    }
    void Push() override
    {
        const auto radio = [](int value, int buttons) {
            return value >= 0 && value < buttons ? value : -1;
        };
        ui = panel;
        ui.m_nShutterState = radio(panel.m_nShutterState, 2);
        ui.m_nShutterMode = radio(panel.m_nShutterMode, 3);
        ui.m_nTriggerMode = radio(panel.m_nTriggerMode, 4);
        ui.m_nSyncPolarity = radio(panel.m_nSyncPolarity, 2);
        ui.m_nTimerSelect = radio(panel.m_nTimerSelect, 2);
        ui.m_nFreeRunOption = radio(panel.m_nFreeRunOption, 3);
    }

    PanelState panel;
    PanelState ui;
    int pulls = 0;
};

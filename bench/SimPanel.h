#pragma once
// A real panel on the offscreen platform, opened on the simulated controller in real time, for
// benchmarks that measure what the running program costs.

#include <QTemporaryDir>
#include <memory>

#include "OffscreenBench.h"
#include "QuillonSim.h"
#include "framework/Profile.h"
#include "framework/Prompts.h"
#include "panel/CShutterPanelDlg.h"

struct SimPanel {
    SimPanel()
    {
        QuillonSim_Reset();
        QuillonSim_UseRealTime(1.0);
        profile = std::make_unique<Profile>(dir.filePath("quillon-utility.ini").toStdString());
        profile->WriteProfileInt("MyTiveloAp", "SerDesc", 2);
        profile->WriteProfileString("MyTiveloAp", "DevNmbr", "0");
        PanelOptions options;
        options.profile = profile.get();
        options.prompts = &prompts;
        options.driverCandidates = {QUILLON_BUILD_DIR "/libquillon-sim.so"};
        options.exitProcess = [](int) {};
        panel = std::make_unique<CShutterPanelDlg>(options);
        panel->Create();
        panel->show();
    }

    QTemporaryDir dir;
    std::unique_ptr<Profile> profile;
    ScriptedPrompts prompts;
    std::unique_ptr<CShutterPanelDlg> panel;
};

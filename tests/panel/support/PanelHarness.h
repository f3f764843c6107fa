#pragma once
// Builds a real panel on the offscreen platform with a scripted prompt, a profile in a fresh
// temporary folder and a recorded exit, so a test can drive it like an operator.

#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "framework/Profile.h"
#include "framework/Prompts.h"
#include "panel/CShutterPanelDlg.h"

// The one QApplication of a test process.
void EnsureQtApp();

// Path of a library in the build tree (e.g. "libquillon-sim.so").
std::string BuildLibrary(const std::string& name);

struct PanelHarness {
    // driverCandidates empty: a library that does not exist, so no device is opened.
    explicit PanelHarness(std::vector<std::string> driverCandidates = {});
    ~PanelHarness();

    // Constructs the panel (after the profile has been prepared) and runs its initialisation.
    CShutterPanelDlg& Start();

    template <class W>
    W* Item(int id) const
    {
        return panel->Item<W>(id);
    }
    // Operator actions.
    void Click(int id);
    void TypeText(int id, const std::string& text);

    QTemporaryDir dir;
    std::unique_ptr<Profile> profile;
    ScriptedPrompts prompts;
    PanelOptions options;
    std::vector<int> exitCodes;
    std::unique_ptr<CShutterPanelDlg> panel;
};

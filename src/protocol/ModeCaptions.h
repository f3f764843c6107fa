#pragma once
// What a shutter mode shows on the panel: the step count in the Neutral Density caption and one
// transition's time under "Opening " and "Closing ". Shared by the mode buttons and a loaded
// configuration.

class CShutterPanelDlg;

// Mode 2 shows the step count and its transition time; 1 (Soft) 70 ms; any other value 12 ms.
void ShowModeCaptions(CShutterPanelDlg& dlg, int shutterMode, int ndSteps);

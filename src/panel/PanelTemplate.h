#pragma once
#include "framework/DialogTemplate.h"

// The main panel (resource 102) and the about box (resource 100).
const DialogTemplate& PanelTemplate();
const DialogTemplate& AboutTemplate();

inline constexpr const char* kPanelCaption = "Quillon Utility - USB v1.12b";

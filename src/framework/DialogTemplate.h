#pragma once
// A dialog described as a table, the way a resource template describes it: controls in template
// order (which is also the tab order), positions in dialog units.

#include <string>
#include <vector>

enum class ControlKind {
    PushButton,
    DefPushButton,
    RadioButton,
    CheckBox,
    Edit,
    Label,
    ScaleLine,  // a label drawn as a time-scale line rather than as its dashes
    GroupBox,
    Trackbar,
    DropList,
    ListBox,
    Icon,
};

enum ControlStyle : unsigned {
    kStyleNone = 0,
    kStyleReadOnly = 1u << 0,
    kStyleCentre = 1u << 1,
    kStyleBorder = 1u << 2,
};

inline constexpr int IDC_STATIC = -1;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

struct ControlTemplate {
    int id;
    ControlKind kind;
    std::string caption;
    int x, y, w, h;
    bool groupStart = false;
    unsigned style = kStyleNone;
    // For controls without a caption; otherwise the caption is the accessible name.
    std::string accessibleName = {};
};

struct DialogTemplate {
    std::string caption;
    int width;
    int height;
    std::vector<ControlTemplate> controls;
};

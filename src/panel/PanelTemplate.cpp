#include "panel/PanelTemplate.h"

#include <string>

namespace {
// The two scale lines of the timing diagram.
const std::string kScale66 = "|<" + std::string(80, '-') + ">|" + std::string(8, '=') + "|<" +
                             std::string(80, '-') + ">|" + std::string(8, '=') + "|";
const std::string kScale80 = "|<" + std::string(198, '-') + ">|";
}  // namespace

// clang-format off
const DialogTemplate& PanelTemplate()
{
    static const DialogTemplate t{kPanelCaption, 573, 465, {
        {1027, ControlKind::RadioButton, "Description", 55, 18, 51, 10, true, kStyleNone},
        {1028, ControlKind::RadioButton, "Serial Number ", 108, 18, 59, 10, false, kStyleNone},
        {1029, ControlKind::RadioButton, "Dev #", 172, 18, 36, 10, false, kStyleNone},
        {1026, ControlKind::Edit, "", 58, 32, 106, 12, false, kStyleNone, "Device entry"},
        {1017, ControlKind::PushButton, "Blink LEDs", 357, 30, 45, 13, false, kStyleNone},
        {1018, ControlKind::PushButton, "Blink Off", 487, 30, 45, 13, false, kStyleNone},
        {1006, ControlKind::Trackbar, "", 409, 29, 64, 16, false, kStyleNone, "Speed"},
        {1023, ControlKind::PushButton, "Clear", 377, 443, 39, 14, false, kStyleNone},
        {1, ControlKind::DefPushButton, "EXIT", 499, 417, 39, 14, false, kStyleNone},
        {1024, ControlKind::PushButton, "Open", 173, 32, 34, 13, false, kStyleNone},
        {IDC_STATIC, ControlKind::Label, "Data Received:", 7, 385, 59, 8, true, kStyleNone},
        {1015, ControlKind::Edit, "", 211, 32, 108, 12, false, kStyleReadOnly, "USB status"},
        {IDC_STATIC, ControlKind::Label, "Speed", 429, 19, 22, 11, true, kStyleNone},
        {1019, ControlKind::ListBox, "", 7, 396, 366, 63, false, kStyleNone, "Data Received:"},
        {1021, ControlKind::Edit, "", 377, 406, 53, 14, false, kStyleReadOnly | kStyleCentre, "Received Bytes #"},
        {IDC_STATIC, ControlKind::Label, "Received Bytes #", 375, 396, 58, 8, true, kStyleNone},
        {IDC_STATIC, ControlKind::Label, "Open by :", 18, 19, 32, 8, true, kStyleNone},
        {1030, ControlKind::PushButton, "Search", 18, 32, 35, 13, false, kStyleNone},
        {1041, ControlKind::PushButton, "OnLine", 501, 301, 39, 14, false, kStyleNone},
        {1042, ControlKind::PushButton, "Reset", 256, 359, 49, 12, false, kStyleNone},
        {1107, ControlKind::GroupBox, "Smart Shutter Control Command", 7, 61, 549, 315, false, kStyleNone},
        {1043, ControlKind::PushButton, "Status", 418, 301, 39, 14, false, kStyleNone},
        {1055, ControlKind::RadioButton, "Fast", 144, 72, 72, 10, true, kStyleNone},
        {1056, ControlKind::RadioButton, "Soft", 144, 82, 44, 10, false, kStyleNone},
        {1057, ControlKind::RadioButton, "Neutral Density ", 144, 94, 89, 10, false, kStyleNone},
        {1065, ControlKind::RadioButton, "Open", 48, 72, 33, 10, true, kStyleNone},
        {1066, ControlKind::RadioButton, "Close", 48, 82, 33, 10, false, kStyleNone},
        {IDC_STATIC, ControlKind::Label, "Mode ->>", 110, 72, 31, 8, true, kStyleNone},
        {IDC_STATIC, ControlKind::Label, "Status ->>", 14, 72, 33, 8, true, kStyleNone},
        {1106, ControlKind::GroupBox, "USB Status and Test Command", 7, 5, 549, 47, false, kStyleNone},
        {IDC_STATIC, ControlKind::Label, "Select Timer:", 25, 196, 45, 10, true, kStyleNone},
        {1079, ControlKind::Edit, "", 340, 194, 25, 14, false, kStyleCentre, "HR"},
        {1080, ControlKind::Edit, "", 366, 194, 25, 14, false, kStyleCentre, "MIN"},
        {1081, ControlKind::Edit, "", 390, 194, 25, 14, false, kStyleCentre, "S"},
        {1082, ControlKind::Edit, "", 416, 194, 25, 14, false, kStyleCentre, "MS"},
        {IDC_STATIC, ControlKind::Label, "0 - 5 Hour", 49, 265, 36, 8, true, kStyleNone},
        {IDC_STATIC, ControlKind::Label, "0 - 59 Minute", 130, 253, 44, 8, true, kStyleNone},
        {IDC_STATIC, ControlKind::Label, "0 - 59 Seconds", 129, 240, 50, 8, true, kStyleNone},
        {IDC_STATIC, ControlKind::Label, "0 - 1000 Milliseconds", 405, 228, 70, 8, true, kStyleNone},
        {1087, ControlKind::CheckBox, "Trigger Pulse ->>", 243, 72, 68, 10, false, kStyleNone},
        {1044, ControlKind::PushButton, "Set Timer on Controller", 458, 256, 80, 14, false, kStyleNone},
        {1088, ControlKind::CheckBox, "SYNC Pulse ->>", 392, 72, 68, 10, false, kStyleNone},
        {1061, ControlKind::RadioButton, "High for Open", 460, 72, 72, 10, true, kStyleNone},
        {1062, ControlKind::RadioButton, "Low for Open", 460, 82, 67, 10, false, kStyleNone},
        {1089, ControlKind::Edit, "", 440, 194, 25, 14, false, kStyleCentre, ".1MS"},
        {IDC_STATIC, ControlKind::Label, "0 - 0.9 Milliseconds", 66, 217, 61, 8, true, kStyleNone},
        {1090, ControlKind::DropList, "", 73, 196, 100, 84, false, kStyleNone, "Select Timer:"},
        {IDC_STATIC, ControlKind::Label, "Running Option ->>", 17, 324, 57, 8, true, kStyleNone},
        {IDC_STATIC, ControlKind::GroupBox, " Timer ", 7, 112, 549, 179, false, kStyleNone},
        {1045, ControlKind::PushButton, "Save Config.", 256, 323, 49, 12, false, kStyleNone},
        {1046, ControlKind::PushButton, "Save CONFIG to Controller", 257, 301, 105, 14, false, kStyleNone},
        {1063, ControlKind::RadioButton, "On Power Up", 75, 323, 72, 10, true, kStyleNone},
        {1064, ControlKind::RadioButton, "On Trigger Pulse --->", 75, 334, 81, 10, false, kStyleNone},
        {1068, ControlKind::RadioButton, "Go ------------------------->", 75, 344, 82, 10, false, kStyleNone},
        {1083, ControlKind::Edit, "", 93, 301, 51, 14, false, kStyleCentre, "Repeat Cycle Number:"},
        {IDC_STATIC, ControlKind::Label, "Repeat Cycle Number:", 17, 304, 75, 8, true, kStyleNone},
        {1093, ControlKind::Trackbar, "", 21, 227, 381, 12, false, kStyleNone, "0 - 1000 Milliseconds"},
        {IDC_STATIC, ControlKind::Label, "Closed Time - (hr : min : s : ms : 0.1ms)", 78, 129, 131, 10, true, kStyleCentre},
        {IDC_STATIC, ControlKind::Label, "Closing ", 438, 130, 25, 9, true, kStyleNone},
        {1099, ControlKind::Label, "12 ms", 436, 149, 31, 8, true, kStyleCentre},
        {IDC_STATIC, ControlKind::Label, "Opening ", 233, 129, 34, 10, true, kStyleNone},
        {1096, ControlKind::Trackbar, "", 21, 215, 45, 12, false, kStyleNone, "0 - 0.9 Milliseconds"},
        {1095, ControlKind::Trackbar, "", 21, 239, 108, 12, false, kStyleNone, "0 - 59 Seconds"},
        {1097, ControlKind::Trackbar, "", 21, 251, 108, 12, false, kStyleNone, "0 - 59 Minute"},
        {IDC_STATIC, ControlKind::Label, "A", 41, 140, 16, 26, true, kStyleCentre | kStyleBorder},
        {IDC_STATIC, ControlKind::ScaleLine, kScale66, 62, 139, 410, 10, true, kStyleNone},
        {1100, ControlKind::Label, "12 ms", 232, 149, 36, 8, true, kStyleCentre},
        {IDC_STATIC, ControlKind::Label, "A", 476, 140, 16, 26, true, kStyleCentre | kStyleBorder},
        {IDC_STATIC, ControlKind::Label, "Exposure Time - (hr : min : s : ms : 0.1ms)", 280, 129, 141, 10, true, kStyleCentre},
        {1098, ControlKind::Trackbar, "", 21, 263, 28, 12, false, kStyleNone, "0 - 5 Hour"},
        {IDC_STATIC, ControlKind::Label, "HR", 344, 186, 19, 8, true, kStyleCentre},
        {IDC_STATIC, ControlKind::Label, "MIN", 368, 186, 19, 8, true, kStyleCentre},
        {IDC_STATIC, ControlKind::Label, "S", 394, 186, 19, 8, true, kStyleCentre},
        {IDC_STATIC, ControlKind::Label, "MS", 418, 186, 19, 8, true, kStyleCentre},
        {IDC_STATIC, ControlKind::Label, ".1MS", 442, 186, 19, 8, true, kStyleCentre},
        {1047, ControlKind::PushButton, "Load Config.", 256, 339, 49, 12, false, kStyleNone},
        {1103, ControlKind::Label, "00:00:00:000:0", 114, 149, 67, 8, true, kStyleCentre},
        {1104, ControlKind::Label, "00:00:00:000:0", 316, 149, 67, 8, true, kStyleCentre},
        {1048, ControlKind::PushButton, "Apply", 330, 339, 49, 12, false, kStyleNone},
        {IDC_STATIC, ControlKind::ScaleLine, kScale80, 58, 160, 416, 8, true, kStyleCentre},
        {1105, ControlKind::Label, "Cycle Time - 00:00:00:000:0", 187, 170, 151, 10, true, kStyleCentre},
        {IDC_STATIC, ControlKind::GroupBox, " Configuration ", 237, 286, 160, 90, false, kStyleNone},
        {1050, ControlKind::PushButton, "STOP", 17, 358, 36, 12, false, kStyleNone},
        {1051, ControlKind::PushButton, "Restore Default", 322, 358, 58, 12, false, kStyleNone},
        {1052, ControlKind::PushButton, "Send to Controller", 157, 302, 67, 12, false, kStyleNone},
        {1084, ControlKind::Edit, "", 157, 340, 58, 14, false, kStyleReadOnly | kStyleCentre, "Left Cycle Number"},
        {IDC_STATIC, ControlKind::Label, "Left Cycle Number", 157, 329, 62, 8, true, kStyleNone},
        {1049, ControlKind::PushButton, "Get Controller Info", 417, 328, 67, 14, false, kStyleNone},
        {1053, ControlKind::PushButton, "Power On", 502, 355, 39, 14, false, kStyleNone},
        {1054, ControlKind::PushButton, "Power Off", 417, 355, 39, 14, false, kStyleNone},
        {IDC_STATIC, ControlKind::GroupBox, "Free Run", 7, 286, 230, 90, false, kStyleNone},
        {IDC_STATIC, ControlKind::GroupBox, " Controller ", 397, 286, 159, 90, false, kStyleNone},
        {1058, ControlKind::RadioButton, "Enable on High", 312, 72, 65, 10, true, kStyleNone},
        {1059, ControlKind::RadioButton, "Enable on Low", 312, 82, 63, 10, false, kStyleNone},
        {1110, ControlKind::RadioButton, "Trigger on Rising Edge", 312, 92, 88, 10, false, kStyleNone},
        {1111, ControlKind::RadioButton, "Trigger on Falling Edge", 312, 102, 89, 10, false, kStyleNone},
    }};
    return t;
}

const DialogTemplate& AboutTemplate()
{
    static const DialogTemplate t{"About Tivelo", 235, 55, {
        {IDC_STATIC, ControlKind::Icon, "", 11, 17, 20, 20, true, kStyleNone, "Quillon icon"},
        {IDC_STATIC, ControlKind::Label, "Quillon Tivelo Version 1.12b", 40, 10, 119, 8, true},
        {IDC_STATIC, ControlKind::Label, "Smart shutter controller utility for Linux", 40, 25, 150, 8, true},
        {IDOK, ControlKind::DefPushButton, "OK", 178, 7, 50, 14, true},
    }};
    return t;
}
// clang-format on

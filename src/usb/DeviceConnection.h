#pragma once
// Choosing, opening, checking and listing devices, without the panel: the panel handlers pull,
// call these and push.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "usb/UsbLink.h"

// Profile section and keys; each open method remembers its own entry text.
inline constexpr const char* kProfileSection = "MyTiveloAp";
inline constexpr const char* kProfileOpenBy = "SerDesc";

// "DescString", "SerialString" or "DevNmbr" for methods 0, 1 and 2; nullptr for any other.
const char* DeviceProfileKey(int openBy);

// Status line texts.
inline constexpr const char* kStatusStartFailed = "USB not responding";
inline constexpr const char* kStatusStartNoAnswer = "No response from USB";
inline constexpr const char* kStatusReset = "-reset-";
inline constexpr const char* kStatusOpenFailed = "Could not open USB";
inline constexpr const char* kStatusOpenNoAnswer = "USB not responding";
inline constexpr const char* kStatusSearchClosed = "USB Closed.";

// Operator messages.
inline constexpr const char* kMsgEnterDevice =
    "You must enter a Device Description or Serial Number.";
inline constexpr const char* kMsgBadDeviceNumber =
    "Select a method to open or enter a valid device number (0-64).";
inline constexpr const char* kMsgCountFailed = "FT_ListDevices failed";
inline constexpr const char* kLineNamesFailed = "ListDevices failed";

// The device-number rule: "" is device 0; one or two characters are read as an integer (no
// digits giving 0) and must lie in 0 to 64; anything longer is refused.
std::optional<int> DeviceNumberFromEntry(const std::string& entry);

struct OpenTarget {
    enum class Kind { Description, SerialNumber, DeviceNumber, PromptInEntry, BadDeviceNumber };
    Kind kind;
    int deviceNumber = 0;  // for DeviceNumber
};

// Method 0 description, 1 serial number, anything else (2, or -1 with no radio checked) the
// device number. The untouched prompt is refused for every method.
OpenTarget ResolveOpenTarget(int openBy, const std::string& entry);

// Asked before every open. A D2XX library that cannot reach the USB subsystem (a container or
// sandbox without USB access) fails the device-count query and then crashes inside its open
// functions, so a failed count means no open is attempted. A count of zero is no failure: the
// open goes ahead and fails as usual. A library without FT_ListDevices is not asked (its open
// goes ahead as it always did, and its binding has already reported the missing entry point).
struct UsbReach {
    bool asked = false;
    FT_STATUS status = FT_OK;
    DWORD count = 0;
    bool Reachable() const { return !asked || status == FT_OK; }
};
UsbReach CheckUsbReach(UsbLink& link);

// The one line for standard error when the count query failed.
std::string NoUsbHint(const std::string& appName, const UsbReach& reach);

// Opens the resolved target. Targets that failed the input checks return 3 without a call.
FT_STATUS OpenTargetDevice(UsbLink& link, const OpenTarget& target, const std::string& entry);

struct HandshakeResult {
    bool answered = false;  // the first byte was 0xEE
    int firstByte = -1;     // -1 when nothing came at all
};

// Resets, configures and handshakes an opened device. pause, when given, makes the waits of a
// reopen (150 ms before the handshake, 1 ms after the first read); start-up passes none.
HandshakeResult ConfigureAndHandshake(UsbLink& link,
                                      const std::function<void(unsigned ms)>& pause = {});

// " (0x41)" after a wrong first byte, " (no reply)" when nothing came.
std::string HandshakeSuffix(const HandshakeResult& result);

struct SearchResult {
    bool countFailed = false;  // show kMsgCountFailed; nothing is listed
    std::vector<std::string> lines;
};

// Lists the attached devices for the method (the Search button after its reset of the panel).
SearchResult SearchDevices(UsbLink& link, int openBy);

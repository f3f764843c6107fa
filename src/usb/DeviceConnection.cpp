#include "usb/DeviceConnection.h"

#include <cstdio>
#include <cstring>

#include "timing/IntegerReading.h"

namespace {

constexpr std::size_t kNameBufferSize = 64;
// Far more devices than a machine can carry; a larger count is a driver fault, and honouring it
// would mean a huge allocation or millions of list lines.
constexpr DWORD kMaxDevices = 4096;

constexpr unsigned char kHandshakeByte = 0xEE;

bool QueryCount(UsbLink& link, DWORD& count)
{
    count = 0;
    return link.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) == FT_OK && count <= kMaxDevices;
}

void ListNames(UsbLink& link, DWORD flags, std::vector<std::string>& lines)
{
    DWORD count = 0;
    if (!QueryCount(link, count) || count == 0) {
        return;
    }
    // One buffer per device the driver reported and a null-ended pointer array to match, so the
    // driver is never given fewer buffers than it said it would fill.
    std::vector<char> storage(count * kNameBufferSize, '\0');
    std::vector<char*> pointers(count + 1, nullptr);
    for (DWORD i = 0; i < count; ++i) {
        pointers[i] = storage.data() + i * kNameBufferSize;
    }
    DWORD listed = 0;
    if (link.ListDevices(pointers.data(), &listed, flags) != FT_OK) {
        lines.emplace_back(kLineNamesFailed);
        return;
    }
    for (DWORD i = 0; i < listed && i < count; ++i) {
        lines.emplace_back(pointers[i], strnlen(pointers[i], kNameBufferSize));
    }
}

}  // namespace

const char* DeviceProfileKey(int openBy)
{
    switch (openBy) {
        case 0:
            return "DescString";
        case 1:
            return "SerialString";
        case 2:
            return "DevNmbr";
        default:
            return nullptr;
    }
}

std::optional<int> DeviceNumberFromEntry(const std::string& entry)
{
    if (entry.empty()) {
        return 0;
    }
    if (entry.size() > 2) {
        return std::nullopt;
    }
    const int value = ReadInteger(entry);
    if (value < 0 || value > 64) {
        return std::nullopt;
    }
    return value;
}

OpenTarget ResolveOpenTarget(int openBy, const std::string& entry)
{
    if (entry.find("Enter device Description") != std::string::npos) {
        return {OpenTarget::Kind::PromptInEntry};
    }
    if (openBy == 0) {
        return {OpenTarget::Kind::Description};
    }
    if (openBy == 1) {
        return {OpenTarget::Kind::SerialNumber};
    }
    const std::optional<int> number = DeviceNumberFromEntry(entry);
    if (!number) {
        return {OpenTarget::Kind::BadDeviceNumber};
    }
    return {OpenTarget::Kind::DeviceNumber, *number};
}

FT_STATUS OpenTargetDevice(UsbLink& link, const OpenTarget& target, const std::string& entry)
{
    // The driver takes a non-const pointer; hand it a copy it may not keep.
    std::string text = entry;
    switch (target.kind) {
        case OpenTarget::Kind::Description:
            return link.OpenEx(text.data(), FT_OPEN_BY_DESCRIPTION);
        case OpenTarget::Kind::SerialNumber:
            return link.OpenEx(text.data(), FT_OPEN_BY_SERIAL_NUMBER);
        case OpenTarget::Kind::DeviceNumber:
            return link.Open(target.deviceNumber);
        case OpenTarget::Kind::PromptInEntry:
        case OpenTarget::Kind::BadDeviceNumber:
            break;
    }
    return FT_DEVICE_NOT_OPENED;
}

UsbReach CheckUsbReach(UsbLink& link)
{
    UsbReach reach;
    if (!link.CanListDevices()) {
        return reach;
    }
    reach.asked = true;
    reach.status = link.ListDevices(&reach.count, nullptr, FT_LIST_NUMBER_ONLY);
    return reach;
}

std::string NoUsbHint(const std::string& appName, const UsbReach& reach)
{
    return appName + ": the driver library cannot count USB devices (FT_ListDevices status " +
           std::to_string(reach.status) + "), so no device was opened; run " + appName +
           " --diagnose to see why.";
}

HandshakeResult ConfigureAndHandshake(UsbLink& link, const std::function<void(unsigned ms)>& pause)
{
    link.ResetDevice();
    link.SetTimeouts(3000, 3000);
    link.Purge(FT_PURGE_RX);
    link.SetLatencyTimer(2);
    link.SetBaudRate(128000);
    link.SetUSBParameters(64, 0);
    if (pause) {
        pause(150);
    }

    unsigned char handshake = kHandshakeByte;
    DWORD written = 0;
    link.Write(&handshake, 1, &written);

    unsigned char reply[2] = {0, 0};
    DWORD received = 0;
    link.Read(reply, sizeof reply, &received);
    if (pause) {
        pause(1);
    }
    if (received == 0) {
        link.Read(reply, sizeof reply, &received);
    }

    HandshakeResult result;
    if (received > 0) {
        result.firstByte = reply[0];
        result.answered = reply[0] == kHandshakeByte;
    }
    return result;
}

std::string HandshakeSuffix(const HandshakeResult& result)
{
    if (result.firstByte < 0) {
        return " (no reply)";
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, " (0x%.2X)", static_cast<unsigned>(result.firstByte));
    return suffix;
}

SearchResult SearchDevices(UsbLink& link, int openBy)
{
    SearchResult result;
    DWORD count = 0;
    if (!QueryCount(link, count)) {
        result.countFailed = true;
        return result;
    }
    result.lines.push_back(std::to_string(count) + " device(s) attached:");
    if (count == 0) {
        return result;
    }
    switch (openBy) {
        case 0:
            ListNames(link, FT_LIST_ALL | FT_OPEN_BY_DESCRIPTION, result.lines);
            break;
        case 1:
            ListNames(link, FT_LIST_ALL | FT_OPEN_BY_SERIAL_NUMBER, result.lines);
            break;
        case 2:
            for (DWORD i = 0; i < count; ++i) {
                result.lines.push_back(std::to_string(i));
            }
            break;
        default:
            break;
    }
    return result;
}

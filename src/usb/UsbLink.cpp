#include "usb/UsbLink.h"

#include <dlfcn.h>

#include <algorithm>
#include <iostream>

namespace {

template <typename Fn>
void Bind(void* symbol, Fn& slot)
{
    slot = reinterpret_cast<Fn>(symbol);
}

// Only the two text flags carry a text the line can show.
std::string OpenExLine(void* arg, DWORD flags)
{
    const char* text = static_cast<const char*>(arg);
    if (text != nullptr && flags == FT_OPEN_BY_DESCRIPTION)
        return std::string("OPEN description \"") + text + '"';
    if (text != nullptr && flags == FT_OPEN_BY_SERIAL_NUMBER)
        return std::string("OPEN serial \"") + text + '"';
    return "OPEN flags " + std::to_string(flags);
}

}  // namespace

UsbLink::~UsbLink()
{
    Release();
}

void UsbLink::Report(const std::string& message)
{
    if (m_report) {
        m_report(message);
    } else {
        std::cerr << message << '\n';
    }
}

FT_STATUS UsbLink::Missing(const char* entryPoint)
{
    Report(std::string(entryPoint) + " is not valid!");
    return FT_INVALID_HANDLE;
}

bool UsbLink::LoadD2xx(const std::vector<std::string>& candidates)
{
    if (m_hD2xx != nullptr) {
        return true;
    }
    std::string reasons;
    for (const std::string& path : candidates) {
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library != nullptr) {
            m_hD2xx = library;
            m_libraryPath = path;
            break;
        }
        const char* error = dlerror();
        std::string reason = error != nullptr ? error : "unknown error";
        // The loader's text usually names the file already; don't say it twice.
        if (reason.find(path) == std::string::npos) {
            reason = path + ": " + reason;
        }
        reasons += "\n" + reason;
    }
    if (m_hD2xx == nullptr) {
        Report(candidates.empty() ? "Can't load the D2XX driver library: no library to try."
                                  : "Can't load the D2XX driver library." + reasons);
        return false;
    }

    // Lookup order and messages are part of the program's behaviour: binding stops at the first
    // missing name and leaves every later slot empty.
    const auto lookUp = [this](const char* name, auto& slot) {
        void* symbol = dlsym(m_hD2xx, name);
        if (symbol == nullptr) {
            Report(std::string("Error: Can't Find ") + name);
            return false;
        }
        Bind(symbol, slot);
        return true;
    };
    static_cast<void>(
        lookUp("FT_Write", m_pFT_Write) && lookUp("FT_Read", m_pFT_Read) &&
        lookUp("FT_Open", m_pFT_Open) && lookUp("FT_OpenEx", m_pFT_OpenEx) &&
        lookUp("FT_ListDevices", m_pFT_ListDevices) && lookUp("FT_Close", m_pFT_Close) &&
        lookUp("FT_ResetDevice", m_pFT_ResetDevice) && lookUp("FT_Purge", m_pFT_Purge) &&
        lookUp("FT_SetTimeouts", m_pFT_SetTimeouts) &&
        lookUp("FT_GetQueueStatus", m_pFT_GetQueueStatus) &&
        lookUp("FT_SetBaudRate", m_pFT_SetBaudRate) &&
        lookUp("FT_SetLatencyTimer", m_pFT_SetLatencyTimer) &&
        lookUp("FT_SetUSBParameters", m_pFT_SetUSBParameters));
    return true;
}

void UsbLink::ClearSlots()
{
    m_pFT_Open = nullptr;
    m_pFT_OpenEx = nullptr;
    m_pFT_ListDevices = nullptr;
    m_pFT_Close = nullptr;
    m_pFT_Write = nullptr;
    m_pFT_Read = nullptr;
    m_pFT_SetTimeouts = nullptr;
    m_pFT_ResetDevice = nullptr;
    m_pFT_Purge = nullptr;
    m_pFT_GetQueueStatus = nullptr;
    m_pFT_SetBaudRate = nullptr;
    m_pFT_SetLatencyTimer = nullptr;
    m_pFT_SetUSBParameters = nullptr;
}

void UsbLink::Release()
{
    ClearSlots();
    if (m_hD2xx != nullptr) {
        dlclose(m_hD2xx);
        m_hD2xx = nullptr;
    }
}

FT_STATUS UsbLink::Read(void* buffer, DWORD count, DWORD* received)
{
    if (m_pFT_Read == nullptr) {
        return Missing("FT_Read");
    }
    const FT_STATUS status = m_pFT_Read(m_ftHandle.load(), buffer, count, received);
    const DWORD got = received != nullptr ? std::min(*received, count) : 0;
    m_transcript.Transfer(LinkTranscript::Direction::Rx, buffer, got, status);
    return status;
}

FT_STATUS UsbLink::SetBaudRate(ULONG rate)
{
    if (m_pFT_SetBaudRate == nullptr) {
        return Missing("FT_SetBaudRate");
    }
    return m_pFT_SetBaudRate(m_ftHandle.load(), rate);
}

FT_STATUS UsbLink::SetLatencyTimer(unsigned char milliseconds)
{
    if (m_pFT_SetLatencyTimer == nullptr) {
        return Missing("FT_SetLatencyTimer");
    }
    return m_pFT_SetLatencyTimer(m_ftHandle.load(), milliseconds);
}

FT_STATUS UsbLink::SetUSBParameters(ULONG inSize, ULONG outSize)
{
    if (m_pFT_SetUSBParameters == nullptr) {
        return Missing("FT_SetUSBParameters");
    }
    return m_pFT_SetUSBParameters(m_ftHandle.load(), inSize, outSize);
}

FT_STATUS UsbLink::Write(void* buffer, DWORD count, DWORD* written)
{
    if (m_pFT_Write == nullptr) {
        return Missing("FT_Write");
    }
    const FT_STATUS status = m_pFT_Write(m_ftHandle.load(), buffer, count, written);
    m_transcript.Transfer(LinkTranscript::Direction::Tx, buffer, count, status);
    return status;
}

// The driver stores the new handle through the pointer it is given; it goes through a local so
// that the worker never sees a half-written handle.
FT_STATUS UsbLink::Open(int deviceNumber)
{
    if (m_pFT_Open == nullptr) {
        return Missing("FT_Open");
    }
    FT_HANDLE handle = m_ftHandle.load();
    const FT_STATUS status = m_pFT_Open(deviceNumber, &handle);
    m_ftHandle.store(handle);
    if (status == FT_OK)
        m_closed.store(false);
    if (m_transcript.Recording())
        m_transcript.Event("OPEN number " + std::to_string(deviceNumber), status);
    return status;
}

FT_STATUS UsbLink::OpenEx(void* arg, DWORD flags)
{
    if (m_pFT_OpenEx == nullptr) {
        return Missing("FT_OpenEx");
    }
    FT_HANDLE handle = m_ftHandle.load();
    const FT_STATUS status = m_pFT_OpenEx(arg, flags, &handle);
    m_ftHandle.store(handle);
    if (status == FT_OK)
        m_closed.store(false);
    if (m_transcript.Recording())
        m_transcript.Event(OpenExLine(arg, flags), status);
    return status;
}

FT_STATUS UsbLink::ListDevices(void* first, void* second, DWORD flags)
{
    if (m_pFT_ListDevices == nullptr) {
        return Missing("FT_ListDevices");
    }
    return m_pFT_ListDevices(first, second, flags);
}

FT_STATUS UsbLink::Close()
{
    if (m_pFT_Close == nullptr) {
        return Missing("FT_Close");
    }
    const FT_STATUS status = m_pFT_Close(m_ftHandle.load());
    // Closing a closed handle again changes nothing on the link.
    if (!m_closed.load())
        m_transcript.Event("CLOSE", status);
    if (status == FT_OK)
        m_closed.store(true);
    return status;
}

FT_STATUS UsbLink::ResetDevice()
{
    if (m_pFT_ResetDevice == nullptr) {
        return Missing("FT_ResetDevice");
    }
    return m_pFT_ResetDevice(m_ftHandle.load());
}

FT_STATUS UsbLink::Purge(ULONG mask)
{
    if (m_pFT_Purge == nullptr) {
        return Missing("FT_Purge");
    }
    const FT_STATUS status = m_pFT_Purge(m_ftHandle.load(), mask);
    if (m_transcript.Recording())
        m_transcript.Event("PURGE " + std::to_string(mask), status);
    return status;
}

FT_STATUS UsbLink::SetTimeouts(ULONG readTimeout, ULONG writeTimeout)
{
    if (m_pFT_SetTimeouts == nullptr) {
        return Missing("FT_SetTimeouts");
    }
    return m_pFT_SetTimeouts(m_ftHandle.load(), readTimeout, writeTimeout);
}

FT_STATUS UsbLink::GetQueueStatus(DWORD* queued)
{
    if (m_pFT_GetQueueStatus == nullptr) {
        return Missing("FT_GetQueueStatus");
    }
    return m_pFT_GetQueueStatus(m_ftHandle.load(), queued);
}

#pragma once
// The run-time binding of the D2XX driver library: the library handle, the open device and one
// wrapper per entry point. A wrapper whose entry point is missing reports it and fails with
// status 1 instead of calling through, so the program runs (uselessly but safely) on a
// missing or incomplete library.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "usb/D2xxApi.h"
#include "usb/LinkTranscript.h"

class UsbLink {
public:
    // Shows a message to the operator; the panel puts it in a box captioned with the
    // application's name. Unset, messages go to stderr so that none is lost.
    using Reporter = std::function<void(const std::string&)>;

    UsbLink() = default;
    ~UsbLink();
    UsbLink(const UsbLink&) = delete;
    UsbLink& operator=(const UsbLink&) = delete;

    void SetReporter(Reporter reporter) { m_report = std::move(reporter); }

    // Loads the first candidate that the dynamic loader accepts, then binds the entry points
    // and stops at the first missing one. At most one report for a library that cannot be
    // loaded, however many candidates failed. Returns whether a library is loaded.
    bool LoadD2xx(const std::vector<std::string>& candidates);

    // Unloads the library. Every slot is emptied first, so a wrapper called afterwards reports
    // instead of jumping into unmapped code. The link-exercise worker must have ended.
    void Release();

    bool Loaded() const { return m_hD2xx != nullptr; }
    // Whether the device-count query can be asked without a report (the guard before an open).
    bool CanListDevices() const { return m_pFT_ListDevices != nullptr; }
    const std::string& LibraryPath() const { return m_libraryPath; }
    FT_HANDLE Handle() const { return m_ftHandle.load(); }

    FT_STATUS Read(void* buffer, DWORD count, DWORD* received);
    FT_STATUS SetBaudRate(ULONG rate);
    FT_STATUS SetLatencyTimer(unsigned char milliseconds);
    FT_STATUS SetUSBParameters(ULONG inSize, ULONG outSize);
    FT_STATUS Write(void* buffer, DWORD count, DWORD* written);
    FT_STATUS Open(int deviceNumber);
    FT_STATUS OpenEx(void* arg, DWORD flags);
    FT_STATUS ListDevices(void* first, void* second, DWORD flags);
    FT_STATUS Close();
    FT_STATUS ResetDevice();
    FT_STATUS Purge(ULONG mask);
    FT_STATUS SetTimeouts(ULONG readTimeout, ULONG writeTimeout);
    FT_STATUS GetQueueStatus(DWORD* queued);

    // Every write, read, open, close and purge above goes into the transcript while it records.
    LinkTranscript& Transcript() { return m_transcript; }
    // The panel found the device gone. After a close the operator asked for, the failing queries
    // that follow are that close's doing, not a lost link: the transcript keeps its one CLOSE.
    void NoteLinkLost()
    {
        if (!m_closed.load())
            m_transcript.Event("LOST");
    }

private:
    FT_STATUS Missing(const char* entryPoint);
    void Report(const std::string& message);
    void ClearSlots();

    Reporter m_report;
    LinkTranscript m_transcript;
    void* m_hD2xx = nullptr;
    std::string m_libraryPath;
    // The link-exercise worker writes through this handle while "Open" may replace it.
    std::atomic<FT_HANDLE> m_ftHandle{nullptr};
    // The handle was closed and no open has succeeded since.
    std::atomic<bool> m_closed{false};

    // Filled only by LoadD2xx and emptied only by Release, neither of which runs while the
    // worker exists, so the worker reads them without a lock.
    FT_OpenFn m_pFT_Open = nullptr;
    FT_OpenExFn m_pFT_OpenEx = nullptr;
    FT_ListDevicesFn m_pFT_ListDevices = nullptr;
    FT_CloseFn m_pFT_Close = nullptr;
    FT_WriteFn m_pFT_Write = nullptr;
    FT_ReadFn m_pFT_Read = nullptr;
    FT_SetTimeoutsFn m_pFT_SetTimeouts = nullptr;
    FT_ResetDeviceFn m_pFT_ResetDevice = nullptr;
    FT_PurgeFn m_pFT_Purge = nullptr;
    FT_GetQueueStatusFn m_pFT_GetQueueStatus = nullptr;
    FT_SetBaudRateFn m_pFT_SetBaudRate = nullptr;
    FT_SetLatencyTimerFn m_pFT_SetLatencyTimer = nullptr;
    FT_SetUSBParametersFn m_pFT_SetUSBParameters = nullptr;
};

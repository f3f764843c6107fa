// The simulator's shared state and its two faces: the D2XX entry points the utility loads and the
// QuillonSim_ control API for tests. One mutex guards everything; a read that has to wait in real
// time waits on a condition variable, so other threads (the link exercise's writer) go on.

// First, so the exported functions are declared with default visibility.
#pragma GCC visibility push(default)
#include "QuillonSim.h"
#include "QuillonSimD2xx.h"
#pragma GCC visibility pop

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "Controller.h"

namespace quillon_sim {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kRxLimit = 65536;
constexpr size_t kTranscriptLimit = 1000000;
constexpr size_t kCallLogLimit = 8u << 20;
constexpr size_t kTextMax = 63;

struct Pending {
    uint64_t atUs;
    uint8_t byte;
};

struct Device {
    Device(const std::string& desc, const std::string& ser)
        : description(desc.substr(0, kTextMax)), serial(ser.substr(0, kTextMax)), controller(ser)
    {
    }
    std::string description;
    std::string serial;
    bool plugged = true;
    Controller controller;
    std::deque<Pending> pending;  // answers not yet arrived, in time order
    std::deque<uint8_t> rx;       // the driver's receive queue
    bool silent = false;
    uint32_t writeStatus = 0;
    int writeLimit = -1;  // bytes a write takes at most; -1: all
    int dropCount = 0;
    int corruptCount = 0;
    QuillonSimLink link{};
};

struct Handle {
    int device;
    bool dead = false;  // the device was unplugged under it
    uint32_t readTimeoutMs = 0;
    uint32_t writeTimeoutMs = 0;
};

struct Sim {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<std::unique_ptr<Device>> devices;
    std::map<uintptr_t, Handle> handles;
    uintptr_t nextHandleId = 1;  // never reused, so stale handles stay invalid

    bool manual = false;
    uint64_t manualUs = 0;
    double speed = 1.0;
    uint64_t baseSimUs = 0;
    SteadyClock::time_point baseReal = SteadyClock::now();

    std::vector<QuillonSimEvent> transcript;
    std::string callLog;
    // Imitates a D2XX library that cannot reach the USB subsystem.
    bool noUsb = false;
    FILE* transcriptFile = nullptr;
    bool transcriptDirty = false;

    Sim()
    {
        SetDefaultDevices();
        if (const char* path = std::getenv("QUILLON_SIM_TRANSCRIPT"); path && *path) {
            transcriptFile = std::fopen(path, "w");
        }
        if (const char* flag = std::getenv("QUILLON_SIM_NO_USB"); flag && *flag == '1') {
            noUsb = true;
        }
    }

    void SetDefaultDevices()
    {
        devices.clear();
        devices.push_back(std::make_unique<Device>("Quillon SC", "QSC10001"));
    }

    uint64_t Now() const
    {
        if (manual)
            return manualUs;
        const auto real = std::chrono::duration<double, std::micro>(SteadyClock::now() - baseReal);
        return baseSimUs + uint64_t(real.count() * speed);
    }

    Device* DeviceAt(int index)
    {
        if (index < 0 || size_t(index) >= devices.size())
            return nullptr;
        return devices[size_t(index)].get();
    }

    void Log(const std::string& line)
    {
        if (callLog.size() > kCallLogLimit) {
            const size_t cut = callLog.find('\n', callLog.size() / 2);
            callLog.erase(0, cut == std::string::npos ? callLog.size() : cut + 1);
        }
        callLog += line;
        callLog += '\n';
    }

    void Record(uint64_t atUs, int device, int direction, uint8_t byte)
    {
        if (transcript.size() >= kTranscriptLimit) {
            transcript.erase(transcript.begin(), transcript.begin() + kTranscriptLimit / 10);
        }
        transcript.push_back({atUs / 1000, device, direction, byte});
    }

    // One line of the transcript file per transfer on the D2XX face, in the utility's own
    // transcript format, so that the two files compare line for line.
    void FileLine(const std::string& body, uint32_t status)
    {
        if (!transcriptFile)
            return;
        const uint64_t us = Now();
        std::fprintf(transcriptFile, "%llu.%03llu %s", (unsigned long long)(us / 1000),
                     (unsigned long long)(us % 1000), body.c_str());
        if (status != QSIM_FT_OK)
            std::fprintf(transcriptFile, " status %u", unsigned(status));
        std::fputc('\n', transcriptFile);
        transcriptDirty = true;
    }

    // Once per API call, so a bug report keeps everything up to a crash without a write per byte.
    void FlushTranscript()
    {
        if (transcriptDirty)
            std::fflush(transcriptFile);
        transcriptDirty = false;
    }

    void Arrive(int index, uint64_t atUs, uint8_t byte)
    {
        Device& d = *devices[size_t(index)];
        if (d.rx.size() >= kRxLimit)
            return;
        d.rx.push_back(byte);
        Record(atUs, index, QUILLON_SIM_FROM_DEVICE, byte);
    }

    void Schedule(Device& d, const std::vector<Answer>& answers)
    {
        for (const Answer& a : answers) {
            auto pos = std::upper_bound(d.pending.begin(), d.pending.end(), a.atUs,
                                        [](uint64_t t, const Pending& p) { return t < p.atUs; });
            d.pending.insert(pos, {a.atUs, a.byte});
        }
    }

    // Brings every plugged device up to the present: free-run reports are produced and every
    // answer whose time has come arrives in the receive queue, faults applied.
    void Pump()
    {
        const uint64_t now = Now();
        std::vector<Answer> out;
        for (size_t i = 0; i < devices.size(); ++i) {
            Device& d = *devices[i];
            if (!d.plugged)
                continue;
            out.clear();
            d.controller.RunUntil(now, out);
            Schedule(d, out);
            while (!d.pending.empty() && d.pending.front().atUs <= now) {
                Pending p = d.pending.front();
                d.pending.pop_front();
                if (d.silent)
                    continue;
                if (d.dropCount > 0) {
                    --d.dropCount;
                    continue;
                }
                if (d.corruptCount > 0) {
                    --d.corruptCount;
                    p.byte = uint8_t(~p.byte);
                }
                Arrive(int(i), p.atUs, p.byte);
            }
        }
    }

    bool NextEventUs(const Device& d, uint64_t* atUs) const
    {
        bool any = false;
        if (!d.pending.empty()) {
            *atUs = d.pending.front().atUs;
            any = true;
        }
        uint64_t run;
        if (d.controller.NextEvent(&run) && (!any || run < *atUs)) {
            *atUs = run;
            any = true;
        }
        return any;
    }

    // FT_OK with the handle, FT_INVALID_HANDLE, or FT_IO_ERROR after an unplug.
    uint32_t Find(void* h, Handle** handle, Device** device)
    {
        auto it = handles.find(reinterpret_cast<uintptr_t>(h));
        if (it == handles.end())
            return QSIM_FT_INVALID_HANDLE;
        if (it->second.dead)
            return QSIM_FT_IO_ERROR;
        *handle = &it->second;
        *device = DeviceAt(it->second.device);
        return *device ? QSIM_FT_OK : QSIM_FT_INVALID_HANDLE;
    }

    void InvalidateHandles()
    {
        handles.clear();
        cv.notify_all();
    }

    // D2XX device number n counts plugged devices only, as the real driver's list does.
    int PluggedIndex(int number) const
    {
        for (size_t i = 0; i < devices.size(); ++i) {
            if (!devices[i]->plugged)
                continue;
            if (number-- == 0)
                return int(i);
        }
        return -1;
    }

    int PluggedCount() const
    {
        return int(std::count_if(devices.begin(), devices.end(),
                                 [](const auto& d) { return d->plugged; }));
    }

    uint32_t OpenIndex(int index, void** handle)
    {
        if (index < 0)
            return QSIM_FT_DEVICE_NOT_FOUND;
        const uintptr_t id = 0x51530000u + nextHandleId++ * 16;
        handles[id] = Handle{index};
        *handle = reinterpret_cast<void*>(id);
        return QSIM_FT_OK;
    }
};

// The state lives in static storage and is never destroyed: the utility's link-exercise thread
// may still call in while the process exits, so the mutex must outlive everything. At unload or
// exit only the containers are emptied (ReleaseSim), which leaves nothing allocated behind.
alignas(Sim) unsigned char g_simStorage[sizeof(Sim)];

Sim& S()
{
    static Sim* sim = new (g_simStorage) Sim;
    return *sim;
}

__attribute__((destructor)) void ReleaseSim()
{
    Sim& s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    std::vector<std::unique_ptr<Device>>().swap(s.devices);
    std::map<uintptr_t, Handle>().swap(s.handles);
    std::vector<QuillonSimEvent>().swap(s.transcript);
    std::string().swap(s.callLog);
    if (s.transcriptFile)
        std::fclose(s.transcriptFile);
    s.transcriptFile = nullptr;
    s.cv.notify_all();
}

// Read QUILLON_SIM_TRANSCRIPT and start the real-time clock when the library is loaded.
const bool g_loaded = (S(), true);

std::string Hex(const uint8_t* bytes, size_t n)
{
    std::string s;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        s += buf;
    }
    return s;
}

[[maybe_unused]] void CopyText(char* dst, const std::string& src)
{
    const size_t n = std::min(src.size(), kTextMax);
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

// Entry of a D2XX call on a handle: logs it, brings the devices up to date, finds the handle.
struct Call {
    explicit Call(const std::string& line) : lock(S().mu)
    {
        S().Log(line);
        S().Pump();
    }
    ~Call() { S().FlushTranscript(); }
    uint32_t Find(void* h) { return S().Find(h, &handle, &device); }
    std::unique_lock<std::mutex> lock;
    Handle* handle = nullptr;
    Device* device = nullptr;
};

std::string Args(const char* name, unsigned long long a)
{
    return std::string(name) + "(" + std::to_string(a) + ")";
}

std::string Args(const char* name, unsigned long long a, unsigned long long b)
{
    return std::string(name) + "(" + std::to_string(a) + "," + std::to_string(b) + ")";
}

// What the imitated library does when it is asked to open anyway: it takes the process down.
[[noreturn]] void OpenWithoutUsb(const char* function)
{
    std::fprintf(stderr, "libquillon-sim: %s called while imitating a library without USB\n",
                 function);
    std::abort();
}

// Entry of a control call: locks and brings the devices up to date.
struct Control {
    Control() : lock(S().mu) { S().Pump(); }
    ~Control()
    {
        S().FlushTranscript();
        S().cv.notify_all();
    }
    std::unique_lock<std::mutex> lock;
};

}  // namespace
}  // namespace quillon_sim

using namespace quillon_sim;

// ---- D2XX -----------------------------------------------------------------------------------

extern "C" {

QSIM_FT_STATUS FT_Open(int deviceNumber, QSIM_FT_HANDLE* handle)
{
    Call call("FT_Open(" + std::to_string(deviceNumber) + ")");
    if (S().noUsb)
        OpenWithoutUsb("FT_Open");
    const uint32_t status = handle ? S().OpenIndex(S().PluggedIndex(deviceNumber), handle)
                                   : uint32_t(QSIM_FT_INVALID_PARAMETER);
    S().FileLine("OPEN number " + std::to_string(deviceNumber), status);
    return status;
}

// The lookup behind FT_OpenEx, with the lock held.
static uint32_t OpenExLocked(const char* text, QSIM_DWORD flags, QSIM_FT_HANDLE* handle)
{
    if (!handle || !text)
        return QSIM_FT_INVALID_PARAMETER;
    if (flags != QSIM_FT_OPEN_BY_DESCRIPTION && flags != QSIM_FT_OPEN_BY_SERIAL_NUMBER) {
        return QSIM_FT_INVALID_PARAMETER;
    }
    Sim& s = S();
    for (size_t i = 0; i < s.devices.size(); ++i) {
        const Device& d = *s.devices[i];
        const std::string& key = flags == QSIM_FT_OPEN_BY_DESCRIPTION ? d.description : d.serial;
        if (d.plugged && key == text)
            return s.OpenIndex(int(i), handle);
    }
    return QSIM_FT_DEVICE_NOT_FOUND;
}

QSIM_FT_STATUS FT_OpenEx(void* arg, QSIM_DWORD flags, QSIM_FT_HANDLE* handle)
{
    const char* text = static_cast<const char*>(arg);
    // Built by appends: GCC 12 misreads the chained operator+ form at -O3 (-Wrestrict).
    std::string line = "FT_OpenEx(";
    if (text) {
        line += '"';
        line += text;
        line += '"';
    } else {
        line += "NULL";
    }
    line += ',';
    line += std::to_string(flags);
    line += ')';
    Call call(line);
    if (S().noUsb)
        OpenWithoutUsb("FT_OpenEx");
    const uint32_t status = OpenExLocked(text, flags, handle);
    std::string fileLine;
    if (text && flags == QSIM_FT_OPEN_BY_DESCRIPTION) {
        fileLine = "OPEN description \"";
        fileLine += text;
        fileLine += '"';
    } else if (text && flags == QSIM_FT_OPEN_BY_SERIAL_NUMBER) {
        fileLine = "OPEN serial \"";
        fileLine += text;
        fileLine += '"';
    } else {
        fileLine = "OPEN flags " + std::to_string(flags);
    }
    S().FileLine(fileLine, status);
    return status;
}

#ifndef QUILLON_SIM_WITHOUT_FT_LISTDEVICES
QSIM_FT_STATUS FT_ListDevices(void* arg1, void* arg2, QSIM_DWORD flags)
{
    char line[32];
    std::snprintf(line, sizeof line, "FT_ListDevices(0x%08X)", flags);
    Call call(line);
    Sim& s = S();
    if (s.noUsb)
        return QSIM_FT_OTHER_ERROR;
    if (flags & QSIM_FT_LIST_NUMBER_ONLY) {
        if (!arg1)
            return QSIM_FT_INVALID_PARAMETER;
        *static_cast<QSIM_DWORD*>(arg1) = QSIM_DWORD(s.PluggedCount());
        return QSIM_FT_OK;
    }
    const QSIM_DWORD by = flags & 3u;
    if (by != QSIM_FT_OPEN_BY_DESCRIPTION && by != QSIM_FT_OPEN_BY_SERIAL_NUMBER) {
        return QSIM_FT_INVALID_PARAMETER;
    }
    auto text = [&](int index) -> const std::string& {
        const Device& d = *s.devices[size_t(index)];
        return by == QSIM_FT_OPEN_BY_DESCRIPTION ? d.description : d.serial;
    };
    if ((flags & ~3u) == QSIM_FT_LIST_ALL) {
        if (!arg1)
            return QSIM_FT_INVALID_PARAMETER;
        char** buffers = static_cast<char**>(arg1);
        QSIM_DWORD filled = 0;
        for (int n = 0;; ++n) {
            const int index = s.PluggedIndex(n);
            if (index < 0 || !buffers[n])
                break;  // never past the caller's NULL entry
            CopyText(buffers[n], text(index));
            ++filled;
        }
        if (arg2)
            *static_cast<QSIM_DWORD*>(arg2) = filled;
        return QSIM_FT_OK;
    }
    if ((flags & ~3u) == QSIM_FT_LIST_BY_INDEX) {
        const int index = s.PluggedIndex(int(reinterpret_cast<uintptr_t>(arg1)));
        if (!arg2)
            return QSIM_FT_INVALID_PARAMETER;
        if (index < 0)
            return QSIM_FT_DEVICE_NOT_FOUND;
        CopyText(static_cast<char*>(arg2), text(index));
        return QSIM_FT_OK;
    }
    return QSIM_FT_INVALID_PARAMETER;
}
#endif

QSIM_FT_STATUS FT_Close(QSIM_FT_HANDLE h)
{
    Call call("FT_Close");
    auto it = S().handles.find(reinterpret_cast<uintptr_t>(h));
    if (it == S().handles.end()) {
        S().FileLine("CLOSE", QSIM_FT_INVALID_HANDLE);
        return QSIM_FT_INVALID_HANDLE;
    }
    S().handles.erase(it);
    S().cv.notify_all();
    S().FileLine("CLOSE", QSIM_FT_OK);
    return QSIM_FT_OK;
}

// FT_Read with the lock held.
static uint32_t ReadLocked(Call& call, QSIM_FT_HANDLE h, void* buf, QSIM_DWORD toRead,
                           QSIM_DWORD* got)
{
    Sim& s = S();
    if (got)
        *got = 0;
    uint32_t status = call.Find(h);
    if (status != QSIM_FT_OK)
        return status;
    if (!got || (!buf && toRead))
        return QSIM_FT_INVALID_PARAMETER;

    const uint64_t deadline = s.Now() + uint64_t(call.handle->readTimeoutMs) * 1000;
    for (;;) {
        // The handle is looked up again after every wait: it may have been closed meanwhile.
        status = call.Find(h);
        if (status != QSIM_FT_OK)
            return status;
        s.Pump();
        if (call.device->rx.size() >= toRead)
            break;
        const uint64_t now = s.Now();
        if (now >= deadline)
            break;
        uint64_t target = deadline;
        uint64_t next;
        if (s.NextEventUs(*call.device, &next) && next < target)
            target = std::max(next, now + 1);
        if (s.manual) {
            s.manualUs = target;  // nothing sleeps on the manual clock
        } else {
            const double realUs = double(target - now) / s.speed + 1;
            s.cv.wait_for(call.lock, std::chrono::microseconds(uint64_t(realUs)));
        }
    }
    std::deque<uint8_t>& rx = call.device->rx;
    const size_t n = std::min<size_t>(toRead, rx.size());
    std::copy(rx.begin(), rx.begin() + ptrdiff_t(n), static_cast<uint8_t*>(buf));
    rx.erase(rx.begin(), rx.begin() + ptrdiff_t(n));
    *got = QSIM_DWORD(n);
    return QSIM_FT_OK;
}

QSIM_FT_STATUS FT_Read(QSIM_FT_HANDLE h, void* buf, QSIM_DWORD toRead, QSIM_DWORD* got)
{
    Call call(Args("FT_Read", toRead));
    const uint32_t status = ReadLocked(call, h, buf, toRead, got);
    const QSIM_DWORD n = got && buf ? *got : 0;
    std::string line = "RX " + std::to_string(n);
    if (n)
        line += " " + Hex(static_cast<const uint8_t*>(buf), n);
    S().FileLine(line, status);
    return status;
}

#ifndef QUILLON_SIM_WITHOUT_FT_WRITE
// FT_Write with the lock held.
static uint32_t WriteLocked(Call& call, QSIM_FT_HANDLE h, const uint8_t* bytes, QSIM_DWORD toWrite,
                            QSIM_DWORD* written)
{
    Sim& s = S();
    if (written)
        *written = 0;
    const uint32_t status = call.Find(h);
    if (status != QSIM_FT_OK)
        return status;
    if (!bytes && toWrite)
        return QSIM_FT_INVALID_PARAMETER;
    Device& d = *call.device;
    if (d.writeStatus != 0)
        return d.writeStatus;
    // A full device buffer: the write time-out ends the call with only part written.
    if (d.writeLimit >= 0 && toWrite > QSIM_DWORD(d.writeLimit))
        toWrite = QSIM_DWORD(d.writeLimit);
    const uint64_t now = s.Now();
    for (QSIM_DWORD i = 0; i < toWrite; ++i) {
        s.Record(now, call.handle->device, QUILLON_SIM_TO_DEVICE, bytes[i]);
    }
    std::vector<Answer> out;
    d.controller.Receive(bytes, toWrite, now, out);
    s.Schedule(d, out);
    s.Pump();
    s.cv.notify_all();
    if (written)
        *written = toWrite;
    return QSIM_FT_OK;
}

QSIM_FT_STATUS FT_Write(QSIM_FT_HANDLE h, void* buf, QSIM_DWORD toWrite, QSIM_DWORD* written)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(buf);
    Call call("FT_Write(" + (bytes ? Hex(bytes, toWrite) : std::string()) + ")");
    const uint32_t status = WriteLocked(call, h, bytes, toWrite, written);
    const QSIM_DWORD n = bytes ? toWrite : 0;
    std::string line = "TX " + std::to_string(n);
    if (n)
        line += " " + Hex(bytes, n);
    S().FileLine(line, status);
    return status;
}
#endif

QSIM_FT_STATUS FT_SetTimeouts(QSIM_FT_HANDLE h, QSIM_ULONG readMs, QSIM_ULONG writeMs)
{
    Call call(Args("FT_SetTimeouts", readMs, writeMs));
    const uint32_t status = call.Find(h);
    if (status != QSIM_FT_OK)
        return status;
    call.handle->readTimeoutMs = readMs;
    call.handle->writeTimeoutMs = writeMs;
    call.device->link.readTimeoutMs = readMs;
    call.device->link.writeTimeoutMs = writeMs;
    return QSIM_FT_OK;
}

QSIM_FT_STATUS FT_ResetDevice(QSIM_FT_HANDLE h)
{
    Call call("FT_ResetDevice");
    const uint32_t status = call.Find(h);
    if (status != QSIM_FT_OK)
        return status;
    ++call.device->link.resetCount;
    return QSIM_FT_OK;
}

QSIM_FT_STATUS FT_Purge(QSIM_FT_HANDLE h, QSIM_ULONG mask)
{
    Call call(Args("FT_Purge", mask));
    const uint32_t status = call.Find(h);
    S().FileLine("PURGE " + std::to_string(mask), status);
    if (status != QSIM_FT_OK)
        return status;
    ++call.device->link.purgeCount;
    if (mask & QSIM_FT_PURGE_RX)
        call.device->rx.clear();
    return QSIM_FT_OK;
}

QSIM_FT_STATUS FT_GetQueueStatus(QSIM_FT_HANDLE h, QSIM_DWORD* rxBytes)
{
    Call call("FT_GetQueueStatus");
    const uint32_t status = call.Find(h);
    if (status != QSIM_FT_OK)
        return status;
    if (!rxBytes)
        return QSIM_FT_INVALID_PARAMETER;
    *rxBytes = QSIM_DWORD(call.device->rx.size());
    return QSIM_FT_OK;
}

#ifndef QUILLON_SIM_WITHOUT_FT_SETBAUDRATE
QSIM_FT_STATUS FT_SetBaudRate(QSIM_FT_HANDLE h, QSIM_ULONG baud)
{
    Call call(Args("FT_SetBaudRate", baud));
    const uint32_t status = call.Find(h);
    if (status != QSIM_FT_OK)
        return status;
    call.device->link.baudRate = baud;
    return QSIM_FT_OK;
}
#endif

QSIM_FT_STATUS FT_SetLatencyTimer(QSIM_FT_HANDLE h, unsigned char ms)
{
    Call call(Args("FT_SetLatencyTimer", ms));
    const uint32_t status = call.Find(h);
    if (status != QSIM_FT_OK)
        return status;
    call.device->link.latencyMs = ms;
    return QSIM_FT_OK;
}

QSIM_FT_STATUS FT_SetUSBParameters(QSIM_FT_HANDLE h, QSIM_ULONG inSize, QSIM_ULONG outSize)
{
    Call call(Args("FT_SetUSBParameters", inSize, outSize));
    const uint32_t status = call.Find(h);
    if (status != QSIM_FT_OK)
        return status;
    call.device->link.inTransferSize = inSize;
    call.device->link.outTransferSize = outSize;
    return QSIM_FT_OK;
}

// ---- Control API ----------------------------------------------------------------------------

void QuillonSim_Reset(void)
{
    Control c;
    Sim& s = S();
    s.SetDefaultDevices();
    s.InvalidateHandles();
    s.manual = true;
    s.manualUs = 0;
    s.transcript.clear();
    s.callLog.clear();
    s.noUsb = false;
}

void QuillonSim_SetDevices(const QuillonSimDevice* devices, int count)
{
    Control c;
    Sim& s = S();
    s.devices.clear();
    for (int i = 0; devices && i < count; ++i) {
        s.devices.push_back(
            std::make_unique<Device>(devices[i].description ? devices[i].description : "",
                                     devices[i].serial ? devices[i].serial : ""));
    }
    s.InvalidateHandles();
}

void QuillonSim_ImitateNoUsb(int on)
{
    Control c;
    S().noUsb = on != 0;
}

void QuillonSim_UseManualClock(void)
{
    Control c;
    S().manualUs = S().Now();
    S().manual = true;
}

void QuillonSim_UseRealTime(double speed)
{
    Control c;
    Sim& s = S();
    s.baseSimUs = s.Now();
    s.baseReal = SteadyClock::now();
    s.speed = speed > 0 ? speed : 1.0;
    s.manual = false;
}

void QuillonSim_Advance(uint32_t ms)
{
    Control c;
    Sim& s = S();
    if (s.manual) {
        s.manualUs += uint64_t(ms) * 1000;
    } else {
        s.baseSimUs += uint64_t(ms) * 1000;
    }
    s.Pump();
}

uint64_t QuillonSim_NowMs(void)
{
    Control c;
    return S().Now() / 1000;
}

void QuillonSim_Unplug(int device)
{
    Control c;
    Device* d = S().DeviceAt(device);
    if (!d)
        return;
    d->plugged = false;
    d->controller.Halt();
    d->pending.clear();
    d->rx.clear();
    for (auto& [id, h] : S().handles) {
        if (h.device == device)
            h.dead = true;
    }
}

void QuillonSim_Replug(int device)
{
    Control c;
    Device* d = S().DeviceAt(device);
    if (!d || d->plugged)
        return;
    d->plugged = true;
    d->pending.clear();
    d->rx.clear();
}

void QuillonSim_SetSilent(int device, int silent)
{
    Control c;
    if (Device* d = S().DeviceAt(device))
        d->silent = silent != 0;
}

void QuillonSim_SetHandshakeReply(int device, int byte)
{
    Control c;
    if (Device* d = S().DeviceAt(device))
        d->controller.SetHandshakeReply(byte < 0 ? -1 : byte & 0xFF);
}

void QuillonSim_SetWriteStatus(int device, uint32_t status)
{
    Control c;
    if (Device* d = S().DeviceAt(device))
        d->writeStatus = status;
}

void QuillonSim_SetWriteLimit(int device, int bytes)
{
    Control c;
    if (Device* d = S().DeviceAt(device))
        d->writeLimit = bytes < 0 ? -1 : bytes;
}

void QuillonSim_DropAnswerBytes(int device, int count)
{
    Control c;
    if (Device* d = S().DeviceAt(device))
        d->dropCount = std::max(0, count);
}

void QuillonSim_CorruptAnswerBytes(int device, int count)
{
    Control c;
    if (Device* d = S().DeviceAt(device))
        d->corruptCount = std::max(0, count);
}

void QuillonSim_Inject(int device, const uint8_t* bytes, size_t count)
{
    Control c;
    if (!S().DeviceAt(device) || !bytes)
        return;
    const uint64_t now = S().Now();
    for (size_t i = 0; i < count; ++i) S().Arrive(device, now, bytes[i]);
}

void QuillonSim_TriggerPulse(int device)
{
    Control c;
    Device* d = S().DeviceAt(device);
    if (!d || !d->plugged)
        return;
    std::vector<Answer> out;
    d->controller.TriggerPulse(S().Now(), out);
    S().Schedule(*d, out);
    S().Pump();
}

void QuillonSim_PowerUp(int device)
{
    Control c;
    Device* d = S().DeviceAt(device);
    if (!d || !d->plugged)
        return;
    std::vector<Answer> out;
    d->pending.clear();
    d->controller.PowerUp(S().Now(), out);
    S().Schedule(*d, out);
    S().Pump();
}

int QuillonSim_GetState(int device, QuillonSimState* state)
{
    Control c;
    Device* d = S().DeviceAt(device);
    if (!d || !state)
        return -1;
    *state = d->controller.State();
    state->open = 0;
    for (const auto& [id, h] : S().handles) {
        if (h.device == device && !h.dead)
            state->open = 1;
    }
    return 0;
}

int QuillonSim_SetState(int device, const QuillonSimState* state)
{
    Control c;
    Device* d = S().DeviceAt(device);
    if (!d || !state)
        return -1;
    d->controller.SetState(*state);
    return 0;
}

size_t QuillonSim_Queued(int device)
{
    Control c;
    Device* d = S().DeviceAt(device);
    return d ? d->rx.size() : 0;
}

int QuillonSim_GetLink(int device, QuillonSimLink* link)
{
    Control c;
    Device* d = S().DeviceAt(device);
    if (!d || !link)
        return -1;
    *link = d->link;
    link->openHandles = 0;
    for (const auto& [id, h] : S().handles) {
        if (h.device == device)
            ++link->openHandles;
    }
    return 0;
}

size_t QuillonSim_Transcript(QuillonSimEvent* events, size_t max)
{
    Control c;
    const auto& t = S().transcript;
    if (events)
        std::copy_n(t.begin(), std::min(max, t.size()), events);
    return t.size();
}

int QuillonSim_TranscriptFile(const char* path)
{
    Control c;
    Sim& s = S();
    if (s.transcriptFile)
        std::fclose(s.transcriptFile);
    s.transcriptFile = nullptr;
    s.transcriptDirty = false;
    if (!path || !*path)
        return 0;
    s.transcriptFile = std::fopen(path, "w");
    return s.transcriptFile ? 0 : -1;
}

void QuillonSim_ClearTranscript(void)
{
    Control c;
    S().transcript.clear();
}

size_t QuillonSim_CallLog(char* buffer, size_t size)
{
    Control c;
    const std::string& log = S().callLog;
    if (buffer && size > 0) {
        const size_t n = std::min(size - 1, log.size());
        std::memcpy(buffer, log.data(), n);
        buffer[n] = '\0';
    }
    return log.size();
}

void QuillonSim_ClearCallLog(void)
{
    Control c;
    S().callLog.clear();
}

}  // extern "C"

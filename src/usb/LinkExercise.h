#pragma once
// The link exercise: a worker thread streaming the bytes 0x40 to 0x4F to the controller at the
// rate g_nBlinkSpeed sets, until g_bBlinkRunning is cleared or a write fails.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "usb/UsbLink.h"

class LinkExercise {
public:
    using WriteFn = std::function<FT_STATUS(std::uint8_t* bytes, DWORD count)>;
    // Waits ms milliseconds; false when a stop cut the wait short.
    using WaitFn = std::function<bool(unsigned ms)>;

    // Without a wait the exercise uses WaitUnlessStopped, which a stop ends at once.
    explicit LinkExercise(WriteFn write, WaitFn wait = {});
    ~LinkExercise();
    LinkExercise(const LinkExercise&) = delete;
    LinkExercise& operator=(const LinkExercise&) = delete;

    static WriteFn WriteThrough(UsbLink& link);

    // Sets g_bBlinkRunning and starts the worker. While a worker is still running none is
    // started (false is returned) and the running one goes on.
    bool Start();
    // Clears g_bBlinkRunning and ends a wait in progress; does not wait for the worker.
    void Stop();
    // Stop, then wait for the worker: nothing may call into the driver after this returns.
    void StopAndJoin();
    // Waits for a worker that ends by itself, after a failed write.
    void Join();
    bool Running() const;

    bool WaitUnlessStopped(unsigned ms);
    // Whether a WaitUnlessStopped is in progress, so that a test can stop it mid-wait.
    bool Waiting() const;

private:
    // The worker's procedure.
    void BlinkThreadProc();

    WriteFn m_write;
    WaitFn m_wait;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_active = false;  // the worker has not yet decided to end
    int m_waiting = 0;      // WaitUnlessStopped calls inside their wait
    std::thread m_thread;
};

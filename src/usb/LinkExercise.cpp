#include "usb/LinkExercise.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "usb/LinkFlags.h"

namespace {

constexpr int kMaxSpeed = 500;
constexpr std::uint8_t kPatternBase = 0x40;

bool WriteFailed(FT_STATUS status)
{
    return status != FT_OK && status != FT_IO_ERROR;
}

}  // namespace

LinkExercise::LinkExercise(WriteFn write, WaitFn wait)
    : m_write(std::move(write)), m_wait(std::move(wait))
{
    if (!m_wait) {
        m_wait = [this](unsigned ms) { return WaitUnlessStopped(ms); };
    }
}

LinkExercise::~LinkExercise()
{
    StopAndJoin();
}

LinkExercise::WriteFn LinkExercise::WriteThrough(UsbLink& link)
{
    return [&link](std::uint8_t* bytes, DWORD count) {
        DWORD written = 0;
        return link.Write(bytes, count, &written);
    };
}

bool LinkExercise::Start()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_active) {
            g_bBlinkRunning.store(1);
            return false;
        }
    }
    // A worker that has already decided to end is only waiting to be joined.
    if (m_thread.joinable()) {
        m_thread.join();
    }
    {
        std::lock_guard lock(m_mutex);
        g_bBlinkRunning.store(1);
        m_active = true;
    }
    m_thread = std::thread(&LinkExercise::BlinkThreadProc, this);
    return true;
}

void LinkExercise::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        g_bBlinkRunning.store(0);
    }
    m_wake.notify_all();
}

void LinkExercise::StopAndJoin()
{
    Stop();
    Join();
}

void LinkExercise::Join()
{
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool LinkExercise::Running() const
{
    std::lock_guard lock(m_mutex);
    return m_active;
}

bool LinkExercise::WaitUnlessStopped(unsigned ms)
{
    std::unique_lock lock(m_mutex);
    ++m_waiting;
    const bool stopped = m_wake.wait_for(lock, std::chrono::milliseconds(ms),
                                         [] { return g_bBlinkRunning.load() == 0; });
    --m_waiting;
    return !stopped;
}

bool LinkExercise::Waiting() const
{
    std::lock_guard lock(m_mutex);
    return m_waiting > 0;
}

void LinkExercise::BlinkThreadProc()
{
    std::array<std::uint8_t, 64> buffer{};
    std::uint8_t n = 0;
    for (;;) {
        {
            // Decided under the lock so that a Start racing with the end either keeps this
            // worker going or finds it finished, never both.
            std::lock_guard lock(m_mutex);
            if (g_bBlinkRunning.load() == 0) {
                m_active = false;
                return;
            }
        }
        const int speed = std::clamp(g_nBlinkSpeed.load(), 0, kMaxSpeed);
        if (speed < kMaxSpeed) {
            // A stop during the wait sends nothing more.
            if (m_wait(static_cast<unsigned>(kMaxSpeed - speed))) {
                buffer[0] = kPatternBase | (n & 0x0F);
                if (WriteFailed(m_write(buffer.data(), 1))) {
                    g_bBlinkRunning.store(0);
                }
                ++n;
            }
        } else {
            for (std::size_t i = 0; i < buffer.size(); ++i) {
                buffer[i] = kPatternBase | (i & 0x0F);
            }
            n = static_cast<std::uint8_t>(buffer.size());
            if (WriteFailed(m_write(buffer.data(), static_cast<DWORD>(buffer.size())))) {
                g_bBlinkRunning.store(0);
            }
            m_wait(1);
        }
    }
}

#pragma once
// The transcript of the link: one line per write and read of the driver binding, and one per
// open, close, purge and lost link, from whichever thread made the call, in the order the calls
// ended. Lines go to an in-memory buffer under a short lock; a background thread writes them to
// the file at least twice a second, so a slow disk never holds up the poll or the link
// exercise. The simulated controller's transcript file uses the same lines.
//
// Line format ("<ms>" is the monotonic clock in milliseconds with three decimals; hex bytes are
// upper case, one blank between; " status <n>" ends a line whose call did not return FT_OK):
//   <ms> TX <count> <hex>            one write, every byte handed to the driver
//   <ms> RX <count> <hex>            one read, the bytes it returned (RX 0 for none)
//   <ms> OPEN number <n>             or OPEN description "<text>", OPEN serial "<text>"
//   <ms> CLOSE                       (not again for a handle already closed)
//   <ms> PURGE <mask>
//   <ms> LOST                        the panel found an open device gone

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "usb/D2xxApi.h"

class LinkTranscript {
public:
    enum class Direction { Tx, Rx };

    LinkTranscript() = default;
    ~LinkTranscript();
    LinkTranscript(const LinkTranscript&) = delete;
    LinkTranscript& operator=(const LinkTranscript&) = delete;

    // Creates the file in one step (a new file under a temporary name, renamed over the given
    // one) and starts recording. On failure nothing is recorded and the message that names the
    // file and the reason is returned. A recording in progress is stopped first.
    std::optional<std::string> Start(const std::string& path);
    // Writes what is buffered and closes the file. Returns a write failure not yet taken.
    std::optional<std::string> Stop();
    bool Recording() const { return m_on.load(std::memory_order_acquire); }
    std::string Path() const;

    void Transfer(Direction direction, const void* bytes, DWORD count, FT_STATUS status);
    void Event(std::string_view what, FT_STATUS status = FT_OK);

    // Writes the buffered lines now, in the caller's thread.
    void Flush();
    // A failed write stops the recording; its message (file and reason) is handed out once.
    std::optional<std::string> TakeFailure();

    static constexpr int kFlushMs = 500;

private:
    void Append(std::string_view body, FT_STATUS status);
    void FlusherProc();
    void CloseFile();
    void Fail(int error);

    std::atomic<bool> m_on{false};
    std::atomic<bool> m_failed{false};

    // Guards the buffer; held only to append a line or swap the buffer.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::string m_pending;
    bool m_stopFlusher = false;
    std::string m_path;
    std::string m_failure;

    // Guards the file, so that lines reach it in buffer order whoever flushes.
    std::mutex m_fileMutex;
    int m_fd = -1;
    std::size_t m_fileSize = 0;  // bytes of whole lines written
    std::string m_writing;
    std::thread m_flusher;
};

#include "usb/LinkTranscript.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <system_error>

namespace {

std::string Reason(int error)
{
    return std::generic_category().message(error);
}

void AppendNumber(std::string& out, unsigned long long value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// Formatting stays on the caller's thread and outside the lock; one buffer per thread.
std::string& ScratchLine()
{
    thread_local std::string line;
    line.clear();
    return line;
}

}  // namespace

LinkTranscript::~LinkTranscript()
{
    Stop();
}

std::string LinkTranscript::Path() const
{
    std::lock_guard lock(m_mutex);
    return m_path;
}

std::optional<std::string> LinkTranscript::Start(const std::string& path)
{
    Stop();
    m_failed.store(false);
    if (path.empty())
        return "Can't create the transcript file: no file name given.";
    // Created under a name of its own and renamed in one step, so that whoever looks finds the
    // old file or the new one, never a file half set up.
    static std::atomic<unsigned> serial{0};
    std::string temporary;
    int fd = -1;
    int error = 0;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        error = errno;
        if (fd < 0 && error != EEXIST)
            break;
    }
    if (fd >= 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        fd = -1;
    }
    if (fd < 0)
        return "Can't create the transcript file " + path + ": " + Reason(error) + ".";

    {
        std::lock_guard file(m_fileMutex);
        m_fd = fd;
        m_fileSize = 0;
        m_writing.clear();
    }
    {
        std::lock_guard lock(m_mutex);
        m_pending.clear();
        m_path = path;
        m_failure.clear();
        m_stopFlusher = false;
        m_on.store(true, std::memory_order_release);
    }
    m_flusher = std::thread(&LinkTranscript::FlusherProc, this);
    return std::nullopt;
}

std::optional<std::string> LinkTranscript::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_on.store(false, std::memory_order_release);
        m_stopFlusher = true;
    }
    m_wake.notify_all();
    if (m_flusher.joinable())
        m_flusher.join();
    Flush();
    CloseFile();
    return TakeFailure();
}

void LinkTranscript::Transfer(Direction direction, const void* bytes, DWORD count, FT_STATUS status)
{
    if (!m_on.load(std::memory_order_relaxed))
        return;
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (bytes == nullptr)
        count = 0;
    std::string& body = ScratchLine();
    body.reserve(16 + std::size_t(count) * 3);
    body += direction == Direction::Tx ? "TX " : "RX ";
    AppendNumber(body, count);
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (DWORD i = 0; i < count; ++i) {
        const char hex[3] = {' ', kHex[p[i] >> 4], kHex[p[i] & 0x0F]};
        body.append(hex, 3);
    }
    Append(body, status);
}

void LinkTranscript::Event(std::string_view what, FT_STATUS status)
{
    if (!m_on.load(std::memory_order_relaxed))
        return;
    Append(what, status);
}

void LinkTranscript::Append(std::string_view body, FT_STATUS status)
{
    std::lock_guard lock(m_mutex);
    if (!m_on.load(std::memory_order_relaxed))
        return;
    // Read under the lock, so that the times in the file never go backwards.
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
    AppendNumber(m_pending, static_cast<unsigned long long>(us / 1000));
    const auto fraction = static_cast<int>(us % 1000);
    const char decimals[5] = {'.', char('0' + fraction / 100), char('0' + fraction / 10 % 10),
                              char('0' + fraction % 10), ' '};
    m_pending.append(decimals, 5);
    m_pending.append(body);
    if (status != FT_OK) {
        m_pending += " status ";
        AppendNumber(m_pending, status);
    }
    m_pending += '\n';
}

void LinkTranscript::Flush()
{
    std::lock_guard file(m_fileMutex);
    {
        std::lock_guard lock(m_mutex);
        m_writing.swap(m_pending);
    }
    if (m_fd < 0 || m_writing.empty()) {
        m_writing.clear();
        return;
    }
    const char* data = m_writing.data();
    std::size_t left = m_writing.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            // The whole lines that made it stay; only the cut-off line goes.
            const std::size_t done = m_writing.size() - left;
            const std::size_t end = m_writing.rfind('\n', done == 0 ? 0 : done - 1);
            if (done > 0 && end != std::string::npos)
                m_fileSize += end + 1;
            const bool truncated = ::ftruncate(m_fd, static_cast<off_t>(m_fileSize)) == 0;
            static_cast<void>(truncated);  // nothing more to do for a file that fails
            Fail(error);
            break;
        }
        data += n;
        left -= std::size_t(n);
    }
    if (left == 0)
        m_fileSize += m_writing.size();
    m_writing.clear();
}

// Called with the file lock held.
void LinkTranscript::Fail(int error)
{
    ::close(m_fd);
    m_fd = -1;
    std::lock_guard lock(m_mutex);
    m_on.store(false, std::memory_order_release);
    m_failure = "Can't write the transcript file " + m_path + ": " + Reason(error) +
                ". Recording has stopped.";
    m_failed.store(true, std::memory_order_release);
}

void LinkTranscript::CloseFile()
{
    std::lock_guard file(m_fileMutex);
    if (m_fd < 0)
        return;
    if (::close(m_fd) != 0) {
        const int error = errno;
        m_fd = -1;
        std::lock_guard lock(m_mutex);
        m_failure = "Can't write the transcript file " + m_path + ": " + Reason(error) + ".";
        m_failed.store(true, std::memory_order_release);
        return;
    }
    m_fd = -1;
}

std::optional<std::string> LinkTranscript::TakeFailure()
{
    if (!m_failed.load(std::memory_order_acquire))
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    m_failed.store(false);
    if (m_failure.empty())
        return std::nullopt;
    std::string failure = std::move(m_failure);
    m_failure.clear();
    return failure;
}

void LinkTranscript::FlusherProc()
{
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_for(lock, std::chrono::milliseconds(kFlushMs),
                            [this] { return m_stopFlusher; });
            if (m_stopFlusher)
                return;
        }
        Flush();
    }
}

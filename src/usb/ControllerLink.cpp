#include "usb/ControllerLink.h"

#include <algorithm>

namespace {

constexpr DWORD kReadChunk = 600;

}  // namespace

bool WriteFrame(UsbLink& link, const Frame& frame)
{
    Frame bytes = frame;
    DWORD written = 0;
    const FT_STATUS status = link.Write(bytes.data(), static_cast<DWORD>(bytes.size()), &written);
    return status == FT_OK && written == bytes.size();
}

LinkPoll PollLink(UsbLink& link, ReplyDecoder& decoder)
{
    return PollLink(link, [&decoder](const uint8_t* bytes, std::size_t count) {
        decoder.Decode(bytes, count);
    });
}

LinkPoll PollLink(UsbLink& link, const std::function<void(const uint8_t*, std::size_t)>& decode)
{
    DWORD queued = 0;
    if (link.GetQueueStatus(&queued) != FT_OK)
        return {LinkPoll::Lost};
    if (queued == 0)
        return {LinkPoll::Idle};
    unsigned char buffer[kReadChunk];
    DWORD got = 0;
    const FT_STATUS status = link.Read(buffer, std::min(queued, kReadChunk), &got);
    LinkPoll poll{LinkPoll::Read};
    if (got > 0 && got <= kReadChunk && (status == FT_OK || status == FT_IO_ERROR)) {
        decode(buffer, got);
        poll.decoded = true;
    }
    return poll;
}

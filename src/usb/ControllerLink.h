#pragma once
// The link's side of every operation, for every face: a frame written in one go, and the
// receive queue drained into the reply decoder.

#include <functional>

#include "protocol/Frames.h"
#include "protocol/ReplyDecoder.h"
#include "usb/UsbLink.h"

// Whether the whole frame went out. The controller reports nothing useful about a failed write;
// a frame that did not go out whole gets no answer, which the caller must not wait for.
bool WriteFrame(UsbLink& link, const Frame& frame);

struct LinkPoll {
    enum Kind {
        Lost,  // the queue cannot be asked: the device is gone
        Idle,  // nothing queued, nothing read
        Read,  // a read was made
    };
    Kind kind = Idle;
    bool decoded = false;  // the read brought bytes, and the decoder has taken them
};

// One read of what is queued (at most one chunk), decoded. Bytes that come with an I/O error
// status are still the controller's and are decoded.
LinkPoll PollLink(UsbLink& link, ReplyDecoder& decoder);
// The same, for a face that looks at each byte as it is decoded.
LinkPoll PollLink(UsbLink& link, const std::function<void(const uint8_t*, std::size_t)>& decode);

#pragma once
// The receive side of the controller protocol: every byte the controller sends passes through
// here, in arrival order, and goes to the first armed interpretation (free-run counting, identity
// reply, status reply, configuration transfer, owed status request) or is a plain byte. The armed
// states are the g_n... globals of DecoderState.h, which the command operations set.
//
// The decoder reaches the panel only through DecoderHost, so it runs without widgets (tests, or
// a command-line tool driving a controller).

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/PanelState.h"
#include "protocol/DecoderState.h"

class Frame;

enum class Caption {
    NdRadio,          // "Neutral Density " radio: shows the step count
    TransitionTimes,  // the two per-transition texts under "Opening " and "Closing "
    ClosedDisplay,
    ExposureDisplay,
    CycleDisplay,
};

enum class PulseBox { Trigger, Sync };

class DecoderHost {
public:
    virtual ~DecoderHost() = default;
    virtual PanelState& Panel() = 0;
    // Controls into the panel fields, and back.
    virtual void Pull() = 0;
    virtual void Push() = 0;
    // One "Data Received:" line for a byte ("%d  0x%.2X"), or a line of raw controller text
    // (one character per byte, ending at a zero byte).
    virtual void ListByte(uint8_t byte) = 0;
    virtual void ListText(const std::string& latin1) = 0;
    virtual void SetCaption(Caption which, const std::string& text) = 0;
    virtual void SetPulseBox(PulseBox which, bool checked) = 0;
    virtual void SelectTimer(int index) = 0;
    // The time editor's texts and trackbars from the record the index selects.
    virtual void LoadEditor(int index) = 0;
    virtual void Write(const Frame& frame) = 0;
    // Whether the last Write went out whole; an answer is awaited only then. A host that cannot
    // tell says it did.
    virtual bool LastWriteSent() const { return true; }
};

class ReplyDecoder {
public:
    explicit ReplyDecoder(DecoderHost& host) : m_host(host) {}

    // One batch of received bytes: pulls the panel, hands each byte to its handler, and pushes
    // the panel at the end.
    void Decode(const uint8_t* bytes, std::size_t count);

private:
    void FreeRunByte(uint8_t b);
    void IdentityByte(uint8_t b);
    void StatusByte(uint8_t b);
    void TransferByte(uint8_t b);
    void OwedStatusRequest(uint8_t b);
    void PlainByte(uint8_t b);
    void EndOfStatusReply();
    void ListByte(uint8_t b);

    // A push "at once" is deferred to just before the next pull or the end of the batch: nothing
    // looks at the controls in between, and a push per byte would cost more than the rest.
    void Push() { m_pushOwed = true; }
    void Pull();
    void FlushPush();

    DecoderHost& m_host;
    bool m_pushOwed = false;
    char m_identity[12] = {};
};

#pragma once
// The decoder host of the tool: the panel's fields and captions, without widgets, and the link
// the operations write to.

#include <map>
#include <string>

#include "protocol/Frames.h"
#include "protocol/ReplyDecoder.h"
#include "usb/UsbLink.h"

class ToolHost : public DecoderHost {
public:
    explicit ToolHost(UsbLink& link) : m_link(link) {}

    PanelState& Panel() override { return m_state; }
    void Pull() override {}
    void Push() override {}
    void ListByte(uint8_t) override { ++m_listed; }
    void ListText(const std::string& latin1) override { m_identity.push_back(latin1); }
    void SetCaption(Caption which, const std::string& text) override { m_captions[which] = text; }
    void SetPulseBox(PulseBox, bool) override {}
    void SelectTimer(int) override {}
    void LoadEditor(int) override {}
    void Write(const Frame& frame) override;
    bool LastWriteSent() const override { return m_sent; }

    const std::string& CaptionText(Caption which) { return m_captions[which]; }
    Frame m_lastFrame;                    // the last frame written
    int m_frames = 0;                     // frames written
    std::vector<std::string> m_identity;  // the identity reply's lines
    int m_listed = 0;                     // bytes the decoder listed

private:
    UsbLink& m_link;
    PanelState m_state;
    std::map<Caption, std::string> m_captions;
    bool m_sent = true;
};

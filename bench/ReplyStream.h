#pragma once
// What a busy controller sends, for the benchmarks of the receive side: plain bytes, and status
// replies the decoder takes apart. A reply counts only when the decoder is armed for it, so the
// stream arms it (as the Status button does) just before the reply's first byte is read.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/DecoderState.h"

// The controller's two status-reply layouts, for the same settings: open, Enable on Low, High for
// Open, closed 1.5 s, exposure 2.1234 s, Go, 5 repeats; Fast, then neutral density with 144 steps.
inline constexpr std::array<uint8_t, 20> kFastStatusReply = {
    0xCC, 0xAA, 0xDC, 0x00, 0xA2, 0xB1, 0x10, 0x00, 0x01, 0x50,
    0x00, 0x20, 0x00, 0x02, 0x12, 0x34, 0xF3, 0x00, 0x05, 0x0D};
inline constexpr std::array<uint8_t, 20> kNdStatusReply = {0xCC, 0xAA, 0xDE, 0x90, 0x00, 0xA2, 0xB1,
                                                           0x10, 0x00, 0x01, 0x50, 0x00, 0x20, 0x00,
                                                           0x02, 0x12, 0x34, 0xF3, 0x00, 0x05};

// Plain bytes: every value that means nothing more to the decoder than a line and a count (not
// 0xFD, which arms an identity reply, nor the shutter reports 0xAA and 0xAC).
class PlainBytes {
public:
    void Append(std::vector<uint8_t>& out, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            out.push_back(m_next);
            do {
                ++m_next;
            } while (m_next == 0xAA || m_next == 0xAC || m_next == 0xFD);
        }
    }

private:
    uint8_t m_next = 0;
};

// Status replies of a controller whose settings stay put, or that change between every two
// replies (the layouts alternate, so every caption, radio and display the decoder sets changes).
// Arm() must run just before a reply's first byte is read.
class StatusReplies {
public:
    explicit StatusReplies(bool settingsChange) : m_settingsChange(settingsChange) {}

    void Append(std::vector<uint8_t>& out)
    {
        const bool nd = m_settingsChange && (m_count & 1);
        const auto& reply = nd ? kNdStatusReply : kFastStatusReply;
        out.insert(out.end(), reply.begin(), reply.end());
        ++m_count;
    }
    static void Arm() { g_nStatusIndex = 0; }
    long long Count() const { return m_count; }

private:
    bool m_settingsChange;
    long long m_count = 0;
};
